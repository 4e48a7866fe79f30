// The print's PDF laid out once, without drawing it: the pages a print needs
// on a chosen paper (tiles with overlaps, cut lines and registration crosses,
// an assembly page before them, the mirror's footprint, the eye's arrow, the
// rulers and the title block), each page a list of plain drawing operations in
// millimetres. The command draws them with cairo (print_pdf.h); the page in
// the browser draws their JSON with its own PDF library (site/src/pdf_draw.js).
// No file, no process, no thread: it compiles for the browser's module.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "picture/picture.h"

namespace anamorfosi {

// A paper, in millimetres; None: one page of the print's own size (with its margins).
struct Paper {
  std::string Name;
  double WidthMm = 210, HeightMm = 297;  // portrait
  bool None = false;
};
// "A4", "A3", "A2", "Letter", "Legal", "Tabloid" (any case), "none", or
// "WxH" in mm ("300x400") or in inches ("11x17in"); nothing for anything else.
std::optional<Paper> ParsePaper(const std::string& text);

enum class PageOrientation { kAuto, kPortrait, kLandscape };

// How the print is cut into pages.
struct PageGrid {
  double PageWidthMm = 0, PageHeightMm = 0;  // as printed (landscape swapped)
  bool Landscape = false;
  double AreaWidthMm = 0, AreaHeightMm = 0;  // where a tile's cells go
  int Columns = 1, Rows = 1;                 // tiles
  int Pages() const { return Columns * Rows + (Columns * Rows > 1 ? 1 : 0); }
};

// The tiles of a print of the given size: the orientation giving the fewest
// pages (portrait on a tie) unless one is asked for. Tiles overlap by
// overlapMm. Throws std::invalid_argument when the margins leave no room.
PageGrid PlanPages(double printWidthMm, double printHeightMm, const Paper& paper, double marginMm, double overlapMm,
                   PageOrientation orientation);

// The named papers, smallest first by area: Letter, A4, Legal, Tabloid, A3, A2.
std::vector<Paper> StandardPapers();

// The stretch of the print one column (or row) of tiles holds, in millimetres
// along the print.
struct TileSpan {
  double From = 0, To = 0;
};

// How count tiles, each at most area long and overlapping the next by exactly
// overlap, cover a print of the given length: spread evenly, so that none is a
// thin strip, then shifted (when that is possible with every tile between
// minTile and area long) so that no cut line, in the middle of an overlap,
// crosses the stretch [avoidFrom, avoidTo] where the mirror stands. Tile
// starts are put on whole cells of cellMm where that keeps every tile within
// area.
std::vector<TileSpan> TileSpans(double length, double area, double overlap, int count, double minTile,
                                double avoidFrom, double avoidTo, double cellMm);

// Tile label: row letter and column number, "A1" top-left, "B2" below and right of it.
std::string TileLabel(int row, int column);

// The mirror's place on the sheet, in millimetres from the print's top-left
// corner (x right, y down).
struct SheetFootprint {
  bool Circle = false;
  double CentreX = 0, CentreY = 0, Radius = 0;
  struct Segment {
    double X0, Y0, X1, Y1;
  };
  std::vector<Segment> Segments;
  std::string Label;  // "cylinder, diameter 50.0 mm"
};

// The eye, in the same frame: its plan position and its height above the sheet.
struct SheetEye {
  double X = 0, Y = 0, HeightMm = 0;
  std::string Label;  // "eye: 300.0 mm from the axis, 250.0 mm up, 39.8 degrees down"
};

struct PdfContent {
  const Picture* Cells = nullptr;  // the print, row-major RGB
  double CellMm = 0;               // side of one cell on paper
  SheetFootprint Footprint;
  bool HasEye = false;
  SheetEye Eye;
  std::vector<std::string> Title;  // lines of the title block (picture, mirror, eye, units, dpi, date)
  std::string SceneJson;           // kept in the document's metadata
  std::string Date;                // "2026-12-08": the title block's and the metadata's
  // A grid to draw by hand: its plain, square form on a page of its own first.
  const Picture* PlainGrid = nullptr;
  // How to stand the mirror and where to look from (PlacementLines), on the
  // print's page, on each tile and on the assembly page; none: not drawn.
  std::vector<std::string> Placement;
};

// The middle of a mirror's footprint: the circle's centre, or the middle of
// the box of its outline's segments (the centre given when it has none). For
// a footprint in any frame: the sheet's here, in mm, or the pipeline's, in the
// scene's units (pipeline/print.h), whose members are named alike.
template <class AnyFootprint>
std::pair<decltype(AnyFootprint::CentreX), decltype(AnyFootprint::CentreX)> FootprintMiddle(const AnyFootprint& f) {
  if (f.Circle || f.Segments.empty()) return {f.CentreX, f.CentreY};
  auto left = f.Segments[0].X0, right = left, top = f.Segments[0].Y0, bottom = top;
  for (const auto& s : f.Segments) {
    left = std::min({left, s.X0, s.X1});
    right = std::max({right, s.X0, s.X1});
    top = std::min({top, s.Y0, s.Y1});
    bottom = std::max({bottom, s.Y0, s.Y1});
  }
  return {(left + right) / 2, (top + bottom) / 2};
}

// Where the mirror stands and the eye is, for the placing instructions: the
// eye's distance in plan from the footprint's middle (the circle's centre, or
// the middle of the outline's box) and its height above the sheet.
struct Placement {
  bool Circle = false;  // the footprint is a circle, else an outline
  bool HasEye = false;
  double DistanceMm = 0, HeightMm = 0;
};
// Nothing for a print without a footprint.
std::optional<Placement> PlacementOf(const SheetFootprint& footprint, bool hasEye, const SheetEye& eye);

// The placing instructions in plain words: {"Stand the mirror on the circle;",
// "look from 40 cm in front, 33 cm up, along the arrow."}.
std::vector<std::string> PlacementLines(const Placement& placement);

struct PdfOptions {
  Paper PaperSize;
  double MarginMm = 10;
  double OverlapMm = 10;
  PageOrientation Orientation = PageOrientation::kAuto;
};

class PdfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The drawing operations of a page. Lengths are millimetres of the current
// frame: the page's, from its top-left corner (x right, y down), until a
// Translate or a Scale moves it; Save and Restore keep and bring back the
// frame, the clip, the colour, the line width and the dash.
namespace pdf {
struct Save {};
struct Restore {};
struct Translate {
  double X = 0, Y = 0;
};
struct Scale {
  double Factor = 1;
};
// Drawing after it shows only inside this rectangle, until the Restore.
struct Clip {
  double X = 0, Y = 0, Width = 0, Height = 0;
};
// The colour of the strokes, fills and text that follow, 0 to 1.
struct Colour {
  double R = 0, G = 0, B = 0;
};
struct LineWidth {
  double Mm = 0;
};
// Dashes and gaps in turn, from the start of each line; none: solid.
struct Dash {
  std::vector<double> Mm;
};
// Stroked.
struct Line {
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};
struct Rectangle {
  double X = 0, Y = 0, Width = 0, Height = 0;
};
struct Circle {
  double X = 0, Y = 0, Radius = 0;
};
// Filled, closed.
struct Polygon {
  std::vector<std::array<double, 2>> Points;
};
// DejaVu Sans (Book or Bold) of the given em size, its baseline starting at
// (X, Y), no kerning: each backend measures the glyphs' advances from the
// same font, so both set the text alike.
struct Text {
  double X = 0, Y = 0, SizeMm = 0;
  bool Bold = false;
  std::string Value;
};
// Book text over a white box: the box is the text's ink extents, as the
// backend measures them with the font, grown by a quarter of the size each side.
struct Label {
  double X = 0, Y = 0, SizeMm = 0;
  std::string Value;
};
// Cells [Column0, Column1) x [Row0, Row1) of a picture, each Step x Step block
// one image pixel (ReducedCells), its top-left corner at (X, Y), each image
// pixel PixelMm square. Nearest: the viewer must not smooth them.
enum class Source { kPrint, kGrid };
struct Image {
  Source Of = Source::kPrint;
  int Column0 = 0, Column1 = 0, Row0 = 0, Row1 = 0, Step = 1;
  double X = 0, Y = 0, PixelMm = 0;
  bool Nearest = false;
};
using Op = std::variant<Save, Restore, Translate, Scale, Clip, Colour, LineWidth, Dash, Line, Rectangle, Circle,
                        Polygon, Text, Label, Image>;
}  // namespace pdf

struct PdfPage {
  double WidthMm = 0, HeightMm = 0;
  std::string Label;  // "grid", "assembly", "A1", ... or "print"
  std::vector<pdf::Op> Ops;
};

// The document: its metadata and its pages, in order.
struct PdfDocument {
  std::string Title, Creator, Subject, Date;  // Subject: the scene's JSON; Date: "2026-12-08"
  PageGrid Grid;
  std::vector<PdfPage> Pages;
};

// The pages of the print's PDF. Throws PdfError for a print without cells or a
// paper that leaves no room.
PdfDocument LayOutPrintPdf(const PdfContent& content, const PdfOptions& options);

// The image pixels of cells [c0, c1) x [r0, r1) of a picture, row-major RGB,
// each the mean of its step x step block (rounded to the nearest level; a
// block cut by the edge averages the cells it has).
std::vector<std::uint8_t> ReducedCells(const Picture& picture, int c0, int c1, int r0, int r1, int step);

// The document as JSON for the browser: {"title", "creator", "subject",
// "date", "pages": [{"width_mm", "height_mm", "label", "ops": [{"op": ...}]}]}.
std::string PdfDocumentJson(const PdfDocument& document);

}  // namespace anamorfosi
