#include "command.h"

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "auto_face.h"
#include "cone.h"
#include "cylinder.h"
#include "dxf_units.h"
#include "errors.h"
#include "grid_picture.h"
#include "mesh_file.h"
#include "picture_error.h"
#include "picture_file.h"
#include "png_file.h"
#include "print.h"
#include "print_pdf.h"
#include "run.h"
#include "uploaded_picture.h"
#include "vista.h"

namespace fs = std::filesystem;

namespace {

// Exit status of a print that was written but failed its fidelity check.
constexpr int kUnfaithful = 3;

// A value the user gave that cannot be used: exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Everything the options say, before the scene is completed from it.
struct Options {
  std::string Picture, Grid, Output, Face, MirrorFile, Units, Background = "white", SaveScene, SceneFile, Axis, Eye;
  double Radius = std::nan(""), Height = std::nan("");
  double Dpi = 300, Fill = 0.9;
  // vista, and the view of the mapping subcommands
  std::string PrintFile, Restored, Preview;
  std::vector<std::string> ProgramRun;  // the program's name and its parameter file
  int Sub = 1, Size = 1200;
  long Pixels = 0;
  int Accuracy = 4, Antialias = 0, Threads = 0;
  bool VerticalAxis = false, NoMarks = false, ProgramWindow = false, Quiet = false, EveryPixel = false;
  // The PDF's pages.
  std::string Paper = "A4";
  std::string Fit;  // the paper one sheet of which the print must fit
  double Margin = 10, Overlap = 10;
  bool Landscape = false, Portrait = false;
};

// A Real (whichever type it is) comes in as double, as it is printed.
std::string Num(double v) {
  std::ostringstream s;
  s << std::setprecision(10) << v;
  return s.str();
}
std::string Fixed(double v, int decimals) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << v;
  return s.str();
}
std::string PointText(Point3 p) { return "(" + Num(p.x) + ", " + Num(p.y) + ", " + Num(p.z) + ")"; }

// "X,Y" or "X,Y,Z": count finite numbers separated by commas.
std::vector<double> Numbers(const std::string& text, std::size_t count, const std::string& option) {
  std::vector<double> v;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    std::size_t used = 0;
    double d = 0;
    try {
      d = std::stod(part, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    while (used < part.size() && part[used] == ' ') ++used;
    if (used == 0 || used != part.size() || !std::isfinite(d))
      throw UsageError(option + ": \"" + text + "\" is not " + std::to_string(count) + " numbers separated by commas");
    v.push_back(d);
  }
  if (v.size() != count)
    throw UsageError(option + ": \"" + text + "\" is not " + std::to_string(count) + " numbers separated by commas");
  return v;
}

void NeedPositive(double v, const std::string& option) {
  if (!(v > 0) || !std::isfinite(v)) throw UsageError(option + ": must be a number above 0 (got " + Num(v) + ")");
}

// Values computed in extended precision are kept as the doubles a scene file
// holds, so that a rerun of the file maps exactly the same scene.
Real AsStored(Real v) { return static_cast<double>(v); }
Point3 AsStored(Point3 p) { return {AsStored(p.x), AsStored(p.y), AsStored(p.z)}; }

// The PDF's paper, margin, overlap and orientation from the options.
PdfOptions PageOptionsOf(const Options& o) {
  PdfOptions pdf;
  const std::optional<Paper> paper = ParsePaper(o.Paper);
  if (!paper) throw UsageError("--paper: must be A4, A3, A2, Letter, Legal, Tabloid, none or WxH in mm (or WxHin), got \"" + o.Paper + "\"");
  pdf.PaperSize = *paper;
  if (!(o.Margin >= 0) || !std::isfinite(o.Margin)) throw UsageError("--margin: must be 0 or more (mm)");
  if (!(o.Overlap >= 0) || !std::isfinite(o.Overlap)) throw UsageError("--overlap: must be 0 or more (mm)");
  if (o.Landscape && o.Portrait) throw UsageError("--landscape and --portrait: choose one");
  pdf.MarginMm = o.Margin;
  pdf.OverlapMm = o.Overlap;
  pdf.Orientation = o.Landscape ? PageOrientation::kLandscape : o.Portrait ? PageOrientation::kPortrait : PageOrientation::kAuto;
  return pdf;
}

// The tiles of a print of this window on the options' paper; false when the
// paper leaves no room for it.
bool PagesOf(const Scene& s, const OutputWindow& w, const PdfOptions& pdf, PageGrid& grid) {
  try {
    grid = PlanPages(PrintWidthMm(s, w), PrintHeightMm(s, w), pdf.PaperSize, pdf.MarginMm, pdf.OverlapMm, pdf.Orientation);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

// The scene of a mapping subcommand, completed with the defaults and the
// automatic face; what was chosen for the user goes into chosen.
Scene SceneFromOptions(MirrorKind kind, const Options& o, std::vector<std::string>& chosen) {
  Scene s;
  s.Mirror.Kind = kind;
  s.Picture = o.Picture;
  s.Grid = o.Grid;
  if (o.Picture.empty() == o.Grid.empty())
    throw UsageError(o.Grid.empty() ? "PICTURE: a picture file is needed, or --grid COLUMNSxROWS"
                                    : "--grid: draws its own picture; give PICTURE or --grid, not both");
  if (!o.Grid.empty() && !ParseGrid(o.Grid))
    throw UsageError("--grid: \"" + o.Grid + "\" must be COLUMNSxROWS, each 1 to 200 (e.g. 12x8)");
  if (kind == MirrorKind::kCylinder || kind == MirrorKind::kCone) {
    if (!o.Axis.empty()) {
      const auto a = Numbers(o.Axis, 2, "--axis");
      s.Mirror.AxisX = a[0];
      s.Mirror.AxisY = a[1];
    }
    const std::string radius = kind == MirrorKind::kCylinder ? "--radius" : "--base-radius";
    NeedPositive(o.Radius, radius);
    s.Mirror.Radius = o.Radius;
    if (kind == MirrorKind::kCone) {
      NeedPositive(o.Height, "--height");
      s.Mirror.Height = o.Height;
    }
  } else {
    s.Mirror.File = o.MirrorFile;
    s.Mirror.VerticalAxis = o.VerticalAxis;
  }
  // The unit each DXF file states; one that states no unit of length is refused.
  auto stated = [](const std::string& file) -> std::optional<Units> {
    const DxfUnits d = ReadDxfUnits(file);
    if (d.State == DxfUnits::Status::kUnknown)
      throw PrintError(file + ": its header states $INSUNITS " + (d.Value.empty() ? "without a value" : d.Value) +
                       ", which is no unit of length (1 to 24, or 0 for none)");
    if (d.State == DxfUnits::Status::kUnit) return d.Unit;
    return std::nullopt;
  };
  const bool mirrorDxf = !o.MirrorFile.empty() && MeshFileKindOf(o.MirrorFile).Format == MeshFormat::kDxf;
  std::optional<Units> faceUnit;
  if (!o.Face.empty()) faceUnit = stated(o.Face);
  // A mesh in a format that states its unit is scaled into the drawing units by its reader.
  if (mirrorDxf) s.Mirror.FileUnit = stated(o.MirrorFile);
  // The drawing units: the option, else the face's, else the mirror's, else mm.
  if (!o.Units.empty()) {
    const auto u = ParseUnits(o.Units);
    if (!u) throw UsageError("--units: must be one of " + UnitsList() + " (got \"" + o.Units + "\")");
    s.Unit = *u;
    // The user's word is the last: every DXF's numbers are taken in it, whatever
    // its header states (a file written with a default unit it was not drawn in).
    for (const auto& [file, unit] : {std::pair{o.Face, faceUnit}, std::pair{o.MirrorFile, s.Mirror.FileUnit}}) {
      if (unit && *unit != s.Unit)
        chosen.push_back("units: " + file + " states " + UnitsName(*unit) + ", its numbers taken as " +
                         UnitsName(s.Unit) + " (--units)");
    }
    faceUnit.reset();
    s.Mirror.FileUnit.reset();
  }
  const std::optional<Units> mirrorUnit = s.Mirror.FileUnit;
  if (!o.Units.empty()) {
    // Given, and every file's numbers taken in it.
  } else if (faceUnit) {
    s.Unit = *faceUnit;
    chosen.push_back(std::string("units: ") + UnitsName(s.Unit) + " (stated by " + o.Face + ")");
  } else if (mirrorUnit) {
    s.Unit = *mirrorUnit;
    chosen.push_back(std::string("units: ") + UnitsName(s.Unit) + " (stated by " + o.MirrorFile + ")");
  }
  // A file in another unit keeps its own: its coordinates are scaled into the drawing units.
  for (const auto& [file, unit] : {std::pair{o.Face, faceUnit}, std::pair{o.MirrorFile, mirrorUnit}}) {
    if (unit && *unit != s.Unit)
      chosen.push_back("units: " + file + " states " + UnitsName(*unit) + ", its coordinates scaled into " +
                       UnitsName(s.Unit));
  }
  if (o.Pixels < 0) throw UsageError("--pixels: must be at least 1");
  s.Pixels = o.Pixels;
  NeedPositive(o.Dpi, "--dpi");
  s.Dpi = o.Dpi;
  if (o.Accuracy < 1 || o.Accuracy > 20) throw UsageError("--accuracy: must be 1 to 20 (got " + std::to_string(o.Accuracy) + ")");
  s.Accuracy = o.Accuracy;
  if (o.Antialias < 0 || o.Antialias > 8) throw UsageError("--antialias: must be 1 to 8 (got " + std::to_string(o.Antialias) + ")");
  if (o.Background != "white" && o.Background != "black")
    throw UsageError("--background: must be white or black (got \"" + o.Background + "\")");
  s.BlackBackground = o.Background == "black";
  s.Marks = !o.NoMarks;
  s.ProgramWindow = o.ProgramWindow;
  if (o.ProgramWindow && o.Pixels < 1) throw UsageError("--program-window: needs --pixels, as the programs size their window by cells");
  if (!(o.Fill > 0 && o.Fill <= 1)) throw UsageError("--fill: must be above 0 and at most 1 (got " + Num(o.Fill) + ")");

  // The eye: given, or the default of the mirror.
  const Real r = std::fabs(s.Mirror.Radius);
  Face mirrorFace{};
  if (kind == MirrorKind::kPlane) mirrorFace = ReadMirrorFace(s);
  if (!o.Eye.empty()) {
    const auto e = Numbers(o.Eye, 3, "--eye");
    s.Eye = {e[0], e[1], e[2]};
  } else if (kind == MirrorKind::kCylinder) {
    s.Eye = {s.Mirror.AxisX, s.Mirror.AxisY - 12 * r, 10 * r};
    chosen.push_back("eye: " + PointText(s.Eye) + " (12 radii in front of the axis, 10 radii up)");
  } else if (kind == MirrorKind::kCone) {
    s.Eye = {s.Mirror.AxisX, s.Mirror.AxisY, 3 * s.Mirror.Height};
    chosen.push_back("eye: " + PointText(s.Eye) + " (on the axis, 3 times the cone's height up)");
  } else if (kind == MirrorKind::kPlane) {
    // In front of the mirror's middle, on the side its corners turn to (right
    // hand), 1.25 times its size away, as high as its top.
    const Plane pl = PlaneFromPoints(mirrorFace.C1, mirrorFace.C2, mirrorFace.C3);
    const Point3 sum = mirrorFace.C1 + mirrorFace.C2 + mirrorFace.C3 + mirrorFace.C4;
    const Point3 c{sum.x / 4, sum.y / 4, sum.z / 4};
    const Real size = std::max(Distance3(mirrorFace.C1, mirrorFace.C2), Distance3(mirrorFace.C2, mirrorFace.C3));
    const Real plan = std::hypot(pl.nx, pl.ny);
    if (!(plan > 1e-6_r)) throw UsageError("--eye: is needed for a mirror lying flat");
    const Real top = std::max({mirrorFace.C1.z, mirrorFace.C2.z, mirrorFace.C3.z, mirrorFace.C4.z});
    s.Eye = {c.x + pl.nx / plan * 1.25_r * size, c.y + pl.ny / plan * 1.25_r * size, std::max(top, c.z + size / 2)};
    chosen.push_back("eye: " + PointText(AsStored(s.Eye)) + " (in front of the mirror, 1.25 times its size away)");
  } else {
    throw UsageError("--eye: is needed for a mesh mirror");
  }
  if (!(s.Eye.z > 0)) throw UsageError("--eye: must be above the sheet (Z > 0, got " + Num(s.Eye.z) + ")");
  if (kind == MirrorKind::kCylinder && std::hypot(s.Eye.x - s.Mirror.AxisX, s.Eye.y - s.Mirror.AxisY) <= r)
    throw UsageError("--eye: is inside the cylinder");

  // The face: a DXF's, or the automatic one.
  if (!o.Face.empty()) {
    s.PictureFace = ReadFaceFile(o.Face, "picture face");
    if (faceUnit) s.PictureFace = ScaledFace(s.PictureFace, *faceUnit, s.Unit);
  } else {
    if (kind == MirrorKind::kMesh) throw UsageError("--face: is needed for a mesh mirror (the picture face's DXF)");
    const auto [width, height] = ScenePictureSize(s);
    FaceRequest request;
    request.Aspect = static_cast<Real>(width) / height;
    // The face of one fill, as the scene will hold it.
    auto faceOf = [&](double fill, Face& face) {
      request.Fill = fill;  // unless request.Fits chooses it
      std::string why;
      bool found = false;
      if (kind == MirrorKind::kCylinder) {
        found = AutomaticCylinderFace(Cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius}, s.Eye, request,
                                      face, why);
      } else if (kind == MirrorKind::kCone) {
        found = AutomaticConeFace(ConeMirror{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius, s.Mirror.Height, 0},
                                  s.Eye, request, face, why);
      } else {
        found = AutomaticPlaneFace(mirrorFace, s.Eye, request, face, why);
      }
      if (!found) throw PrintError("no picture face works for this mirror and eye: " + why);
      face = {AsStored(face.C1), AsStored(face.C2), AsStored(face.C3), AsStored(face.C4)};
    };
    double fill = o.Fill;
    if (o.Fit.empty()) {
      faceOf(fill, s.PictureFace);
    } else {
      // The largest fill whose print, with the mirror's footprint, fits one
      // sheet of the paper inside its margins.
      PdfOptions page = PageOptionsOf(o);
      const std::optional<Paper> paper = ParsePaper(o.Fit);
      if (!paper || paper->None)
        throw UsageError("--fit: must be A4, A3, A2, Letter, Legal, Tabloid or WxH in mm (or WxHin), got \"" + o.Fit + "\"");
      page.PaperSize = *paper;
      Scene trial = s;
      bool tried = false;
      double best = 0, smallestW = 0, smallestH = 0;
      PageGrid grid;
      request.Fits = [&](double f, const Face& face) {
        trial.PictureFace = {AsStored(face.C1), AsStored(face.C2), AsStored(face.C3), AsStored(face.C4)};
        const OutputWindow w = SceneWindow(trial);
        if (!PagesOf(trial, w, page, grid))
          throw PrintError("--fit " + o.Fit + ": the paper leaves no room inside its margins for a print");
        const bool one = grid.Columns * grid.Rows == 1;
        if (!tried || f < 0.0015) smallestW = PrintWidthMm(trial, w), smallestH = PrintHeightMm(trial, w);
        tried = true;
        if (one) best = std::max(best, f);
        return one;
      };
      try {
        faceOf(fill, s.PictureFace);
      } catch (const PrintError&) {
        if (!tried || best > 0) throw;
        throw PrintError("--fit " + o.Fit + ": even the smallest face (fill 0.001) makes a print of " +
                         Fixed(smallestW, 1) + " x " + Fixed(smallestH, 1) + " mm, more than one sheet holds (" +
                         Fixed(grid.AreaWidthMm, 1) + " x " + Fixed(grid.AreaHeightMm, 1) + " mm inside its margins)");
      }
      fill = best;
      chosen.push_back("fit: fill " + Num(fill) + ", the largest face whose print fits one " + paper->Name + " sheet");
    }
    const Face& f = s.PictureFace;
    chosen.push_back("face: " + PointText(AsStored(f.C1)) + " " + PointText(AsStored(f.C2)) + " " +
                     PointText(AsStored(f.C3)) + " " + PointText(AsStored(f.C4)) + " (automatic, fill " +
                     Num(fill) + ")");
  }
  s.Eye = AsStored(s.Eye);
  Face& f = s.PictureFace;
  f = {AsStored(f.C1), AsStored(f.C2), AsStored(f.C3), AsStored(f.C4)};
  s.Antialias = o.Antialias;  // 0 until the output's kind decides
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

enum class OutputKind { kPng, kPpm, kPdf };
OutputKind OutputKindOf(const std::string& name) {
  const std::string ext = Lower(fs::path(name).extension().string());
  if (ext == ".png") return OutputKind::kPng;
  if (ext == ".ppm") return OutputKind::kPpm;
  if (ext == ".pdf") return OutputKind::kPdf;
  throw UsageError("-o: \"" + name + "\" must end in .png, .ppm or .pdf");
}

// The files a scene reads, which no output may replace.
std::vector<std::string> InputsOf(const Scene& s, const Options& o) {
  std::vector<std::string> v = {s.Picture, s.Mirror.File, o.Face, o.SceneFile};
  return v;
}

void CheckNotAnInput(const std::string& output, const std::vector<std::string>& inputs, const std::string& option) {
  std::error_code ec;
  if (!fs::exists(output, ec)) return;
  for (const std::string& in : inputs) {
    if (!in.empty() && fs::equivalent(output, in, ec))
      throw UsageError(option + ": \"" + output + "\" is an input of the scene: choose another name");
  }
}

// An output whose folder is missing or closed fails before the mapping, not after.
void CheckOutputFolder(const std::string& output, const std::string& option) {
  const fs::path folder = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw PrintError(option + ": \"" + output + "\": the folder " + folder.string() + " does not exist");
  if (::access(folder.c_str(), W_OK) != 0)
    throw PrintError(option + ": \"" + output + "\": the folder " + folder.string() + " cannot be written");
  if (fs::is_directory(output, ec)) throw PrintError(option + ": \"" + output + "\" is a folder");
}

// The files of one run (print, preview, scene, restored picture), each written
// under a name of its own beside its final one and renamed into place
// together once every one was written: a run that fails leaves none of them
// and no earlier file of those names is touched.
class RunOutputs {
 public:
  RunOutputs() = default;
  RunOutputs(const RunOutputs&) = delete;
  RunOutputs& operator=(const RunOutputs&) = delete;
  ~RunOutputs() {
    for (const Staged& s : staged_) ::unlink(s.Temp.c_str());
  }

  // A new empty file beside file, created exclusively: a name already taken
  // (by a link planted there, or a file left by a run that was killed) is
  // passed over for the next. The writers replace it by renaming theirs onto it.
  std::string Stage(const std::string& file, const std::string& option) {
    const std::string base = file + ".tmp" + std::to_string(::getpid()) + "_";
    int err = EEXIST;
    for (int n = 0; n < 1000 && err == EEXIST; ++n) {
      std::string temp = base + std::to_string(n);
      const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        staged_.push_back({temp, file});
        return temp;
      }
      err = errno;
    }
    throw PrintError(option + ": \"" + file + "\" cannot be written (" + std::strerror(err) + ")");
  }

  // Every staged file renamed to its own name, in the order staged.
  void Commit() {
    while (!staged_.empty()) {
      const Staged s = staged_.front();
      std::error_code ec;
      fs::rename(s.Temp, s.File, ec);
      if (ec) throw PrintError(s.File + ": cannot be written (" + ec.message() + ")");
      staged_.erase(staged_.begin());
    }
  }

 private:
  struct Staged {
    std::string Temp, File;
  };
  std::vector<Staged> staged_;
};

// A writer's message names the file as the user gave it, not its staged name.
std::string Unstaged(std::string message, const std::string& temp, const std::string& file) {
  for (std::size_t at = message.find(temp); at != std::string::npos; at = message.find(temp, at + file.size()))
    message.replace(at, temp.size(), file);
  return message;
}

// Progress of the mapping on the error stream: a bar with the time left on a
// terminal, a line every tenth otherwise.
struct Progress {
  std::ostream& err;
  bool terminal;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  int lastTenth = -1;
  void operator()(int row, int rows) {
    const double done = rows > 0 ? static_cast<double>(row - 1) / rows : 1;
    if (terminal) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const int filled = static_cast<int>(done * 30);
      err << "\rmapping [" << std::string(filled, '#') << std::string(30 - filled, ' ') << "] " << std::setw(3)
          << static_cast<int>(done * 100) << "%";
      if (done > 0.02) err << "  " << static_cast<long>(seconds * (1 - done) / done) << " s left   ";
      err << std::flush;
    } else if (static_cast<int>(done * 10) > lastTenth) {
      lastTenth = static_cast<int>(done * 10);
      err << "mapping " << lastTenth * 10 << "%\n";
    }
  }
  void Finish() {
    if (terminal) err << "\rmapping [" << std::string(30, '#') << "] 100%" << std::string(20, ' ') << "\n";
    else err << "mapping 100%\n";
  }
};

// The date of the title block and of the PDF's metadata: SOURCE_DATE_EPOCH when
// set (for files that must not change from day to day), else today, in UTC.
std::string Today() {
  std::time_t now = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) now = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

const char* MirrorWords(MirrorKind k);

// The print's page content in millimetres from its top-left corner.
PdfContent PdfContentOf(const Scene& scene, const Print& print, const std::string& sceneJson) {
  const OutputWindow& w = print.Report.Window;
  const double mm = MillimetresPerUnit(scene.Unit);
  auto sx = [&](Real x) { return static_cast<double>(x - w.MinX) * mm; };
  auto sy = [&](Real y) { return static_cast<double>(w.MaxY - y) * mm; };
  PdfContent c;
  c.Cells = &print.Cells;
  c.CellMm = static_cast<double>(w.CellSize) * mm;
  const Footprint& f = print.Report.Mirror;
  c.Footprint.Circle = f.Circle;
  c.Footprint.CentreX = sx(f.CentreX);
  c.Footprint.CentreY = sy(f.CentreY);
  c.Footprint.Radius = static_cast<double>(f.Radius) * mm;
  for (const auto& g : f.Segments) c.Footprint.Segments.push_back({sx(g.X0), sy(g.Y0), sx(g.X1), sy(g.Y1)});
  const std::string diameter = Fixed(2 * c.Footprint.Radius, 1) + " mm";
  switch (scene.Mirror.Kind) {
    case MirrorKind::kCylinder: c.Footprint.Label = "cylinder, diameter " + diameter; break;
    case MirrorKind::kCone:
      c.Footprint.Label = "cone, base diameter " + diameter + ", height " +
                          Fixed(static_cast<double>(scene.Mirror.Height) * mm, 1) + " mm";
      break;
    case MirrorKind::kPlane: c.Footprint.Label = "plane mirror, standing here"; break;
    case MirrorKind::kMesh: c.Footprint.Label = "mirror, standing here"; break;
  }
  if (!f.Empty()) {
    c.HasEye = true;
    c.Eye.X = sx(scene.Eye.x);
    c.Eye.Y = sy(scene.Eye.y);
    c.Eye.HeightMm = static_cast<double>(scene.Eye.z) * mm;
    const double d = std::hypot(c.Eye.X - c.Footprint.CentreX, c.Eye.Y - c.Footprint.CentreY);
    const std::string from = f.Circle ? "the axis" : "the mirror's middle";
    const double angle = std::atan2(c.Eye.HeightMm, d) * 180 / M_PI;
    c.Eye.Label = d < 0.05 ? "eye: above " + from + ", " + Fixed(c.Eye.HeightMm, 1) + " mm up, looking straight down"
                           : "eye: " + Fixed(d, 1) + " mm from " + from + ", " + Fixed(c.Eye.HeightMm, 1) +
                                 " mm above the sheet, looking down at " + Fixed(angle, 1) + " degrees";
  }
  c.Date = Today();
  c.SceneJson = sceneJson;
  std::string mirror = MirrorWords(scene.Mirror.Kind);
  if (scene.Mirror.Kind == MirrorKind::kCylinder) mirror += ", radius " + Num(scene.Mirror.Radius);
  if (scene.Mirror.Kind == MirrorKind::kCone)
    mirror += ", base radius " + Num(scene.Mirror.Radius) + ", height " + Num(scene.Mirror.Height);
  if (!scene.Mirror.File.empty()) mirror += ", " + fs::path(scene.Mirror.File).filename().string();
  c.Title = {scene.Grid.empty() ? "Picture: " + fs::path(scene.Picture).filename().string()
                                : "Grid: " + scene.Grid + " cells to draw by hand",
             "Mirror: " + mirror + " (" + UnitsName(scene.Unit) + ")",
             "Eye: " + PointText(scene.Eye) + " " + UnitsName(scene.Unit) + "; " + c.Eye.Label,
             "Cells: " + std::to_string(w.Width) + " x " + std::to_string(w.Height) +
                 (scene.Pixels == 0 ? " at " + Num(scene.Dpi) + " dpi" : "") + "; made " + c.Date};
  return c;
}

void WriteOutput(const Scene& scene, const Print& print, const std::string& output, const PdfOptions& pdf,
                 RunOutputs& outputs) {
  const OutputWindow& w = print.Report.Window;
  const std::string staged = outputs.Stage(output, "-o");
  switch (OutputKindOf(output)) {
    case OutputKind::kPng: {
      // Written fast, so that a large print's file takes a fraction of its mapping.
      PngWriteOptions png = PngWriteOptions::Fast();
      png.CellSizeMetres = static_cast<double>(w.CellSize) * MillimetresPerUnit(scene.Unit) / 1000;
      Scene recorded = scene;
      recorded.Window = w;
      const std::string folder = fs::path(output).parent_path().string();
      png.Texts = {{"Software", "anamorfosi"},
                   {"Comment", "Print at 100 % (actual size), without fitting to the page."},
                   {"Scene", SceneToJson(recorded, folder)}};
      try {
        WritePngFile(staged, print.Cells, png);
      } catch (const PictureError& e) {
        throw PrintError(output + ": cannot be written" + (e.Errno ? std::string(" (") + std::strerror(e.Errno) + ")" : ""));
      }
      return;
    }
    case OutputKind::kPpm: {
      // The programs' plain picture; their raster is laid out row by row as the print is.
      OutputRaster raster;
      raster.Width = w.Width;
      raster.Height = w.Height;
      raster.Cells = print.Cells.Rgb;
      try {
        OutputPicture out(staged);
        out.WriteHeader(print.Source, w.Width, w.Height);
        out.WritePixelsAndCommit(raster);
      } catch (const RuntimeFailure& e) {
        throw PrintError(output + ": cannot be written (runtime code " + std::to_string(e.code()) + ")");
      }
      return;
    }
    case OutputKind::kPdf: {
      Scene recorded = scene;
      recorded.Window = w;
      PdfContent content = PdfContentOf(scene, print, SceneToJson(recorded, fs::path(output).parent_path().string()));
      // The grid to copy from comes first, square, as it was drawn.
      if (!scene.Grid.empty()) content.PlainGrid = &print.Source;
      try {
        WritePrintPdf(content, pdf, staged);
      } catch (const PdfError& e) {
        throw PrintError(Unstaged(e.what(), staged, output));
      }
      return;
    }
  }
}

void SaveScene(const Scene& scene, const OutputWindow& window, const std::string& file, RunOutputs& outputs) {
  Scene recorded = scene;
  recorded.Window = window;
  const std::string text = SceneToJson(recorded, fs::path(file).parent_path().string());
  const std::string temp = outputs.Stage(file, "--save-scene");
  // The staged file is this run's own: a link put in its place is not followed.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  int err = fd < 0 ? errno : 0;
  for (std::size_t done = 0; err == 0 && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) err = n < 0 ? errno : EIO;
    else done += static_cast<std::size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) throw PrintError("--save-scene: \"" + file + "\" cannot be written (" + std::strerror(err) + ")");
}

const char* MirrorWords(MirrorKind k) {
  switch (k) {
    case MirrorKind::kCylinder: return "cylinder";
    case MirrorKind::kCone: return "cone";
    case MirrorKind::kPlane: return "plane mirror";
    case MirrorKind::kMesh: return "mesh mirror";
  }
  return "";
}

// The view of a made print (written to view, when named) and the picture it
// restores (written to restored, when named); the fidelity line goes to out.
// stride: as RestoreScene takes it (0 chooses for the print; above 1, the quick check).
Fidelity ShowView(const Scene& scene, const Print& made, const SheetFile* file, const Options& o,
                  const std::string& view, std::ostream& out, std::ostream& err, bool quiet, RunOutputs& outputs,
                  int stride = 0) {
  const int threads = o.Threads > 0 ? o.Threads : DefaultThreads();
  const PrintedSheet sheet = SheetOf(made, file);
  auto write = [&outputs](const std::string& name, const Picture& p, const char* option) {
    const std::string staged = outputs.Stage(name, option);
    try {
      WritePngFile(staged, p);
    } catch (const PictureError& e) {
      throw PrintError(std::string(option) + ": " + Unstaged(e.what(), staged, name));
    }
  };
  if (!view.empty()) {
    const SceneView v = ViewScene(scene, sheet, o.Size, threads);
    write(view, v.Image, o.Preview.empty() ? "-o" : "--preview");
    if (v.Stats.SecondHits > 0)
      err << "anamorfosi: note: " << v.Stats.SecondHits << " of the view's " << v.Stats.Rays
          << " sight rays meet the mirror a second time; they are drawn as table\n";
    if (!quiet) out << "view: " << view << ", " << v.Image.Width << " x " << v.Image.Height << " pixels\n";
  }
  // The whole picture when it is written out or every pixel is asked for.
  if (stride == 0 && (!o.Restored.empty() || o.EveryPixel)) stride = 1;
  const VistaResult r = RestoreScene(scene, made, sheet, o.Sub, threads, stride);
  if (!o.Restored.empty()) write(o.Restored, r.Restored, "--restored");
  if (!quiet) out << FidelityLine(r.Score) << "\n";
  return r.Score;
}

// The check of every print made: the fidelity of the view (with --preview) or
// a quick one of a share of the picture's pixels; below kFaithfulPercent a
// warning names the figure and the likely cause. true when faithful.
bool CheckFidelity(const Scene& scene, const Print& print, const Options& o, std::ostream& out, std::ostream& err,
                   RunOutputs& outputs) {
  const bool quick = o.Preview.empty();
  const Picture& picture = print.Source;
  const Fidelity f = quick ? ShowView(scene, print, nullptr, o, "", out, err, true, outputs,
                                      QuickCheckStride(picture.Width, picture.Height))
                           : ShowView(scene, print, nullptr, o, o.Preview, out, err, o.Quiet, outputs);
  const std::string cause = LikelyCause(f, static_cast<double>(picture.Width) * picture.Height >
                                               static_cast<double>(print.Cells.Width) * print.Cells.Height *
                                                   print.Report.Antialias * print.Report.Antialias);
  if (cause.empty()) return true;
  err << "anamorfosi: warning: the print is not faithful: " << Fixed(WithinPercent(f), 1)
      << "% of the " << (quick ? "checked " : "") << "sight rays see the picture within 8 levels (at least "
      << Fixed(kFaithfulPercent, 0) << "% expected); likely cause: " << cause << "\n";
  return false;
}

// How many sheets of the chosen paper the print takes, and the smallest of the
// named papers that holds it whole on one sheet (in its better orientation).
std::string SheetsLine(const Scene& s, const OutputWindow& w, const PdfOptions& pdf) {
  std::string line = "paper: ";
  PageGrid g;
  if (pdf.PaperSize.None) {
    line += "none, one page of the print's own size";
  } else if (!PagesOf(s, w, pdf, g)) {
    line += pdf.PaperSize.Name + " leaves no room for the print inside its margins";
  } else {
    const int tiles = g.Columns * g.Rows;
    line += std::to_string(tiles) + (tiles == 1 ? " sheet of " : " sheets of ") + pdf.PaperSize.Name + " (" +
            (g.Landscape ? "landscape" : "portrait");
    if (tiles > 1)
      line += ", " + std::to_string(g.Columns) + " x " + std::to_string(g.Rows) + " tiles, and an assembly page in the PDF";
    line += ")";
  }
  PdfOptions any = pdf;
  any.Orientation = PageOrientation::kAuto;
  for (const Paper& paper : StandardPapers()) {
    any.PaperSize = paper;
    if (PagesOf(s, w, any, g) && g.Columns * g.Rows == 1) return line + "; whole on one " + paper.Name + " sheet";
  }
  return line + "; no paper of A4, A3, A2, Letter, Legal, Tabloid holds it whole";
}

// Makes and writes the print of a complete scene, and says what it did.
int Execute(Scene scene, const Options& o, const std::vector<std::string>& chosen, std::ostream& out,
            std::ostream& err, bool terminal) {
  const OutputKind kind = OutputKindOf(o.Output);
  const PdfOptions pdf = PageOptionsOf(o);
  if (scene.Antialias == 0) scene.Antialias = kind == OutputKind::kPpm ? 1 : 2;
  CheckNotAnInput(o.Output, InputsOf(scene, o), "-o");
  CheckOutputFolder(o.Output, "-o");
  if (!o.SaveScene.empty()) {
    CheckNotAnInput(o.SaveScene, InputsOf(scene, o), "--save-scene");
    CheckOutputFolder(o.SaveScene, "--save-scene");
  }
  if (!o.Preview.empty()) {
    CheckNotAnInput(o.Preview, InputsOf(scene, o), "--preview");
    if (fs::path(o.Preview) == fs::path(o.Output)) throw UsageError("--preview: must not be the print's own file");
    CheckOutputFolder(o.Preview, "--preview");
  }
  PrintSettings settings;
  settings.Threads = o.Threads > 0 ? o.Threads : DefaultThreads();
  settings.FollowPrint = !o.EveryPixel;
  if (kind == OutputKind::kPdf) {
    settings.CheckWindow = [&](const OutputWindow& w) {
      try {
        PlanPages(PrintWidthMm(scene, w), PrintHeightMm(scene, w), pdf.PaperSize, pdf.MarginMm, pdf.OverlapMm,
                  pdf.Orientation);
      } catch (const std::invalid_argument& e) {
        throw PrintError(std::string("--paper: ") + e.what());
      }
    };
  }
  Progress progress{err, terminal};
  if (!o.Quiet) settings.Progress = [&](int row, int rows) { progress(row, rows); };
  const Print print = MakePrint(scene, settings);
  if (!o.Quiet) progress.Finish();
  // Nothing is in place until the last file (the preview, written with the check) is done.
  RunOutputs outputs;
  WriteOutput(scene, print, o.Output, pdf, outputs);
  if (!o.SaveScene.empty()) SaveScene(scene, print.Report.Window, o.SaveScene, outputs);

  const PrintReport& r = print.Report;
  const OutputWindow& w = r.Window;
  if (r.Misses.MissCount > 0)
    err << "anamorfosi: warning: " << r.Misses.MissCount
        << " sight rays missed the mirror or did not reach the sheet: the print is not correct there\n";
  for (const std::string& note : r.Notes) err << "anamorfosi: note: " << note << "\n";
  if (o.Quiet) {
    const bool faithful = CheckFidelity(scene, print, o, out, err, outputs);
    outputs.Commit();
    return faithful ? 0 : kUnfaithful;
  }
  // The report is told once every file is in place: a run that fails names none as written.
  std::ostringstream lines;
  const std::string u = UnitsName(scene.Unit);
  lines << "mirror: " << MirrorWords(scene.Mirror.Kind);
  if (scene.Mirror.Kind == MirrorKind::kCylinder || scene.Mirror.Kind == MirrorKind::kCone)
    lines << ", axis (" << Num(scene.Mirror.AxisX) << ", " << Num(scene.Mirror.AxisY) << "), radius "
        << Num(scene.Mirror.Radius) << " " << u;
  if (scene.Mirror.Kind == MirrorKind::kCone) lines << ", height " << Num(scene.Mirror.Height) << " " << u;
  if (scene.Mirror.Kind == MirrorKind::kMesh) lines << ", " << r.FacetCount << " triangles";
  if (!scene.Mirror.File.empty()) lines << ", from " << scene.Mirror.File;
  lines << "\n";
  for (const std::string& line : chosen) lines << line << "\n";
  const double mmW = PrintWidthMm(scene, w), mmH = PrintHeightMm(scene, w);
  lines << "print: " << w.Width << " x " << w.Height << " cells";
  if (scene.Pixels == 0) lines << " at " << Num(scene.Dpi) << " dpi";
  lines << ", " << Fixed(mmW, 1) << " x " << Fixed(mmH, 1) << " mm (" << Fixed(mmW / 25.4, 2) << " x "
      << Fixed(mmH / 25.4, 2) << " in), print at 100 %\n";
  if (!r.Mirror.Empty()) {
    const double mm = MillimetresPerUnit(scene.Unit);
    lines << "mirror on the print: centre " << Fixed(static_cast<double>(r.Mirror.CentreX - w.MinX) * mm, 1)
        << " mm from the left edge, " << Fixed(static_cast<double>(w.MaxY - r.Mirror.CentreY) * mm, 1)
        << " mm from the top edge";
    if (r.Mirror.Circle) lines << ", diameter " << Fixed(static_cast<double>(2 * r.Mirror.Radius) * mm, 1) << " mm";
    lines << "\n";
  }
  lines << SheetsLine(scene, w, pdf) << "\n";
  lines << "written: " << o.Output << "\n";
  const bool faithful = CheckFidelity(scene, print, o, lines, err, outputs);
  outputs.Commit();
  out << lines.str();
  return faithful ? 0 : kUnfaithful;
}

void AddPageOptions(CLI::App* sub, Options& o) {
  sub->add_option("--paper", o.Paper, "PDF paper: A4 (default), A3, A2, Letter, Legal, Tabloid, WxH (mm) or WxHin, none");
  sub->add_option("--margin", o.Margin, "PDF page margin in mm (default 10)");
  sub->add_option("--overlap", o.Overlap, "PDF tiles overlap by this many mm (default 10)");
  sub->add_flag("--landscape", o.Landscape, "PDF pages in landscape (default: the fewest pages)");
  sub->add_flag("--portrait", o.Portrait, "PDF pages in portrait");
}

void AddEveryPixel(CLI::App* sub, Options& o) {
  sub->add_flag("--every-pixel", o.EveryPixel,
                "map every pixel of the picture at --accuracy, as the programs do, however many fall into one cell, "
                "and score every pixel");
}

void AddMappingOptions(CLI::App* sub, Options& o) {
  sub->add_option("PICTURE", o.Picture, "the picture (PNG, JPEG or PPM)");
  sub->add_option("--grid", o.Grid, "instead of a picture, a square grid of COLUMNSxROWS labelled cells to draw by hand");
  sub->add_option("--face", o.Face, "DXF file whose last 3DFACE is the picture face (default: automatic)");
  sub->add_option("--eye", o.Eye, "the eye X,Y,Z in drawing units");
  sub->add_option("--units", o.Units, "drawing units: mm, cm, in, m, ft or another unit of a DXF's $INSUNITS "
                                      "(default: the face's or the mirror's DXF's $INSUNITS, else mm)");
  sub->add_option("--dpi", o.Dpi, "cells per inch of the print (default 300)");
  sub->add_option("--pixels", o.Pixels, "cells on the longer side instead of --dpi");
  sub->add_option("--accuracy", o.Accuracy, "sample points per pixel side, 1 to 20 (default 4)");
  sub->add_option("--antialias", o.Antialias, "N x N samples a cell, averaged (default 2; 1 for .ppm)");
  sub->add_option("--background", o.Background, "white (the paper, default) or black (as the programs)");
  sub->add_option("--fill", o.Fill, "share of the largest automatic face (default 0.9)");
  sub->add_flag("--no-marks", o.NoMarks, "leave out the mirror's footprint on PNG output");
  sub->add_flag("--program-window", o.ProgramWindow,
                "the window exactly as the four programs compute it (needs --pixels; no footprint)");
  sub->add_option("--threads", o.Threads, "threads of the mapping (default: every core)");
  sub->add_option("--save-scene", o.SaveScene, "write every value used to this JSON scene file");
  sub->add_option("--preview", o.Preview, "also write the view from the eye (PNG) and print the fidelity line");
  sub->add_option("--size", o.Size, "the width of the --preview view in pixels (default 1200)");
  sub->add_flag("--quiet", o.Quiet, "print nothing but errors and warnings");
  AddEveryPixel(sub, o);
  sub->add_option("-o,--output", o.Output, "the print: .png (true scale), .pdf (pages to print), .ppm (plain P3)")->required();
  AddPageOptions(sub, o);
}

// The automatic face as large as one sheet of a paper allows.
void AddFitOption(CLI::App* sub, Options& o) {
  sub->add_option("--fit", o.Fit,
                  "the largest automatic face whose print, with the mirror, fits one sheet of this paper "
                  "(A4, A3, A2, Letter, Legal, Tabloid, WxH), with --margin; the PDF's paper")
      ->excludes(sub->get_option("--face"))
      ->excludes(sub->get_option("--fill"))
      ->excludes(sub->get_option("--paper"));
}

}  // namespace

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal,
               ServeFunction serve) {
  CLI::App app{"Mirror anamorphoses: from a picture and a mirror you own to a true-scale print.", "anamorfosi"};
  app.require_subcommand(1);
  app.footer(
      "Examples:\n"
      "  anamorfosi cilindro foto.jpg --radius 25 -o stampa.png\n"
      "  anamorfosi cilindro foto.jpg --radius 25 --paper A4 -o stampa.pdf\n"
      "  anamorfosi cono foto.png --base-radius 30 --height 60 -o stampa.png\n"
      "  anamorfosi specchio foto.jpg --mirror specchio.dxf -o stampa.png\n"
      "  anamorfosi generico foto.jpg --mirror cono.stl --face faccia.dxf --eye 0,0,400 -o stampa.png\n"
      "  anamorfosi run scena.json -o stampa.png\n"
      "Exit status: 0 done, 1 the print cannot be made, 2 a usage error, 3 the print was written but its\n"
      "fidelity check found it wrong (below 99 % of sight rays within 8 levels; the warning says why).");
  Options o;
  MirrorKind kind = MirrorKind::kCylinder;

  CLI::App* cil = app.add_subcommand("cilindro", "a vertical cylinder standing on the sheet");
  cil->add_option("--radius", o.Radius, "the cylinder's radius")->required();
  cil->add_option("--axis", o.Axis, "the axis X,Y (default 0,0)");
  AddMappingOptions(cil, o);
  AddFitOption(cil, o);
  cil->footer("Defaults: the eye 12 radii in front of the axis (toward -Y) and 10 radii up; an automatic face.\n"
              "Example: anamorfosi cilindro foto.jpg --radius 25 -o stampa.png");
  cil->callback([&] { kind = MirrorKind::kCylinder; });

  CLI::App* con = app.add_subcommand("cono", "a vertical cone standing on the sheet");
  con->add_option("--base-radius", o.Radius, "the radius of the cone's base")->required();
  con->add_option("--height", o.Height, "the cone's height")->required();
  con->add_option("--axis", o.Axis, "the axis X,Y (default 0,0)");
  AddMappingOptions(con, o);
  AddFitOption(con, o);
  con->footer("Defaults: the eye on the axis at 3 times the cone's height; an automatic face.\n"
              "Example: anamorfosi cono foto.png --base-radius 30 --height 60 -o stampa.png");
  con->callback([&] { kind = MirrorKind::kCone; });

  CLI::App* spe = app.add_subcommand("specchio", "a plane mirror, one 3DFACE of a DXF file");
  spe->add_option("--mirror", o.MirrorFile, "DXF file whose last 3DFACE is the mirror")->required();
  AddMappingOptions(spe, o);
  AddFitOption(spe, o);
  spe->footer("Defaults: the eye in front of the mirror, 1.25 times its size away; the face on the mirror itself.\n"
              "Example: anamorfosi specchio foto.jpg --mirror specchio.dxf -o stampa.png");
  spe->callback([&] { kind = MirrorKind::kPlane; });

  CLI::App* gen = app.add_subcommand("generico", "a mirror made of triangles: a mesh (STL, OBJ, PLY, ...) or a DXF's 3DFACEs");
  gen->add_option("--mirror", o.MirrorFile,
                  "the mirror: STL, OBJ, PLY or another mesh Assimp reads, or a DXF file of 3DFACEs")
      ->required();
  gen->add_flag("--vertical-axis", o.VerticalAxis, "the vertical view-axis mode (a mirror round the eye's axis)");
  AddMappingOptions(gen, o);
  gen->get_option("--face")->required();
  gen->get_option("--eye")->required();
  gen->footer("Example: anamorfosi generico foto.jpg --mirror cono.dxf --face faccia.dxf --eye 0,0,400 -o stampa.png");
  gen->callback([&] { kind = MirrorKind::kMesh; });

  CLI::App* run = app.add_subcommand("run", "make the print of a scene file written by --save-scene");
  run->add_option("SCENE", o.SceneFile, "the scene file (JSON)")->required();
  run->add_option("-o,--output", o.Output, "the print (default: the scene's name with .png)");
  run->add_option("--threads", o.Threads, "threads of the mapping (default: every core)");
  run->add_flag("--quiet", o.Quiet, "print nothing but errors and warnings");
  AddEveryPixel(run, o);
  AddPageOptions(run, o);
  run->footer("Example: anamorfosi run scena.json -o stampa.png");

  CLI::App* vista = app.add_subcommand("vista", "the view from the eye, the picture the mirror restores, and how faithful it is");
  vista->add_option("SCENE", o.SceneFile, "the scene file (JSON)");
  vista->add_option("--program", o.ProgramRun, "instead of a scene: a run of cilindro, cono, specchio or generico, "
                                               "PROGRAM PARAMETERS (names in the file are taken from its folder)")
      ->expected(2);
  vista->add_option("--print", o.PrintFile, "a print file to look at (default: the scene's own print)");
  vista->add_option("-o,--output", o.Output, "write the view from the eye (PNG)");
  vista->add_option("--size", o.Size, "the view's width in pixels (default 1200)");
  vista->add_option("--restored", o.Restored, "write the restored picture (PNG), the size of the input");
  vista->add_option("--sub", o.Sub, "N x N sight rays a pixel of the restored picture (default 1)");
  AddEveryPixel(vista, o);
  vista->add_option("--threads", o.Threads, "threads (default: every core)");
  vista->footer(
      "The view looks from the eye at the centre of the picture face; the mirror is slightly tinted,\n"
      "the table beyond the print and the sky are plain.\n"
      "Prints one line: fidelity: P% within 8 levels, PSNR D dB, unpainted U%, outside X%.\n"
      "  within 8 levels: the share of sight rays whose colour differs from the picture's pixel by\n"
      "    at most 8 levels in each of red, green and blue (for an anti-aliased print, from the picture\n"
      "    blurred by the print's cell, as its N x N samples saw it);\n"
      "  PSNR: the peak signal-to-noise ratio of what they see against the same (99 dB: the same);\n"
      "  unpainted: the share that read a cell no pixel painted (paper);\n"
      "  outside: the share that miss the mirror or land off the print.\n"
      "Examples:\n"
      "  anamorfosi vista scena.json -o vista.png --restored visto.png\n"
      "  anamorfosi vista --program cilindro parametri.txt --print anamorfosi.ppm -o vista.png");

  ServeOptions so;
  CLI::App* srv = app.add_subcommand("serve", "a page in the browser to make a print, with a live preview");
  srv->add_option("--port", so.Port, "the port (default 8765; 0 any free one)");
  srv->add_option("--host", so.Host, "listen on this address instead of 127.0.0.1 and ::1 (others can then reach it)");
  srv->add_flag("--open", so.Open, "open the page in the browser");
  srv->add_option("--max-request-mb", so.MaxRequestMb, "the largest request, in MB (default 50)");
  srv->add_option("--jobs", so.Jobs, "prints made at the same time (default 2)");
  srv->add_option("--job-seconds", so.JobSeconds, "the longest one print may take before it is ended (default 300)");
  srv->add_option("--job-mb", so.JobMb,
                  "the memory one print may take, in MiB, before it is refused (default 2048)");
  srv->add_option("--uploads-mb", so.UploadsMb,
                  "the uploads kept, in MB; beyond it the least recently used go first (default 500)");

  // The page's server checks each uploaded picture in a job of its own, so
  // that a hostile picture can only end that job: not listed in the help.
  std::string takePath, takeQuick;
  int takeSide = 250;
  CLI::App* take = app.add_subcommand("take-picture", "check a picture uploaded to the page, write its reduced copy");
  take->group("");
  take->add_option("PICTURE", takePath, "the uploaded file")->required();
  take->add_option("QUICK", takeQuick, "the reduced copy to write when the picture is larger")->required();
  take->add_option("--side", takeSide, "the reduced copy's longer side")->check(CLI::Range(16, 4096));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << "anamorfosi: " << e.what() << " (see anamorfosi --help)\n";
    return 2;
  }
  try {
    std::vector<std::string> chosen;
    if (srv->parsed()) {
      if (!serve) throw UsageError("serve: this build has no web page");
      if (so.Port < 0 || so.Port > 65535) throw UsageError("--port: must be 0 to 65535");
      if (so.MaxRequestMb < 1 || so.Jobs < 1) throw UsageError("--max-request-mb and --jobs: must be at least 1");
      if (so.JobSeconds < 1 || so.UploadsMb < 1) throw UsageError("--job-seconds and --uploads-mb: must be at least 1");
      if (so.JobMb < 64 || so.JobMb > (1L << 30)) throw UsageError("--job-mb: must be 64 to 1073741824");
      return serve(so, out, err);
    }
    if (take->parsed()) {
      const UploadedPicture u = TakeUploadedPicture(takePath, takeQuick, takeSide);
      out << "picture: " << u.Width << " x " << u.Height << (u.Reduced ? ", reduced copy written" : "") << "\n";
      return 0;
    }
    if (vista->parsed()) {
      if (o.SceneFile.empty() == o.ProgramRun.empty())
        throw UsageError(o.SceneFile.empty() ? "vista: a scene file is needed, or --program PROGRAM PARAMETERS"
                                             : "vista: give a scene file or --program, not both");
      const Scene scene = o.ProgramRun.empty() ? ReadSceneFile(o.SceneFile) : ProgramScene(o.ProgramRun[0], o.ProgramRun[1]);
      for (const auto& [name, option] : {std::pair{o.Output, "-o"}, std::pair{o.Restored, "--restored"}}) {
        if (name.empty()) continue;
        CheckNotAnInput(name, {o.SceneFile, o.PrintFile, scene.Picture, scene.Mirror.File,
                               o.ProgramRun.empty() ? std::string() : o.ProgramRun[1]}, option);
        CheckOutputFolder(name, option);
      }
      PrintSettings settings;
      settings.Threads = o.Threads > 0 ? o.Threads : DefaultThreads();
      settings.MapPixels = o.PrintFile.empty();
      settings.FollowPrint = !o.EveryPixel;
      const Print made = MakePrint(scene, settings);
      SheetFile file;
      if (!o.PrintFile.empty()) file = ReadSheetFile(o.PrintFile);
      RunOutputs outputs;
      std::ostringstream lines;
      ShowView(scene, made, o.PrintFile.empty() ? nullptr : &file, o, o.Output, lines, err, false, outputs);
      outputs.Commit();
      out << lines.str();
      return 0;
    }
    if (run->parsed()) {
      Scene scene = ReadSceneFile(o.SceneFile);
      if (o.Output.empty()) o.Output = (fs::path(o.SceneFile).parent_path() / fs::path(o.SceneFile).stem()).string() + ".png";
      return Execute(scene, o, chosen, out, err, terminal);
    }
    // The paper the print must fit is the PDF's.
    if (!o.Fit.empty()) o.Paper = o.Fit;
    const Scene scene = SceneFromOptions(kind, o, chosen);
    return Execute(scene, o, chosen, out, err, terminal);
  } catch (const UsageError& e) {
    err << "anamorfosi: " << e.what() << "\n";
    return 2;
  } catch (const std::bad_alloc&) {
    err << "anamorfosi: not enough memory for this print (lower --dpi or --pixels)\n";
    return 1;
  } catch (const std::exception& e) {
    err << "anamorfosi: " << e.what() << "\n";
    return 1;
  }
}
