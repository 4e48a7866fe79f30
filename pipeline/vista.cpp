#include "pipeline/vista.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "pipeline/mirror_kinds.h"

namespace anamorfosi {

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
                     " x " + std::to_string(w.Height) + ", and it does not say where it lies",
                     "print");
  }
  if (sheet.Window.Width != file->Cells.Width || sheet.Window.Height != file->Cells.Height)
    throw PrintError("--print: its cells do not match the window it records", "print");
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

VistaResult RestoreScene(const Scene& scene, const MirrorFileReader& mirrors, const Print& made,
                         const PrintedSheet& sheet, int sub, int threads, int stride) {
  if (sub < 1 || sub > 16) throw PrintError("--sub: must be 1 to 16", "sub");
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
  auto restore = [&](const auto& mirror) {
    PlacePicture(setup, made.Report, made.Source);
    result.Restored = RestorePicture(mirror, setup, made.Source, sheet, settings, result.Score);
    return 0;
  };
  // The print's own mirror when it kept it, else built again from the scene.
  if (made.Mirror) {
    SetUpSceneMirror(scene, *made.Mirror, setup);
    std::visit(restore, *made.Mirror);
  } else {
    WithSceneMirror(scene, mirrors, setup, report, restore);
  }
  return result;
}

ViewCamera FrameScene(const Scene& scene, const PrintedSheet& sheet, std::vector<Point3> outline, int width) {
  std::vector<Point3> frame = std::move(outline);
  const OutputWindow& w = sheet.Window;
  for (const Point3& p : {Point3{w.MinX, w.MinY, 0}, Point3{w.MaxX, w.MinY, 0}, Point3{w.MinX, w.MaxY, 0},
                          Point3{w.MaxX, w.MaxY, 0}})
    frame.push_back(p);
  const Face& f = scene.PictureFace;
  for (const Point3& p : {f.C1, f.C2, f.C3, f.C4}) frame.push_back(p);
  return FrameView(scene.Eye, f, frame, width);
}

SceneView ViewScene(const Scene& scene, const MirrorFileReader& mirrors, const PrintedSheet& sheet, ViewFrame frame,
                    int threads) {
  const int width = frame.Width;
  if (width < 16 || width > 8000) throw PrintError("--size: must be 16 to 8000 pixels", "size");
  MappingSetup setup;
  PrintReport report;
  const AnyMirrorModel model = BuildSceneMirror(scene, mirrors, setup, report);
  return KindEntry(scene.Mirror.Kind).DrawView(model, scene, mirrors, sheet, frame, threads);
}

}  // namespace anamorfosi
