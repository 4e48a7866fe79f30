// The print as a PDF a user can trust: the cells embedded at their exact
// physical size (nothing resampled) on pages of a chosen paper, tiled with
// overlaps, cut lines and registration crosses when the print is larger than a
// page, an assembly page before the tiles, the mirror's footprint as a vector
// line with its size, an arrow toward the eye, a 100 mm and a 4 in ruler on
// every page, and a title block. Written through cairo, atomically.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "picture/picture.h"

// A paper, in millimetres; None: one page of the print's own size (with its margins).

namespace anamorfosi {
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
};

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

// Writes the PDF under a temporary name beside path and renames it into place;
// nothing is left on failure. Answers the page grid used. Throws PdfError.
PageGrid WritePrintPdf(const PdfContent& content, const PdfOptions& options, const std::string& path);

}  // namespace anamorfosi
