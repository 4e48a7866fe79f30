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

// A bold sans face, so the strokes survive the resampling of the distorted print.
constexpr const char* kLabelFamily = "DejaVu Sans";

void SetRgb(cairo_t* cr, const GridColour& c) { cairo_set_source_rgb(cr, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0); }

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

// What the labels need at the current font size, each on its baseline half a
// capital height below its cell's centre.
GridLabelNeeds MeasureLabels(cairo_t* cr, const GridLayout& layout) {
  GridLabelNeeds needs;
  cairo_text_extents_t ink;
  cairo_text_extents(cr, "H", &ink);
  needs.CapHeight = -ink.y_bearing;
  for (const GridLabel& label : layout.Labels) {
    cairo_text_extents(cr, label.Text.c_str(), &ink);
    const double top = needs.CapHeight / 2 + ink.y_bearing, bottom = top + ink.height;
    needs.Width = std::max(needs.Width, ink.width);
    needs.HalfHeight = std::max({needs.HalfHeight, -top, bottom});
  }
  return needs;
}

}  // namespace

Picture MakeGridPicture(int columns, int rows, int cellPixels) {
  const GridLayout layout = LayOutGrid(columns, rows, cellPixels, kMaxCairoSide);
  const int width = layout.Width, height = layout.Height;
  if (!WithinLimits(width, height, PictureLimits{})) throw std::invalid_argument("grid picture: too large");

  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                  &cairo_surface_destroy);
  Check(cairo_surface_status(surface.get()));
  Context context(cairo_create(surface.get()), &cairo_destroy);
  cairo_t* cr = context.get();
  Check(cairo_status(cr));

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // Whole-pixel rectangles, so every line is crisp; heavy ones over thin ones.
  for (bool heavyPass : {false, true}) {
    SetRgb(cr, heavyPass ? layout.Heavy : layout.Thin);
    for (const GridRectangle& r : layout.Lines)
      if (r.Heavy == heavyPass) cairo_rectangle(cr, r.X, r.Y, r.Width, r.Height);
    cairo_fill(cr);
  }

  SetLabelFont(cr);
  GridLabelNeeds needs;
  const double size = GridLabelSize(
      layout,
      [cr, &layout](double trial) {
        cairo_set_font_size(cr, trial);
        return MeasureLabels(cr, layout);
      },
      &needs);
  cairo_set_font_size(cr, size);

  SetRgb(cr, layout.Ink);
  for (const GridLabel& label : layout.Labels) {
    cairo_text_extents_t ink;
    cairo_text_extents(cr, label.Text.c_str(), &ink);
    cairo_move_to(cr, label.CentreX - ink.x_bearing - ink.width / 2, label.CentreY + needs.CapHeight / 2);
    cairo_show_text(cr, label.Text.c_str());
  }
  Check(cairo_status(cr));
  cairo_surface_flush(surface.get());

  Picture picture;
  picture.Width = width;
  picture.Height = height;
  picture.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
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
