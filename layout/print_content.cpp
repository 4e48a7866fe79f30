#include "layout/print_content.h"

#include <cmath>
#include <filesystem>

#include "pipeline/mirror_kinds.h"

namespace anamorfosi {

namespace {

// Numbers as the reports write them.
std::string Fixed(double v, int decimals) { return KindFixed(v, decimals); }
std::string PointWords(Point3 p) {
  std::string text = "(";
  text += KindNumber(p.x) + ", " + KindNumber(p.y) + ", " + KindNumber(p.z) + ")";
  return text;
}
// The last part of a file's name, whatever the folder (no file is read).
std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

PdfContent PdfContentOf(const Scene& scene, const Print& print, const std::string& sceneJson,
                        const std::string& date) {
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
  const MirrorKindEntry& kind = KindEntry(scene.Mirror.Kind);
  c.Footprint.Label = kind.FootprintLabel(scene, mm, c.Footprint.Radius);
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
  if (const auto placement = PlacementOf(c.Footprint, c.HasEye, c.Eye)) c.Placement = PlacementLines(*placement);
  c.Date = date;
  c.SceneJson = sceneJson;
  std::string mirror = kind.Words + kind.TitleDetails(scene);
  if (!scene.Mirror.File.empty()) mirror += ", " + FileName(scene.Mirror.File);
  c.Title = {scene.Grid.empty() ? "Picture: " + FileName(scene.Picture)
                                : "Grid: " + scene.Grid + " cells to draw by hand",
             "Mirror: " + mirror + " (" + UnitsName(scene.Unit) + ")",
             "Eye: " + PointWords(scene.Eye) + " " + UnitsName(scene.Unit) + "; " + c.Eye.Label,
             "Cells: " + std::to_string(w.Width) + " x " + std::to_string(w.Height) +
                 (scene.Pixels == 0 ? " at " + KindNumber(scene.Dpi) + " dpi" : "") + "; made " + c.Date};
  return c;
}

}  // namespace anamorfosi
