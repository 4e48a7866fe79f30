#include "pipeline/print.h"

#include <chrono>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "mirrors/axial.h"
#include "mirrors/cone.h"
#include "mirrors/cylinder.h"
#include "formats/dxf.h"
#include "core/errors.h"
#include "core/map_picture.h"
#include "mirrors/faceted_mirror.h"
#include "pipeline/follow_print.h"
#include "mirrors/facets.h"
#include "pipeline/mirror_kinds.h"
#include "picture/large_pages.h"
#include "mirrors/plane_mirror.h"

namespace anamorfosi {

std::string RuntimeText(const RuntimeFailure& e) {
  switch (e.code()) {
    case kFileNotFound: return e.file() + ": no such file";
    case kPathNotFound: return e.file() + ": no such folder";
    case kAccessDenied: return e.file() + ": permission denied (or a folder)";
    case kInvalidNumber: return e.file() + ": line " + std::to_string(e.line()) + " is not a number";
    case kDiskWriteError: return e.file() + ": cannot be written";
    default: return e.file() + ": cannot be read";
  }
}

namespace {

// The option of a face file: the mirror's, or the picture face's.
std::string FaceField(const std::string& what) { return what == "mirror" ? "mirror" : "face"; }

}  // namespace

Face ReadFaceFile(const std::string& file, const std::string& what, const MirrorFileReader& mirrors) {
  Face face{};
  try {
    if (!ReadFaceDxf(file, face)) {
      // A mesh holds no 3DFACE by nature: say what the file is and what is wanted.
      const std::optional<std::string> mesh = mirrors.MeshFormat ? mirrors.MeshFormat(file) : std::nullopt;
      std::string why;
      if (mesh) {
        why = ": it is a mesh (" + *mesh + "), and the " + what + " is one 3DFACE of a DXF";
        if (what == "mirror") why += " (a mirror of triangles goes to anamorfosi generico)";
      }
      throw PrintError(file + ": holds no 3DFACE for the " + what + why, FaceField(what));
    }
  } catch (const RuntimeFailure& e) {
    throw PrintError(RuntimeText(e), FaceField(what));
  }
  return face;
}

Face ScaledFace(const Face& face, Units from, Units to) {
  if (from == to) return face;
  const Real k = static_cast<Real>(MillimetresPerUnit(from)) / MillimetresPerUnit(to);
  return {k * face.C1, k * face.C2, k * face.C3, k * face.C4};
}

Face ReadMirrorFace(const Scene& s, const MirrorFileReader& mirrors) {
  const Face m = ReadFaceFile(s.Mirror.File, "mirror", mirrors);
  return s.Mirror.FileUnit ? ScaledFace(m, *s.Mirror.FileUnit, s.Unit) : m;
}

// Outline segments lying on the sheet: both ends within this height of it,
// far below any drawing's rounding but above the rounding of a DXF's numbers.
constexpr Real kOnSheet = 1e-6_r;

void AddIfOnSheet(Footprint& f, Point3 a, Point3 b) {
  if (std::fabs(a.z) <= kOnSheet && std::fabs(b.z) <= kOnSheet && (a.x != b.x || a.y != b.y))
    f.Segments.push_back({a.x, a.y, b.x, b.y});
}

// Footprints of an outline are centred on the mean of its segments' ends.
void CentreFootprint(Footprint& f) {
  if (f.Circle || f.Segments.empty()) return;
  Real x = 0, y = 0;
  for (const auto& g : f.Segments) {
    x += g.X0 + g.X1;
    y += g.Y0 + g.Y1;
  }
  f.CentreX = x / (2 * f.Segments.size());
  f.CentreY = y / (2 * f.Segments.size());
}

Footprint MirrorFootprint(const Scene& s, const MirrorFileReader& mirrors) {
  Footprint f = KindEntry(s.Mirror.Kind).FootprintOf(s, mirrors);
  CentreFootprint(f);
  return f;
}

Footprint FacetFootprint(const FacetSet& set) {
  Footprint f;
  for (const MirrorFacet& m : set.Facets) {
    AddIfOnSheet(f, m.Corner1, m.Corner2);
    AddIfOnSheet(f, m.Corner2, m.Corner3);
    AddIfOnSheet(f, m.Corner3, m.Corner1);
  }
  CentreFootprint(f);
  return f;
}

double PrintWidthMm(const Scene& s, const OutputWindow& w) {
  return static_cast<double>(w.Width * w.CellSize) * MillimetresPerUnit(s.Unit);
}
double PrintHeightMm(const Scene& s, const OutputWindow& w) {
  return static_cast<double>(w.Height * w.CellSize) * MillimetresPerUnit(s.Unit);
}

namespace {

void StopOnWindow(WindowStatus status) {
  switch (status) {
    case WindowStatus::kOk: return;
    case WindowStatus::kNoRayReachedSheet:
      throw PrintError("no sight ray through the picture face reaches the sheet after the mirror: check the eye and the face", "eye");
    case WindowStatus::kNoExtent: throw PrintError("the picture's reflection on the sheet has no extent", "eye");
    case WindowStatus::kSideWithoutCells: throw PrintError("the picture's reflection on the sheet is too narrow for one cell", "eye");
  }
}

// The print's window: the scanned reflection and the footprint, with a margin,
// in whole cells of the scene's size.
template <class Mirror>
OutputWindow PrintWindow(const Scene& s, const Mirror& mirror, const Footprint& foot, MissRecord& misses) {
  if (s.ProgramWindow) {
    if (s.Pixels < 1) throw PrintError("--program-window needs --pixels: the programs size their window by cells", "pixels");
    OutputWindow w;
    StopOnWindow(ComputeWindow(mirror, s.PictureFace, s.Eye, std::min<long>(s.Pixels, kMaxOutputSide),
                               KindEntry(s.Mirror.Kind).ProgramMargin, misses, w));
    w.HalfCell = w.CellSize / 2;
    return w;
  }
  WindowScan scan = ScanFace(mirror, s.PictureFace, s.Eye, misses);
  if (scan.Hits == 0) StopOnWindow(WindowStatus::kNoRayReachedSheet);
  if (foot.Circle) {
    AddToScan(scan, {foot.CentreX - foot.Radius, foot.CentreY - foot.Radius, 0});
    AddToScan(scan, {foot.CentreX + foot.Radius, foot.CentreY + foot.Radius, 0});
  }
  for (const auto& g : foot.Segments) {
    AddToScan(scan, {g.X0, g.Y0, 0});
    AddToScan(scan, {g.X1, g.Y1, 0});
  }
  if (!std::isfinite(scan.MaxX - scan.MinX) || !std::isfinite(scan.MaxY - scan.MinY))
    StopOnWindow(WindowStatus::kNoExtent);
  const Real extent = std::max(scan.MaxX - scan.MinX, scan.MaxY - scan.MinY);
  if (!(extent > 0)) StopOnWindow(WindowStatus::kNoExtent);
  // A fiftieth of the extent, and at least 3 mm of paper round it.
  const Real margin = std::max(extent / 50, static_cast<Real>(3 / MillimetresPerUnit(s.Unit)));
  OutputWindow w;
  w.MinX = scan.MinX - margin;
  w.MaxY = scan.MaxY + margin;
  const Real width = scan.MaxX - scan.MinX + 2 * margin, height = scan.MaxY - scan.MinY + 2 * margin;
  // Pixels on the longer side, or the cell of the dpi in drawing units.
  w.CellSize = s.Pixels > 0 ? std::max(width, height) / s.Pixels
                            : static_cast<Real>(25.4 / s.Dpi / MillimetresPerUnit(s.Unit));
  const Real cols = std::ceil(width / w.CellSize - 1e-9_r), rows = std::ceil(height / w.CellSize - 1e-9_r);
  if (!(cols <= 2e9_r) || !(rows <= 2e9_r)) throw PrintError("the print would have more cells than can be counted", "dpi");
  w.Width = std::max(1, static_cast<int>(cols));
  w.Height = std::max(1, static_cast<int>(rows));
  w.MaxX = w.MinX + w.Width * w.CellSize;
  w.MinY = w.MaxY - w.Height * w.CellSize;
  w.HalfCell = w.CellSize / 2;
  return w;
}

// The window of the samples: each cell split into n x n.
OutputWindow SampleWindow(const OutputWindow& w, int n) {
  OutputWindow s = w;
  s.CellSize = w.CellSize / n;
  s.HalfCell = s.CellSize / 2;
  s.Width = w.Width * n;
  s.Height = w.Height * n;
  return s;
}

// Dark line of the footprint marks, 0.3 mm wide, and at least one and a half
// cells so that no diagonal run of cells breaks it.
void DrawFootprint(Picture& p, const OutputWindow& w, const Footprint& f, double mmPerUnit) {
  const Real half = std::max(w.CellSize * 0.75_r, static_cast<Real>(0.15 / mmPerUnit));
  const Real cross = static_cast<Real>(5 / mmPerUnit);  // arms of the centre cross
  auto paint = [&](Real x0, Real y0, Real x1, Real y1, const auto& inside) {
    const int c0 = std::max(1, static_cast<int>(std::floor((x0 - w.MinX) / w.CellSize)));
    const int c1 = std::min(w.Width, static_cast<int>(std::ceil((x1 - w.MinX) / w.CellSize)) + 1);
    const int r0 = std::max(1, static_cast<int>(std::floor((w.MaxY - y1) / w.CellSize)));
    const int r1 = std::min(w.Height, static_cast<int>(std::ceil((w.MaxY - y0) / w.CellSize)) + 1);
    for (int r = r0; r <= r1; ++r) {
      const Real y = w.MaxY - r * w.CellSize + w.HalfCell;
      for (int c = c0; c <= c1; ++c) {
        const Real x = w.MinX + c * w.CellSize - w.HalfCell;
        if (!inside(x, y)) continue;
        std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(r - 1) * p.Width + (c - 1)) * 3];
        px[0] = px[1] = px[2] = 60;
      }
    }
  };
  auto segment = [&](Real ax, Real ay, Real bx, Real by) {
    const Real dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    paint(std::min(ax, bx) - half, std::min(ay, by) - half, std::max(ax, bx) + half, std::max(ay, by) + half,
          [&](Real x, Real y) {
            const Real t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, Real(0), Real(1)) : 0;
            return std::hypot(x - ax - t * dx, y - ay - t * dy) <= half;
          });
  };
  if (f.Circle) {
    paint(f.CentreX - f.Radius - half, f.CentreY - f.Radius - half, f.CentreX + f.Radius + half,
          f.CentreY + f.Radius + half,
          [&](Real x, Real y) { return std::fabs(std::hypot(x - f.CentreX, y - f.CentreY) - f.Radius) <= half; });
  }
  for (const auto& g : f.Segments) segment(g.X0, g.Y0, g.X1, g.Y1);
  if (!f.Empty()) {
    segment(f.CentreX - cross, f.CentreY, f.CentreX + cross, f.CentreY);
    segment(f.CentreX, f.CentreY - cross, f.CentreX, f.CentreY + cross);
  }
}

// The first colour that no mapped pixel of the picture has.
std::optional<Rgb> UnusedColour(const Picture& p) {
  std::vector<bool> used(std::size_t{1} << 24, false);
  const std::size_t n = static_cast<std::size_t>(p.Width) * p.Height;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* c = &p.Rgb[i * 3];
    used[static_cast<std::size_t>(c[0]) << 16 | static_cast<std::size_t>(c[1]) << 8 | c[2]] = true;
  }
  for (std::size_t v = 0; v < used.size(); ++v) {
    if (!used[v]) return Rgb{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  }
  return std::nullopt;
}

template <class Mirror>
Print MapScene(const Scene& s, const Mirror& mirror, MappingSetup setup, PictureSource& source,
               const PrintSettings& settings, Print print) {
  PrintReport& report = print.Report;
  const InputPicture& picture = print.Source;
  using Clock = std::chrono::steady_clock;
  auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
  const Clock::time_point begun = Clock::now();
  const OutputWindow w = PrintWindow(s, mirror, report.Mirror, report.Misses);
  report.WindowSeconds = since(begun);
  if (s.Window) {
    // The record of a scene file must be what the scene gives now: a changed
    // mirror or face file shows here. Relative 1e-12: the record's doubles.
    const OutputWindow& r = *s.Window;
    auto near = [&](Real a, Real b) { return std::fabs(a - b) <= 1e-12_r * (std::fabs(a) + std::fabs(b) + w.CellSize); };
    if (r.Width != w.Width || r.Height != w.Height || !near(r.MinX, w.MinX) || !near(r.MaxY, w.MaxY) ||
        !near(r.CellSize, w.CellSize))
      throw PrintError("the window that results (" + std::to_string(w.Width) + " x " + std::to_string(w.Height) +
                       " cells) is not the one the scene file records (" + std::to_string(r.Width) + " x " +
                       std::to_string(r.Height) + "): a file of the scene has changed");
  }
  report.Window = w;
  if (settings.CheckWindow) settings.CheckWindow(w);
  // The cells and their samples must fit the budget; finer sampling is given up first.
  const unsigned long long cells = static_cast<unsigned long long>(w.Width) * w.Height;
  int n = s.Antialias;
  while (n > 1 && cells * (static_cast<unsigned long long>(n) * n + 1) * 3 > settings.MemoryBudget) --n;
  // One sample a cell: the raster and the print's own cells.
  if (cells * (static_cast<unsigned long long>(n) * n + 1) * 3 > settings.MemoryBudget) {
    const double scale = std::sqrt(static_cast<double>(settings.MemoryBudget) / 6 / static_cast<double>(cells));
    throw PrintError("the print would be " + std::to_string(w.Width) + " x " + std::to_string(w.Height) +
                     " cells, more than memory allows; at most about " +
                     std::to_string(static_cast<long>(w.Width * scale)) + " x " +
                     std::to_string(static_cast<long>(w.Height * scale)) + " fit (lower --dpi or --pixels)", "dpi");
  }
  if (n < s.Antialias)
    report.Notes.push_back("antialias lowered to " + std::to_string(n) + " for a print of this size");
  report.Antialias = n;
  // The picture, read smaller where its pixels fall many to a cell.
  const bool follow = settings.FollowPrint && !s.ProgramWindow && s.Grid.empty();
  PictureReduction reduction;
  PixelStretch stretch;
  if (follow) {
    reduction.Choose = [&](int width, int height) {
      stretch = MeasureStretch(mirror, setup, width, height, w.CellSize / n, kStretchShare);
      return ReductionFor(stretch, n);
    };
  }
  print.Source = source.Read(follow ? &reduction : nullptr);
  if (follow && reduction.FullWidth > 0) {
    report.Reduction = reduction.Wanted;
    report.PictureWidth = reduction.FullWidth;
    report.PictureHeight = reduction.FullHeight;
  } else {
    report.PictureWidth = print.Source.Width;
    report.PictureHeight = print.Source.Height;
  }
  // Fewer rays round a pixel whose sides bend little on the print.
  if (follow) setup.Accuracy = AccuracyFor(stretch, report.Reduction, s.Accuracy);
  setup.InterpolateAlong = follow && ReflectsSmoothly(mirror);
  report.Accuracy = setup.Accuracy;
  if (report.Reduction.Across > 1 || report.Reduction.Down > 1)
    report.Notes.push_back("the picture (" + std::to_string(report.PictureWidth) + " x " +
                           std::to_string(report.PictureHeight) + " pixels) was read at " +
                           std::to_string(print.Source.Width) + " x " + std::to_string(print.Source.Height) +
                           ": its pixels fall several to a cell of the print; their borders are traced with " +
                           std::to_string(report.Accuracy) + (report.Accuracy == 1 ? " point" : " points") +
                           " a side");
  if (!settings.MapPixels) return print;
  const Clock::time_point mapping = Clock::now();

  setup.Window = SampleWindow(w, n);
  PlacePicture(setup, report, picture);
  // The samples start as a colour no pixel has, so that paper can be told from
  // painted white or black; without one, as the background.
  const std::optional<Rgb> paper = UnusedColour(picture);
  const Rgb background = s.BlackBackground ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
  const Rgb start = paper.value_or(background);
  OutputRaster raster;
  ClearRaster(raster, setup.Window.Width, setup.Window.Height);
  for (std::size_t i = 0; i < raster.Cells.size(); i += 3) {
    raster.Cells[i] = start.r;
    raster.Cells[i + 1] = start.g;
    raster.Cells[i + 2] = start.b;
  }
  MapPicture(mirror, setup, picture, raster, settings.Threads, report.Misses, [&](int row) {
    if (settings.Progress) settings.Progress(row, picture.Height);
  });
  report.MappingSeconds = since(mapping);
  const Clock::time_point averaging = Clock::now();

  // Each cell the mean of its n x n samples, rounded.
  Picture& out = print.Cells;
  out.Width = w.Width;
  out.Height = w.Height;
  if (paper) {
    ReserveOnLargePages(print.Painted, cells);
    print.Painted.assign(cells, 0);
  }
  auto isPaper = [&](const std::uint8_t* c) { return paper && c[0] == paper->r && c[1] == paper->g && c[2] == paper->b; };
  if (n == 1) {
    // One sample a cell: the raster, row by row like the print, becomes it.
    out.Rgb = std::move(raster.Cells);
    for (std::size_t cell = 0; cell < cells; ++cell) {
      std::uint8_t* px = &out.Rgb[cell * 3];
      if (!isPaper(px)) {
        if (paper) print.Painted[cell] = 1;
        continue;
      }
      px[0] = background.r;
      px[1] = background.g;
      px[2] = background.b;
    }
  } else {
    ReserveOnLargePages(out.Rgb, cells * 3);
    out.Rgb.assign(cells * 3, 0);
    const unsigned count = static_cast<unsigned>(n * n);
    for (int row = 1; row <= w.Height; ++row) {
      for (int col = 1; col <= w.Width; ++col) {
        unsigned sum[3] = {0, 0, 0};
        unsigned bare = 0;
        for (int j = 0; j < n; ++j) {
          const std::uint8_t* c = &raster.Cells[raster.Index((col - 1) * n + 1, (row - 1) * n + 1 + j)];
          for (int i = 0; i < n; ++i, c += 3) {
            if (isPaper(c)) {
              sum[0] += background.r;
              sum[1] += background.g;
              sum[2] += background.b;
              ++bare;
            } else {
              sum[0] += c[0];
              sum[1] += c[1];
              sum[2] += c[2];
            }
          }
        }
        const std::size_t cell = static_cast<std::size_t>(row - 1) * w.Width + (col - 1);
        if (paper) print.Painted[cell] = bare < count;
        std::uint8_t* px = &out.Rgb[cell * 3];
        for (int k = 0; k < 3; ++k) px[k] = static_cast<std::uint8_t>((sum[k] + count / 2) / count);
      }
    }
  }
  if (s.Marks) DrawFootprint(out, w, report.Mirror, MillimetresPerUnit(s.Unit));
  report.CellSeconds = since(averaging);
  return print;
}

}  // namespace

void PlacePicture(MappingSetup& setup, const PrintReport& report, const Picture& picture) {
  setup.FaceStep = FaceStepOf(setup.PictureFace, picture.Width);
  setup.FaceSubStep = setup.FaceStep / setup.Accuracy;
  setup.RowStep = setup.RowSubStep = 0;
  if (report.Reduction.Across == 1 && report.Reduction.Down == 1) return;
  // The picture read keeps the whole picture's extent on the face: its rows
  // are as much taller than the whole picture's as it has fewer of them.
  setup.RowStep = Distance3(setup.PictureFace.C1, setup.PictureFace.C2) / report.PictureWidth *
                  report.PictureHeight / picture.Height;
  setup.RowSubStep = setup.RowStep / setup.Accuracy;
}

int MeshFacetLimit(unsigned long long budget, std::size_t bytesEach) {
  return static_cast<int>(std::min<unsigned long long>(budget / bytesEach, std::numeric_limits<int>::max() - 1));
}

void LoadMeshMirror(const Scene& s, const MirrorFileReader& mirrors, FacetedMirror& mirror, PrintReport& report) {
  if (!mirrors.Facets) throw PrintError(s.Mirror.File + ": no reader of mirror files was given", "mirror");
  const unsigned long long budget = mirrors.MemoryBudget;
  // A smooth mesh keeps its corners' normals beside its facets.
  const std::size_t each = FacetBytesEach + (s.Mirror.Smooth ? SmoothFacetBytesEach : 0);
  FacetLoadOptions options;
  options.Limit = MeshFacetLimit(budget, each);
  options.DrawingUnitMm = MillimetresPerUnit(s.Unit);
  options.Normals = s.Mirror.Smooth;
  if (s.Mirror.FileUnit) options.DxfUnitMm = MillimetresPerUnit(*s.Mirror.FileUnit);
  try {
    mirrors.Facets(s.Mirror.File, mirror.Facets, options);
    if (mirror.Facets.FacetCount < 1) throw PrintError(s.Mirror.File + ": holds no face with an area for the mirror", "mirror");
    if (mirror.Facets.FacetOverflow)
      throw PrintError(s.Mirror.File + ": more than " + std::to_string(options.Limit) +
                       " triangles, more than memory allows (" + std::to_string(each) +
                       " bytes each, at most " + std::to_string(budget >> 20) + " MiB for the mirror)", "mirror");
    report.FacetCount = mirror.Facets.FacetCount;
    BuildFacetIndex(mirror.Facets, mirror.Index);
  } catch (const RuntimeFailure& e) {
    throw PrintError(RuntimeText(e), "mirror");
  } catch (const std::bad_alloc&) {
    mirror = FacetedMirror{};
    throw PrintError(s.Mirror.File + ": not enough memory for the mirror's triangles", "mirror");
  }
  if (mirror.Facets.FileUnitMm > 0 && mirror.Facets.FileUnitMm != options.DrawingUnitMm) {
    std::ostringstream unit;
    unit << static_cast<double>(mirror.Facets.FileUnitMm);
    report.Notes.push_back(s.Mirror.File + ": its format states its unit (" + unit.str() + " mm), scaled into " +
                           UnitsName(s.Unit));
  }
  report.Mirror = FacetFootprint(mirror.Facets);
}

OutputWindow SceneWindow(const Scene& s, const MirrorFileReader& mirrors) {
  PrintReport report;
  report.Mirror = MirrorFootprint(s, mirrors);
  MappingSetup setup;
  return WithSceneMirror(s, mirrors, setup, report, [&](const auto& mirror) {
    return PrintWindow(s, mirror, report.Mirror, report.Misses);
  });
}

Print MakePrint(const Scene& s, PictureSource& picture, const PrintSettings& settings) {
  if (s.Accuracy < 1 || s.Accuracy > 20) throw PrintError("--accuracy must be 1 to 20", "accuracy");
  if (s.Antialias < 1 || s.Antialias > 8) throw PrintError("--antialias must be 1 to 8", "antialias");
  Print print;
  print.Report.Mirror = MirrorFootprint(s, settings.Mirrors);
  MappingSetup setup;
  auto model = std::make_shared<const AnyMirrorModel>(BuildSceneMirror(s, settings.Mirrors, setup, print.Report));
  Print made = std::visit([&](const auto& mirror) { return MapScene(s, mirror, setup, picture, settings, std::move(print)); },
                          *model);
  made.Mirror = std::move(model);
  return made;
}

}  // namespace anamorfosi
