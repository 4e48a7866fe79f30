#include "vista.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "cilindro_program.h"
#include "cono_program.h"
#include "generico_program.h"
#include "mirror_view.h"
#include "picture_file.h"
#include "png_file.h"
#include "run.h"
#include "specchio_program.h"

namespace fs = std::filesystem;

SheetFile ReadSheetFile(const std::string& file) {
  SheetFile sheet;
  static_cast<Picture&>(sheet.Cells) = ReadScenePicture(file);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadFileBytes(file, MostPictureFileBytes(PictureLimits{}));
  } catch (const std::exception&) {
    return sheet;
  }
  for (const PngText& t : ReadPngTexts(bytes.data(), bytes.size())) {
    if (t.Key != "Scene") continue;
    try {
      sheet.Window = ParseScene(t.Value, file, "").Window;
    } catch (const std::exception& e) {
      throw PrintError(file + ": its scene cannot be read (" + e.what() + ")");
    }
  }
  return sheet;
}

PrintedSheet SheetOf(const Print& made, const SheetFile* file) {
  const OutputWindow& w = made.Report.Window;
  PrintedSheet sheet{&made.Cells, &made.Painted, w};
  if (file == nullptr) return sheet;
  sheet.Cells = &file->Cells;
  // The scene's own record of paper applies only to its own print.
  sheet.Painted = nullptr;
  if (file->Window) {
    sheet.Window = *file->Window;
  } else if (file->Cells.Width != w.Width || file->Cells.Height != w.Height) {
    throw PrintError("--print: the picture is " + std::to_string(file->Cells.Width) + " x " +
                     std::to_string(file->Cells.Height) + " cells, the scene's print " + std::to_string(w.Width) +
                     " x " + std::to_string(w.Height) + ", and it does not say where it lies");
  }
  if (sheet.Window.Width != file->Cells.Width || sheet.Window.Height != file->Cells.Height)
    throw PrintError("--print: its cells do not match the window it records");
  return sheet;
}

int QuickCheckStride(int width, int height) {
  const double pixels = static_cast<double>(width) * height;
  int stride = static_cast<int>(std::ceil(std::sqrt(pixels / kQuickCheckPixels)));
  // A narrow picture keeps at least one scored pixel on its short side.
  stride = std::min({stride, width, height});
  return std::max(stride, 1);
}

int RestoreStep(long long width, long long height, long long cells) {
  const auto scored = [&](long long step) { return ((width + step - 1) / step) * ((height + step - 1) / step); };
  int step = 1;
  while (step < 64 && scored(step) * 4 > cells) step *= 2;
  // Past kRestorePixels the figure gains nothing a user can see while the
  // work grows with the print: the step widens until the count is within it.
  while (step < 64 && scored(step) > kRestorePixels) ++step;
  return step;
}

VistaResult RestoreScene(const Scene& scene, const Print& made, const PrintedSheet& sheet, int sub, int threads,
                         int stride) {
  if (sub < 1 || sub > 16) throw PrintError("--sub: must be 1 to 16");
  MappingSetup setup;
  PrintReport report;
  VistaResult result;
  RestoreSettings settings;
  settings.Sub = sub;
  settings.Antialias = made.Report.Antialias;
  settings.Background = scene.BlackBackground ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
  settings.Threads = threads;
  settings.Stride = stride > 0 ? stride
                              : RestoreStep(made.Source.Width, made.Source.Height,
                                            static_cast<long long>(sheet.Window.Width) * sheet.Window.Height);
  WithSceneMirror(scene, setup, report, [&](const auto& mirror) {
    PlacePicture(setup, made.Report, made.Source);
    result.Restored = RestorePicture(mirror, setup, made.Source, sheet, settings, result.Score);
    return 0;
  });
  return result;
}

namespace {

CylinderView ViewOf(const Cylinder& m, const Scene& s) { return {m, CylinderTopFor(m, s.Eye, s.PictureFace)}; }
ConeView ViewOf(const ConeMirror& m, const Scene&) { return {m}; }
PlaneView ViewOf(const PlaneMirror& m, const Scene& s) { return {m, ReadFaceFile(s.Mirror.File, "mirror")}; }
MeshView ViewOf(const FacetedMirror& m, const Scene&) { return MakeMeshView(m); }

}  // namespace

SceneView ViewScene(const Scene& scene, const PrintedSheet& sheet, int width, int threads) {
  if (width < 16 || width > 8000) throw PrintError("--size: must be 16 to 8000 pixels");
  MappingSetup setup;
  PrintReport report;
  SceneView result;
  WithSceneMirror(scene, setup, report, [&](const auto& mirror) {
    const auto view = ViewOf(mirror, scene);
    std::vector<Point3> frame = OutlinePoints(view);
    const OutputWindow& w = sheet.Window;
    for (const Point3& p : {Point3{w.MinX, w.MinY, 0}, Point3{w.MaxX, w.MinY, 0}, Point3{w.MinX, w.MaxY, 0},
                            Point3{w.MaxX, w.MaxY, 0}})
      frame.push_back(p);
    const Face& f = scene.PictureFace;
    for (const Point3& p : {f.C1, f.C2, f.C3, f.C4}) frame.push_back(p);
    result.Camera = FrameView(scene.Eye, f, frame, width);
    result.Image = RenderView(view, result.Camera, sheet, kViewSupersample, threads, result.Stats);
    return 0;
  });
  return result;
}

namespace {

// A name of the parameter file, taken from the file's folder.
std::string FromFolder(const std::string& name, const fs::path& folder) {
  if (name.empty() || fs::path(name).is_absolute()) return name;
  return (folder / name).lexically_normal().string();
}

template <class Mirror, class Fill>
Scene ReadProgramScene(const Program<Mirror>& program, MirrorKind kind, const std::string& file, Fill&& fill) {
  Scene s;
  s.Mirror.Kind = kind;
  RunParameters params;
  Mirror mirror{};
  std::istringstream none;
  std::ostringstream echo;
  Console quiet{&none, &echo};
  try {
    TextFile text(file);
    program.ReadParameters(text, quiet, params, mirror);
  } catch (const RuntimeFailure& e) {
    throw PrintError("--program: " + RuntimeText(e));
  } catch (const std::exception& e) {
    throw PrintError("--program: " + file + ": " + e.what());
  }
  const fs::path folder = fs::path(file).parent_path();
  fill(s, mirror, params, folder);
  s.Eye = params.ProjectionCentre;
  s.Picture = FromFolder(params.InputPpmName, folder);
  s.PictureFace = ReadFaceFile(FromFolder(params.PictureDxfName, folder), "face");
  s.Pixels = LimitPixelCount(params.PixelCount);
  if (s.Pixels < 1) throw PrintError("--program: " + file + ": the pixel count must be at least 1");
  s.Accuracy = static_cast<int>(ClampAccuracy(params.Accuracy));
  s.Antialias = 1;
  s.BlackBackground = true;
  s.Marks = false;
  s.ProgramWindow = true;
  return s;
}

}  // namespace

Scene ProgramScene(const std::string& program, const std::string& parameterFile) {
  if (program == "cilindro")
    return ReadProgramScene(CilindroProgram(), MirrorKind::kCylinder, parameterFile,
                            [](Scene& s, const Cylinder& c, const RunParameters&, const fs::path&) {
                              s.Mirror.AxisX = c.AxisPoint.x;
                              s.Mirror.AxisY = c.AxisPoint.y;
                              s.Mirror.Radius = c.Radius;
                            });
  if (program == "cono")
    return ReadProgramScene(ConoProgram(), MirrorKind::kCone, parameterFile,
                            [](Scene& s, const ConeMirror& c, const RunParameters&, const fs::path&) {
                              s.Mirror.AxisX = c.AxisPoint.x;
                              s.Mirror.AxisY = c.AxisPoint.y;
                              s.Mirror.Radius = c.BaseRadius;
                              s.Mirror.Height = c.ConeHeight;
                            });
  if (program == "specchio")
    return ReadProgramScene(SpecchioProgram(), MirrorKind::kPlane, parameterFile,
                            [](Scene& s, const PlaneMirror&, const RunParameters& p, const fs::path& folder) {
                              s.Mirror.File = FromFolder(p.MirrorDxfName, folder);
                            });
  if (program == "generico")
    return ReadProgramScene(GenericoProgram(), MirrorKind::kMesh, parameterFile,
                            [](Scene& s, const FacetedMirror& m, const RunParameters& p, const fs::path& folder) {
                              s.Mirror.File = FromFolder(p.MirrorDxfName, folder);
                              s.Mirror.VerticalAxis = m.VerticalAxisMode;
                            });
  throw PrintError("--program: \"" + program + "\" must be cilindro, cono, specchio or generico");
}
