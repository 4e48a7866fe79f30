#include "layout/grid_picture.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace anamorfosi {

namespace {

// Cairo's image surfaces refuse larger sides.
constexpr long long kMaxCairoSide = 32767;

// 24 letters: I and O look like 1 and 0 once a print stretches them.
constexpr char kColumnLetters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
constexpr int kLetterCount = sizeof(kColumnLetters) - 1;

// A bold sans face, so the strokes survive the resampling of the distorted print.
constexpr const char* kLabelFamily = "DejaVu Sans";

// Thin lines dark grey, heavy ones black, labels a saturated blue: told apart
// from the lines and from a pencil drawing, dark enough when a print thins them.
constexpr double kThinGrey = 64.0 / 255;
constexpr double kLabelRed = 20.0 / 255, kLabelGreen = 70.0 / 255, kLabelBlue = 200.0 / 255;

struct Span {
  int Begin = 0, End = 0;  // pixels [Begin, End)
};

struct Lines {
  int Thin = 1, Heavy = 3;
  std::vector<Span> Spans;  // one per boundary, 0 .. cells
  std::vector<bool> IsHeavy;
};

// The pixels of the line on every boundary along one side; the border lines lie
// wholly inside the picture, the inner ones straddle their boundary.
Lines LinesAlong(int cells, int cellPixels) {
  Lines lines;
  lines.Thin = std::max(1, (cellPixels + 20) / 40);
  lines.Heavy = 3 * lines.Thin;
  for (int k = 0; k <= cells; ++k) {
    const bool heavy = k == 0 || k == cells || k % kHeavyGridEvery == 0;
    const int width = heavy ? lines.Heavy : lines.Thin;
    Span span;
    if (k == 0) {
      span = {0, width};
    } else if (k == cells) {
      span = {cells * cellPixels - width, cells * cellPixels};
    } else {
      span.Begin = k * cellPixels - width / 2;
      span.End = span.Begin + width;
    }
    lines.Spans.push_back(span);
    lines.IsHeavy.push_back(heavy);
  }
  return lines;
}

// The narrowest paper between two lines along one side.
int NarrowestGap(const Lines& lines) {
  int narrowest = 1 << 30;
  for (std::size_t k = 0; k + 1 < lines.Spans.size(); ++k)
    narrowest = std::min(narrowest, lines.Spans[k + 1].Begin - lines.Spans[k].End);
  return narrowest;
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;
using FontOptions = std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)>;

void Check(cairo_status_t status) {
  if (status != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error(std::string("grid picture: cairo: ") + cairo_status_to_string(status));
}

// Grey antialiasing without hinting: no colour fringes, no dependence on the
// machine's font settings, extents that scale with the size.
void SetLabelFont(cairo_t* cr) {
  cairo_select_font_face(cr, kLabelFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  FontOptions options(cairo_font_options_create(), &cairo_font_options_destroy);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options.get());
  Check(cairo_status(cr));
}

// What the labels need at the current font size, all on one baseline set
// half a capital height below the cell's centre: the widest ink, and the
// farthest any ink reaches above or below that centre.
struct LabelNeeds {
  double Width = 0, HalfHeight = 0, CapHeight = 0;
};
LabelNeeds MeasureLabels(cairo_t* cr, int columns, int rows) {
  LabelNeeds needs;
  cairo_text_extents_t ink;
  cairo_text_extents(cr, "H", &ink);
  needs.CapHeight = -ink.y_bearing;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      cairo_text_extents(cr, GridCellLabel(column, row).c_str(), &ink);
      const double top = needs.CapHeight / 2 + ink.y_bearing, bottom = top + ink.height;
      needs.Width = std::max(needs.Width, ink.width);
      needs.HalfHeight = std::max({needs.HalfHeight, -top, bottom});
    }
  }
  return needs;
}

}  // namespace

std::string GridCellLabel(int column, int row) {
  if (column < 0 || column >= kMaxGridCells || row < 0 || row >= kMaxGridCells)
    throw std::invalid_argument("grid cell out of range");
  std::string label;
  if (column < kLetterCount) {
    label = kColumnLetters[column];
  } else {
    const int pair = column - kLetterCount;
    label = {kColumnLetters[pair / kLetterCount], kColumnLetters[pair % kLetterCount]};
  }
  return label + std::to_string(row + 1);
}

Picture MakeGridPicture(int columns, int rows, int cellPixels) {
  if (columns < 1 || columns > kMaxGridCells || rows < 1 || rows > kMaxGridCells)
    throw std::invalid_argument("grid picture: columns and rows must be 1 to " + std::to_string(kMaxGridCells));
  if (cellPixels < kMinGridCellPixels)
    throw std::invalid_argument("grid picture: cells must be at least " + std::to_string(kMinGridCellPixels) +
                                " pixels");
  const long long width = static_cast<long long>(columns) * cellPixels;
  const long long height = static_cast<long long>(rows) * cellPixels;
  if (width > kMaxCairoSide || height > kMaxCairoSide || !WithinLimits(width, height, PictureLimits{}))
    throw std::invalid_argument("grid picture: too large");

  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height)),
                  &cairo_surface_destroy);
  Check(cairo_surface_status(surface.get()));
  Context context(cairo_create(surface.get()), &cairo_destroy);
  cairo_t* cr = context.get();
  Check(cairo_status(cr));

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // Whole-pixel rectangles, so every line is crisp; heavy ones over thin ones.
  const Lines across = LinesAlong(columns, cellPixels);
  const Lines down = LinesAlong(rows, cellPixels);
  for (bool heavyPass : {false, true}) {
    if (heavyPass)
      cairo_set_source_rgb(cr, 0, 0, 0);
    else
      cairo_set_source_rgb(cr, kThinGrey, kThinGrey, kThinGrey);
    for (std::size_t k = 0; k < across.Spans.size(); ++k)
      if (across.IsHeavy[k] == heavyPass)
        cairo_rectangle(cr, across.Spans[k].Begin, 0, across.Spans[k].End - across.Spans[k].Begin,
                        static_cast<double>(height));
    for (std::size_t k = 0; k < down.Spans.size(); ++k)
      if (down.IsHeavy[k] == heavyPass)
        cairo_rectangle(cr, 0, down.Spans[k].Begin, static_cast<double>(width),
                        down.Spans[k].End - down.Spans[k].Begin);
    cairo_fill(cr);
  }

  // One size for every label, the largest at which all fit the narrowest cell
  // with a margin of paper; one baseline, so a J hangs below like in print.
  SetLabelFont(cr);
  const int gapX = NarrowestGap(across), gapY = NarrowestGap(down);
  const double roomX = gapX - 2.0 * std::max(1, gapX / 10);
  const double roomY = gapY - 2.0 * std::max(1, gapY / 10);
  constexpr double kTrialSize = 100;
  cairo_set_font_size(cr, kTrialSize);
  LabelNeeds needs = MeasureLabels(cr, columns, rows);
  if (needs.Width <= 0 || needs.CapHeight <= 0) throw std::runtime_error("grid picture: no font draws the labels");
  double size = kTrialSize * std::min(roomX / needs.Width, roomY / 2 / needs.HalfHeight);
  for (int attempt = 0; attempt < 20; ++attempt) {
    cairo_set_font_size(cr, size);
    needs = MeasureLabels(cr, columns, rows);
    if (needs.Width <= roomX && needs.HalfHeight <= roomY / 2) break;
    size *= 0.97;
  }

  cairo_set_source_rgb(cr, kLabelRed, kLabelGreen, kLabelBlue);
  for (int row = 0; row < rows; ++row) {
    const double baseline = (down.Spans[row].End + down.Spans[row + 1].Begin) / 2.0 + needs.CapHeight / 2;
    for (int column = 0; column < columns; ++column) {
      const double centreX = (across.Spans[column].End + across.Spans[column + 1].Begin) / 2.0;
      const std::string label = GridCellLabel(column, row);
      cairo_text_extents_t ink;
      cairo_text_extents(cr, label.c_str(), &ink);
      cairo_move_to(cr, centreX - ink.x_bearing - ink.width / 2, baseline);
      cairo_show_text(cr, label.c_str());
    }
  }
  Check(cairo_status(cr));
  cairo_surface_flush(surface.get());

  Picture picture;
  picture.Width = static_cast<int>(width);
  picture.Height = static_cast<int>(height);
  picture.Rgb.resize(static_cast<std::size_t>(width * height * 3));
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  std::uint8_t* out = picture.Rgb.data();
  for (int y = 0; y < picture.Height; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      std::uint32_t pixel;  // 0x00RRGGBB in the machine's byte order
      std::memcpy(&pixel, data + static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(x), 4);
      *out++ = static_cast<std::uint8_t>(pixel >> 16);
      *out++ = static_cast<std::uint8_t>(pixel >> 8);
      *out++ = static_cast<std::uint8_t>(pixel);
    }
  }
  return picture;
}

}  // namespace anamorfosi
