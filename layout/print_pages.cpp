#include "layout/print_pages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace anamorfosi {

namespace {

// The band at the foot of every page: the two rulers, the note, the labels.
constexpr double kFooterMm = 25;
// Room the rulers and their labels need across the page.
constexpr double kFooterWidthMm = 112;
// The page's lines go beside the rulers, this far from them, when at least
// kBesideMm is left across; else under the note.
constexpr double kBesideGapMm = 6, kBesideMm = 55;
// The size of the footer's text.
constexpr double kFooterTextMm = 2.6;

// About how wide a line of DejaVu Sans is at sizeMm, from its characters
// alone (the layout holds no font): 0.62 em each, above the mean of the
// footer's mix of lowercase (0.28 to 0.97 em, 0.55 on average), digits
// (0.64) and spaces (0.32), so that a line seldom ends beyond it.
double EstimatedWidthMm(const std::string& text, double sizeMm) {
  std::size_t characters = 0;
  for (const unsigned char c : text) characters += (c & 0xC0) != 0x80;  // UTF-8: not a continuation byte
  return 0.62 * sizeMm * static_cast<double>(characters);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

}  // namespace

std::optional<Paper> ParsePaper(const std::string& text) {
  const std::string t = Lower(text);
  struct Named {
    const char* name;
    double w, h;
  };
  static const Named kPapers[] = {{"a4", 210, 297},        {"a3", 297, 420},        {"a2", 420, 594},
                                  {"letter", 215.9, 279.4}, {"legal", 215.9, 355.6}, {"tabloid", 279.4, 431.8}};
  for (const Named& p : kPapers) {
    if (t == p.name) return Paper{text, p.w, p.h, false};
  }
  if (t == "none") return Paper{"none", 0, 0, true};
  // WxH in millimetres, or in inches with "in" after it.
  std::string body = t;
  double scale = 1;
  if (body.size() > 2 && body.compare(body.size() - 2, 2, "in") == 0) {
    body.resize(body.size() - 2);
    scale = 25.4;
  } else if (body.size() > 2 && body.compare(body.size() - 2, 2, "mm") == 0) {
    body.resize(body.size() - 2);
  }
  const std::size_t x = body.find('x');
  if (x == std::string::npos) return std::nullopt;
  try {
    std::size_t a = 0, b = 0;
    const double w = std::stod(body.substr(0, x), &a), h = std::stod(body.substr(x + 1), &b);
    if (a != x || b != body.size() - x - 1 || !(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h))
      return std::nullopt;
    return Paper{text, w * scale, h * scale, false};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

PageGrid PlanPages(double printW, double printH, const Paper& paper, double margin, double overlap,
                   PageOrientation orientation) {
  if (!(margin >= 0) || !(overlap >= 0)) throw std::invalid_argument("the margin and the overlap must be 0 or more");
  if (paper.None) {
    PageGrid g;
    g.AreaWidthMm = printW;
    g.AreaHeightMm = printH;
    // Wide enough for the lines beside the rulers: under the note they would
    // run past the bottom of a page only as tall as the print and the footer.
    g.PageWidthMm = std::max(printW, kFooterWidthMm + kBesideGapMm + kBesideMm) + 2 * margin;
    g.PageHeightMm = printH + kFooterMm + 2 * margin;
    return g;
  }
  auto plan = [&](bool landscape) {
    PageGrid g;
    g.Landscape = landscape;
    g.PageWidthMm = landscape ? std::max(paper.WidthMm, paper.HeightMm) : std::min(paper.WidthMm, paper.HeightMm);
    g.PageHeightMm = landscape ? std::min(paper.WidthMm, paper.HeightMm) : std::max(paper.WidthMm, paper.HeightMm);
    g.AreaWidthMm = g.PageWidthMm - 2 * margin;
    g.AreaHeightMm = g.PageHeightMm - 2 * margin - kFooterMm;
    // A tile must hold more than its overlaps, and the footer its rulers.
    if (g.AreaWidthMm <= 2 * overlap + 1 || g.AreaHeightMm <= 2 * overlap + 1 || g.AreaWidthMm < kFooterWidthMm) {
      g.Columns = g.Rows = -1;
      return g;
    }
    auto count = [&](double length, double area) {
      // Each tile after the first adds its area less the overlap with the one before.
      return length <= area ? 1 : static_cast<int>(std::ceil((length - overlap) / (area - overlap) - 1e-9));
    };
    g.Columns = count(printW, g.AreaWidthMm);
    g.Rows = count(printH, g.AreaHeightMm);
    return g;
  };
  const PageGrid portrait = plan(false), landscape = plan(true);
  const bool portraitOk = portrait.Columns > 0, landscapeOk = landscape.Columns > 0;
  if (!portraitOk && !landscapeOk)
    throw std::invalid_argument("the paper leaves no room inside its margins for the print, the overlaps and the rulers");
  if (orientation == PageOrientation::kPortrait) {
    if (!portraitOk) throw std::invalid_argument("the paper leaves no room in portrait");
    return portrait;
  }
  if (orientation == PageOrientation::kLandscape) {
    if (!landscapeOk) throw std::invalid_argument("the paper leaves no room in landscape");
    return landscape;
  }
  if (!landscapeOk) return portrait;
  if (!portraitOk) return landscape;
  return landscape.Pages() < portrait.Pages() ? landscape : portrait;
}

std::vector<Paper> StandardPapers() {
  std::vector<Paper> papers;
  for (const char* name : {"Letter", "A4", "Legal", "Tabloid", "A3", "A2"}) papers.push_back(*ParsePaper(name));
  return papers;
}

namespace {

// The cut lines of n tiles spread evenly over [from, to] with overlaps of
// overlap: cut k (1 to n - 1, between tile k - 1 and tile k) into cuts[k - 1].
void SpreadCuts(double from, double to, int n, double overlap, double* cuts) {
  const double width = (to - from + (n - 1) * overlap) / n;
  for (int k = 1; k < n; ++k) cuts[k - 1] = from + k * (width - overlap) + overlap / 2;
}

}  // namespace

std::vector<TileSpan> TileSpans(double length, double area, double overlap, int count, double minTile,
                                double avoidFrom, double avoidTo, double cellMm) {
  if (count <= 1) return {TileSpan{0, length}};
  const int n = count;
  std::vector<double> even(n - 1);
  SpreadCuts(0, length, n, overlap, even.data());
  // Even tiles are never too short, whatever minTile asks.
  minTile = std::min(minTile, (length + (n - 1) * overlap) / n);
  auto spans = [&](const std::vector<double>& cuts) {
    std::vector<TileSpan> s(n);
    for (int k = 0; k < n; ++k) {
      s[k].From = k == 0 ? 0 : cuts[k - 1] - overlap / 2;
      s[k].To = k == n - 1 ? length : cuts[k] + overlap / 2;
    }
    return s;
  };
  // Lengths within a millionth of a millimetre count as equal: the sums above round.
  auto fits = [&](const std::vector<double>& cuts) {
    for (const TileSpan& t : spans(cuts))
      if (t.To - t.From > area + 1e-6 || t.To - t.From < minTile - 1e-6) return false;
    return true;
  };
  auto crosses = [&](const std::vector<double>& cuts) {
    for (const double c : cuts)
      if (c > avoidFrom && c < avoidTo) return true;
    return false;
  };
  std::vector<double> best = even;
  if (avoidTo > avoidFrom && crosses(even)) {
    // Tile j holds the mirror whole: the cuts before it spread evenly up to
    // the mirror, those after it from the mirror on; the least shift wins.
    double bestShift = -1;
    for (int j = 0; j < n; ++j) {
      std::vector<double> cuts = even;
      if (j > 0) {
        cuts[j - 1] = std::min(even[j - 1], avoidFrom);
        SpreadCuts(0, cuts[j - 1] + overlap / 2, j, overlap, cuts.data());
      }
      if (j < n - 1) {
        cuts[j] = std::max(even[j], avoidTo);
        SpreadCuts(cuts[j] - overlap / 2, length, n - 1 - j, overlap, cuts.data() + j + 1);
      }
      if (!fits(cuts) || crosses(cuts)) continue;
      double shift = 0;
      for (int k = 0; k < n - 1; ++k) shift += std::fabs(cuts[k] - even[k]);
      if (bestShift < 0 || shift < bestShift) {
        bestShift = shift;
        best = cuts;
      }
    }
  }
  // Each tile starting on a whole cell, where that keeps the tiles within their limits.
  if (cellMm > 0) {
    for (int k = 0; k < n - 1; ++k) {
      const double start = (best[k] - overlap / 2) / cellMm;
      // The nearer whole cell first, then the other one.
      const double lower = std::floor(start), upper = std::ceil(start);
      for (const double whole : start - lower <= upper - start ? std::array{lower, upper} : std::array{upper, lower}) {
        std::vector<double> cuts = best;
        cuts[k] = whole * cellMm + overlap / 2;
        if (fits(cuts) && crosses(cuts) == crosses(best)) {
          best = cuts;
          break;
        }
      }
    }
  }
  return spans(best);
}

std::string TileLabel(int row, int column) {
  std::string letters;
  // Rows A..Z, then AA, AB, ... as spreadsheets count.
  for (int r = row + 1; r > 0; r = (r - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (r - 1) % 26));
  return letters + std::to_string(column + 1);
}

namespace {

// The operations of one page, written as the drawing goes.
class Canvas {
 public:
  explicit Canvas(std::vector<pdf::Op>& ops) : ops_(ops) {}
  void Add(pdf::Op op) { ops_.push_back(std::move(op)); }
  void Colour(double r, double g, double b) { Add(pdf::Colour{r, g, b}); }
  void Width(double mm) { Add(pdf::LineWidth{mm}); }
  void Line(double x0, double y0, double x1, double y1) { Add(pdf::Line{x0, y0, x1, y1}); }
  void Cross(double x, double y, double arm) {
    Line(x - arm, y, x + arm, y);
    Line(x, y - arm, x, y + arm);
  }
  void Text(double x, double y, double size, const std::string& text, bool bold = false) {
    Add(pdf::Text{x, y, size, bold, text});
  }
  void Label(double x, double y, double size, const std::string& text) { Add(pdf::Label{x, y, size, text}); }

 private:
  std::vector<pdf::Op>& ops_;
};

// The 100 mm ruler with millimetre ticks and the 4 in ruler with eighths, one
// above the other, their zero at (x, y).
void Rulers(Canvas& cv, double x, double y) {
  cv.Colour(0, 0, 0);
  cv.Width(0.15);
  cv.Line(x, y, x + 100, y);
  for (int mm = 0; mm <= 100; ++mm) {
    const double tall = mm % 10 == 0 ? 3.5 : mm % 5 == 0 ? 2.5 : 1.5;
    cv.Line(x + mm, y, x + mm, y + tall);
    if (mm % 10 == 0) cv.Text(x + mm - (mm == 100 ? 1.4 : 0.6), y + 6, 2.2, std::to_string(mm / 10));
  }
  cv.Text(x + 102, y + 3, 2.4, "cm (100 mm)");
  const double y2 = y + 9.5;
  cv.Line(x, y2, x + 101.6, y2);
  for (int e = 0; e <= 32; ++e) {
    const double tall = e % 8 == 0 ? 3.5 : e % 4 == 0 ? 2.5 : 1.5;
    cv.Line(x + e * 25.4 / 8, y2, x + e * 25.4 / 8, y2 + tall);
    if (e % 8 == 0) cv.Text(x + e * 25.4 / 8 - 0.6, y2 + 6, 2.2, std::to_string(e / 8));
  }
  cv.Text(x + 102, y2 + 3, 2.4, "in (4 in)");
}

// Everything drawn in the print's own frame (millimetres from its top-left
// corner): the footprint, its label and the eye's arrow.
void PrintMarks(Canvas& cv, const PdfContent& c, double printW, double printH, double scale) {
  const SheetFootprint& f = c.Footprint;
  cv.Colour(0.24, 0.24, 0.24);
  cv.Width(0.3 / scale);
  if (f.Circle) cv.Add(pdf::Circle{f.CentreX, f.CentreY, f.Radius});
  for (const auto& g : f.Segments) cv.Line(g.X0, g.Y0, g.X1, g.Y1);
  if (f.Circle || !f.Segments.empty()) {
    cv.Cross(f.CentreX, f.CentreY, 5);
    cv.Label(f.CentreX + (f.Circle ? f.Radius * 0.72 + 1 : 6), f.CentreY - (f.Circle ? f.Radius * 0.72 + 1 : 2),
             2.6 / scale, f.Label);
  }
  if (!c.HasEye) return;
  // The arrow stands inside the print's edge on the line from the mirror toward
  // the eye, pointing at the eye; an eye above the print gets a ring there.
  const double dx = c.Eye.X - f.CentreX, dy = c.Eye.Y - f.CentreY, d = std::hypot(dx, dy);
  cv.Colour(0.7, 0.1, 0.1);
  cv.Width(0.5 / scale);
  const bool inside = c.Eye.X >= 0 && c.Eye.X <= printW && c.Eye.Y >= 0 && c.Eye.Y <= printH;
  if (inside || d < 1e-9) {
    cv.Add(pdf::Circle{c.Eye.X, c.Eye.Y, 3 / scale});
    cv.Label(c.Eye.X + 4 / scale, c.Eye.Y + 8 / scale, 2.6 / scale, c.Eye.Label);
    return;
  }
  const double ux = dx / d, uy = dy / d;
  // Where the ray from the mirror leaves the print, less an inset.
  double t = 1e30;
  if (ux > 0) t = std::min(t, (printW - f.CentreX) / ux);
  if (ux < 0) t = std::min(t, -f.CentreX / ux);
  if (uy > 0) t = std::min(t, (printH - f.CentreY) / uy);
  if (uy < 0) t = std::min(t, -f.CentreY / uy);
  const double inset = 6 / scale, length = 16 / scale;
  const double tipX = f.CentreX + ux * (t - inset), tipY = f.CentreY + uy * (t - inset);
  const double tailX = tipX - ux * length, tailY = tipY - uy * length;
  cv.Line(tailX, tailY, tipX, tipY);
  const double head = 3 / scale;
  cv.Add(pdf::Polygon{{{tipX, tipY},
                       {tipX - ux * head - uy * head * 0.6, tipY - uy * head + ux * head * 0.6},
                       {tipX - ux * head + uy * head * 0.6, tipY - uy * head - ux * head * 0.6}}});
  // The label beside the arrow's middle, kept inside the print.
  const double lx = std::clamp((tipX + tailX) / 2 + 3 / scale, 2 / scale, std::max(2 / scale, printW - 110 / scale));
  const double ly = std::clamp((tipY + tailY) / 2, 6 / scale, std::max(6 / scale, printH - 2 / scale));
  cv.Label(lx, ly, 2.6 / scale, c.Eye.Label);
}

const char* kNote = "Print at 100 % (\"actual size\"), no fit-to-page. Check: the upper ruler is 100 mm.";

void Footer(Canvas& cv, const PageGrid& g, double margin, const std::vector<std::string>& lines) {
  const double top = g.PageHeightMm - margin - kFooterMm;
  Rulers(cv, margin, top + 2);
  cv.Colour(0, 0, 0);
  cv.Text(margin, top + 21.5, kFooterTextMm, kNote);
  // The page's own lines beside the rulers when there is room, else under the note.
  const double x = margin + kFooterWidthMm + kBesideGapMm;
  const bool beside = g.PageWidthMm - margin - x >= kBesideMm;
  double y = beside ? top + 4 : top + 24.5;
  for (const std::string& l : lines) {
    cv.Text(beside ? x : margin, y, kFooterTextMm, l);
    y += 3.4;
  }
}

}  // namespace

std::vector<std::uint8_t> ReducedCells(const Picture& p, int c0, int c1, int r0, int r1, int step) {
  const int w = (c1 - c0 + step - 1) / step, h = (r1 - r0 + step - 1) / step;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(std::max(w, 0)) * std::max(h, 0) * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned sum[3] = {0, 0, 0}, n = 0;
      for (int yy = r0 + y * step; yy < std::min(r1, r0 + (y + 1) * step); ++yy) {
        for (int xx = c0 + x * step; xx < std::min(c1, c0 + (x + 1) * step); ++xx) {
          const std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(yy) * p.Width + xx) * 3];
          sum[0] += px[0];
          sum[1] += px[1];
          sum[2] += px[2];
          ++n;
        }
      }
      std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      for (int k = 0; k < 3; ++k) out[k] = static_cast<std::uint8_t>((sum[k] + n / 2) / n);
    }
  }
  return rgb;
}

std::optional<Placement> PlacementOf(const SheetFootprint& f, bool hasEye, const SheetEye& eye) {
  if (!f.Circle && f.Segments.empty()) return std::nullopt;
  Placement p;
  p.Circle = f.Circle;
  p.HasEye = hasEye;
  if (!hasEye) return p;
  const auto [mx, my] = FootprintMiddle(f);
  p.DistanceMm = std::hypot(eye.X - mx, eye.Y - my);
  p.HeightMm = eye.HeightMm;
  return p;
}

std::vector<std::string> PlacementLines(const Placement& p) {
  std::vector<std::string> lines = {p.Circle ? "Stand the mirror on the circle;" : "Stand the mirror on its outline;"};
  if (!p.HasEye) return lines;
  // Centimetres, whole from 10 cm on, else to a millimetre: what a ruler shows.
  auto cm = [](double mm) { return Fixed(mm / 10, mm >= 100 ? 0 : 1) + " cm"; };
  // Within half a millimetre the eye is taken to be straight above the middle.
  if (p.DistanceMm < 0.5)
    lines.push_back("look straight down from " + cm(p.HeightMm) + " above its middle.");
  else
    lines.push_back("look from " + cm(p.DistanceMm) + " in front, " + cm(p.HeightMm) + " up, along the arrow.");
  return lines;
}

PdfDocument LayOutPrintPdf(const PdfContent& c, const PdfOptions& o) {
  if (c.Cells == nullptr || c.Cells->Width < 1 || c.Cells->Height < 1 || !(c.CellMm > 0))
    throw PdfError("the print has no cells");
  const Picture& cells = *c.Cells;
  const double printW = cells.Width * c.CellMm, printH = cells.Height * c.CellMm;
  PdfDocument doc;
  PageGrid& g = doc.Grid;
  try {
    g = PlanPages(printW, printH, o.PaperSize, o.MarginMm, o.OverlapMm, o.Orientation);
  } catch (const std::invalid_argument& e) {
    throw PdfError(std::string("--paper: ") + e.what());
  }
  const double m = o.MarginMm, overlap = o.OverlapMm;
  const bool tiled = g.Columns * g.Rows > 1;
  const std::string size = Fixed(printW, 1) + " x " + Fixed(printH, 1) + " mm (" + Fixed(printW / 25.4, 2) + " x " +
                           Fixed(printH / 25.4, 2) + " in)";
  if (o.PaperSize.None) {
    // Without a paper the page is as wide as its lines need beside the rulers.
    std::vector<std::string> lines = c.Title;
    lines.insert(lines.end(), c.Placement.begin(), c.Placement.end());
    lines.push_back("Print " + size + ".");
    for (const std::string& l : lines)
      g.PageWidthMm = std::max(g.PageWidthMm, 2 * m + kFooterWidthMm + kBesideGapMm + EstimatedWidthMm(l, kFooterTextMm));
  }
  // Where the tiles lie: no cut line across the mirror's footprint (with 2 mm
  // of paper round its line) when a shift of the tiles avoids it, no tile
  // shorter than a fifth of the page.
  const SheetFootprint& f = c.Footprint;
  double left = 0, right = 0, top = 0, bottom = 0;
  if (f.Circle) {
    left = f.CentreX - f.Radius;
    right = f.CentreX + f.Radius;
    top = f.CentreY - f.Radius;
    bottom = f.CentreY + f.Radius;
  } else if (!f.Segments.empty()) {
    left = top = 1e300;
    right = bottom = -1e300;
    for (const auto& s : f.Segments) {
      left = std::min({left, s.X0, s.X1});
      right = std::max({right, s.X0, s.X1});
      top = std::min({top, s.Y0, s.Y1});
      bottom = std::max({bottom, s.Y0, s.Y1});
    }
  }
  const double clear = f.Circle || !f.Segments.empty() ? 2 : 0;
  const std::vector<TileSpan> columns = TileSpans(printW, g.AreaWidthMm, overlap, g.Columns, g.PageWidthMm / 5,
                                                  left - clear, right + clear, c.CellMm);
  const std::vector<TileSpan> rows = TileSpans(printH, g.AreaHeightMm, overlap, g.Rows, g.PageHeightMm / 5,
                                               top - clear, bottom + clear, c.CellMm);

  doc.Title = "Anamorphosis print";
  doc.Creator = "anamorfosi";
  doc.Subject = c.SceneJson;
  // A fixed date rather than the moment of writing: the same scene on the same day gives the same file.
  doc.Date = c.Date;
  auto page = [&](std::string label) -> Canvas {
    doc.Pages.push_back(PdfPage{g.PageWidthMm, g.PageHeightMm, std::move(label), {}});
    return Canvas(doc.Pages.back().Ops);
  };
  const std::string grid = std::to_string(g.Columns) + " x " + std::to_string(g.Rows);

  if (c.PlainGrid != nullptr && c.PlainGrid->Width > 0 && c.PlainGrid->Height > 0) {
    // The square grid to draw on, as large as the page allows.
    Canvas cv = page("grid");
    cv.Colour(0, 0, 0);
    cv.Text(m, m + 5, 4.2, "Draw your picture on this grid, then copy it square by square onto the print.", true);
    const double gridTop = m + 10, areaH = g.PageHeightMm - m - kFooterMm - gridTop - 2;
    const Picture& plain = *c.PlainGrid;
    const double side = std::min(g.AreaWidthMm / plain.Width, areaH / plain.Height);  // mm a pixel
    cv.Add(pdf::Image{pdf::Source::kGrid, 0, plain.Width, 0, plain.Height, 1, m, gridTop, side, false});
    Footer(cv, g, m, c.Title);
  }

  if (tiled) {
    // The assembly page: the whole print reduced, the tiles over it, and the title block.
    Canvas cv = page("assembly");
    double y = m + 5;
    cv.Colour(0, 0, 0);
    cv.Text(m, y, 4.2, "Assembly: " + grid + " tiles, print " + size, true);
    for (const std::string& l : c.Title) cv.Text(m, y += 5, 3, l);
    const double previewTop = y + 6, areaH = g.PageHeightMm - m - kFooterMm - previewTop - 2;
    const double scale = std::min(g.AreaWidthMm / printW, areaH / printH);
    // About eight preview pixels a millimetre of the page: a preview, not the print.
    const int reduce = std::max(1, static_cast<int>(std::floor(1 / (scale * c.CellMm * 8))));
    cv.Add(pdf::Save{});
    cv.Add(pdf::Translate{m, previewTop});
    cv.Add(pdf::Scale{scale});
    cv.Add(pdf::Image{pdf::Source::kPrint, 0, cells.Width, 0, cells.Height, reduce, 0, 0, c.CellMm * reduce, false});
    cv.Colour(0.2, 0.2, 0.2);
    cv.Width(0.2 / scale);
    cv.Add(pdf::Rectangle{0, 0, printW, printH});
    PrintMarks(cv, c, printW, printH, scale);
    cv.Colour(0.1, 0.3, 0.8);
    for (int r = 0; r < g.Rows; ++r) {
      for (int col = 0; col < g.Columns; ++col) {
        const double x0 = columns[col].From, y0 = rows[r].From;
        const double w = columns[col].To - x0, h = rows[r].To - y0;
        cv.Width(0.35 / scale);
        cv.Add(pdf::Rectangle{x0, y0, w, h});
        cv.Text(x0 + 3 / scale, y0 + 8 / scale, 6 / scale, TileLabel(r, col), true);
      }
    }
    cv.Add(pdf::Restore{});
    std::vector<std::string> lines = {"Assembly page: tiles in rows A, B, ... and columns 1, 2, ...",
                                      "Each tile overlaps its neighbours by " + Fixed(overlap, 0) +
                                          " mm; match the crosses."};
    lines.insert(lines.end(), c.Placement.begin(), c.Placement.end());
    Footer(cv, g, m, lines);
  }

  for (int r = 0; r < g.Rows; ++r) {
    for (int col = 0; col < g.Columns; ++col) {
      const std::string label = TileLabel(r, col);
      Canvas cv = page(tiled ? label : "print");
      // The part of the print this tile holds, in the print's millimetres.
      const double x0 = columns[col].From, y0 = rows[r].From;
      const double x1 = columns[col].To, y1 = rows[r].To;
      // A tile that starts on a cell boundary, up to rounding, starts with that cell.
      const int c0 = std::max(0, static_cast<int>(std::floor(x0 / c.CellMm + 1e-6)));
      const int c1 = std::min(cells.Width, static_cast<int>(std::ceil(x1 / c.CellMm)));
      const int r0 = std::max(0, static_cast<int>(std::floor(y0 / c.CellMm + 1e-6)));
      const int r1 = std::min(cells.Height, static_cast<int>(std::ceil(y1 / c.CellMm)));
      cv.Add(pdf::Save{});
      cv.Add(pdf::Clip{m, m, x1 - x0, y1 - y0});
      // Print millimetre (x, y) lands at (m + x - x0, m + y - y0) on the page.
      cv.Add(pdf::Translate{m - x0, m - y0});
      // Cells stay cells: no smoothing by the viewer or the printer driver.
      cv.Add(pdf::Image{pdf::Source::kPrint, c0, c1, r0, r1, 1, c0 * c.CellMm, r0 * c.CellMm, c.CellMm, true});
      PrintMarks(cv, c, printW, printH, 1);
      // Overlaps with the right and lower neighbours: a dashed cut line in the
      // middle of the strip and registration crosses on it, at the same print
      // places on both tiles.
      cv.Colour(0.1, 0.3, 0.8);
      cv.Width(0.2);
      auto strip = [&](bool vertical, double at, double from, double to) {
        cv.Add(pdf::Dash{{2, 1.5}});
        if (vertical)
          cv.Line(at, from, at, to);
        else
          cv.Line(from, at, to, at);
        cv.Add(pdf::Dash{});
        for (const double k : {0.2, 0.5, 0.8}) {
          const double p = from + (to - from) * k;
          if (vertical)
            cv.Cross(at, p, 3);
          else
            cv.Cross(p, at, 3);
        }
      };
      if (col + 1 < g.Columns) strip(true, x1 - overlap / 2, y0, y1);
      if (col > 0) strip(true, x0 + overlap / 2, y0, y1);
      if (r + 1 < g.Rows) strip(false, y1 - overlap / 2, x0, x1);
      if (r > 0) strip(false, y0 + overlap / 2, x0, x1);
      cv.Add(pdf::Restore{});

      std::vector<std::string> lines;
      if (tiled) {
        std::string around;
        if (col > 0) around += "left " + TileLabel(r, col - 1) + "  ";
        if (col + 1 < g.Columns) around += "right " + TileLabel(r, col + 1) + "  ";
        if (r > 0) around += "above " + TileLabel(r - 1, col) + "  ";
        if (r + 1 < g.Rows) around += "below " + TileLabel(r + 1, col);
        lines.push_back("Tile " + label + " of " + grid + "; " + around);
        lines.push_back("Cut on a dashed line, glue over the neighbour's strip,");
        lines.push_back("the crosses on each other.");
      } else {
        lines = c.Title;
      }
      lines.insert(lines.end(), c.Placement.begin(), c.Placement.end());
      lines.push_back("Print " + size + ".");
      Footer(cv, g, m, lines);
    }
  }
  return doc;
}

namespace {

struct OpJson {
  nlohmann::json operator()(const pdf::Save&) const { return {{"op", "save"}}; }
  nlohmann::json operator()(const pdf::Restore&) const { return {{"op", "restore"}}; }
  nlohmann::json operator()(const pdf::Translate& t) const { return {{"op", "translate"}, {"x", t.X}, {"y", t.Y}}; }
  nlohmann::json operator()(const pdf::Scale& s) const { return {{"op", "scale"}, {"factor", s.Factor}}; }
  nlohmann::json operator()(const pdf::Clip& r) const {
    return {{"op", "clip"}, {"x", r.X}, {"y", r.Y}, {"width", r.Width}, {"height", r.Height}};
  }
  nlohmann::json operator()(const pdf::Colour& c) const { return {{"op", "colour"}, {"rgb", {c.R, c.G, c.B}}}; }
  nlohmann::json operator()(const pdf::LineWidth& w) const { return {{"op", "line_width"}, {"mm", w.Mm}}; }
  nlohmann::json operator()(const pdf::Dash& d) const { return {{"op", "dash"}, {"mm", d.Mm}}; }
  nlohmann::json operator()(const pdf::Line& l) const {
    return {{"op", "line"}, {"x0", l.X0}, {"y0", l.Y0}, {"x1", l.X1}, {"y1", l.Y1}};
  }
  nlohmann::json operator()(const pdf::Rectangle& r) const {
    return {{"op", "rectangle"}, {"x", r.X}, {"y", r.Y}, {"width", r.Width}, {"height", r.Height}};
  }
  nlohmann::json operator()(const pdf::Circle& c) const {
    return {{"op", "circle"}, {"x", c.X}, {"y", c.Y}, {"radius", c.Radius}};
  }
  nlohmann::json operator()(const pdf::Polygon& p) const { return {{"op", "polygon"}, {"points", p.Points}}; }
  nlohmann::json operator()(const pdf::Text& t) const {
    return {{"op", "text"}, {"x", t.X}, {"y", t.Y}, {"size_mm", t.SizeMm}, {"bold", t.Bold}, {"text", t.Value}};
  }
  nlohmann::json operator()(const pdf::Label& t) const {
    return {{"op", "label"}, {"x", t.X}, {"y", t.Y}, {"size_mm", t.SizeMm}, {"text", t.Value}};
  }
  nlohmann::json operator()(const pdf::Image& i) const {
    return {{"op", "image"},
            {"source", i.Of == pdf::Source::kGrid ? "grid" : "print"},
            {"cells", {i.Column0, i.Row0, i.Column1, i.Row1}},
            {"step", i.Step},
            {"x", i.X},
            {"y", i.Y},
            {"pixel_mm", i.PixelMm},
            {"nearest", i.Nearest}};
  }
};

}  // namespace

std::string PdfDocumentJson(const PdfDocument& d) {
  nlohmann::json pages = nlohmann::json::array();
  for (const PdfPage& p : d.Pages) {
    nlohmann::json ops = nlohmann::json::array();
    for (const pdf::Op& op : p.Ops) ops.push_back(std::visit(OpJson{}, op));
    pages.push_back({{"width_mm", p.WidthMm}, {"height_mm", p.HeightMm}, {"label", p.Label}, {"ops", std::move(ops)}});
  }
  const nlohmann::json doc = {{"title", d.Title},   {"creator", d.Creator}, {"subject", d.Subject},
                              {"date", d.Date},     {"pages", std::move(pages)}};
  // Invalid UTF-8 in a title line (a picture's file name) becomes U+FFFD rather than an exception.
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace anamorfosi
