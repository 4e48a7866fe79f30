#include "layout/print_pdf.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace anamorfosi {

namespace {

// Cairo's PDF unit is the point, 1/72 in.
constexpr double kPointsPerMm = 72.0 / 25.4;
double Pt(double mm) { return mm * kPointsPerMm; }

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                   : CAIRO_STATUS_WRITE_ERROR;
}

// An image operation's pixels as a cairo image.
Surface CellImage(const Picture& p, const pdf::Image& op) {
  const int step = op.Step;
  const int w = (op.Column1 - op.Column0 + step - 1) / step, h = (op.Row1 - op.Row0 + step - 1) / step;
  const std::vector<std::uint8_t> rgb = ReducedCells(p, op.Column0, op.Column1, op.Row0, op.Row1, step);
  Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(w, 1), std::max(h, 1)));
  cairo_surface_flush(s.get());
  unsigned char* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* px = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      row[x] = std::uint32_t{px[0]} << 16 | std::uint32_t{px[1]} << 8 | px[2];
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

void Text(cairo_t* cr, double xMm, double yMm, double sizeMm, const std::string& text, bool bold) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, Pt(sizeMm));
  cairo_move_to(cr, Pt(xMm), Pt(yMm));
  cairo_show_text(cr, text.c_str());
}

// The operations of one page drawn on cairo's context.
struct CairoDraw {
  cairo_t* cr;
  const PdfContent& content;

  void operator()(const pdf::Save&) const { cairo_save(cr); }
  void operator()(const pdf::Restore&) const { cairo_restore(cr); }
  void operator()(const pdf::Translate& t) const { cairo_translate(cr, Pt(t.X), Pt(t.Y)); }
  void operator()(const pdf::Scale& s) const { cairo_scale(cr, s.Factor, s.Factor); }
  void operator()(const pdf::Clip& r) const {
    cairo_rectangle(cr, Pt(r.X), Pt(r.Y), Pt(r.Width), Pt(r.Height));
    cairo_clip(cr);
  }
  void operator()(const pdf::Colour& c) const { cairo_set_source_rgb(cr, c.R, c.G, c.B); }
  void operator()(const pdf::LineWidth& w) const { cairo_set_line_width(cr, Pt(w.Mm)); }
  void operator()(const pdf::Dash& d) const {
    std::vector<double> points;
    for (const double mm : d.Mm) points.push_back(Pt(mm));
    cairo_set_dash(cr, points.empty() ? nullptr : points.data(), static_cast<int>(points.size()), 0);
  }
  void operator()(const pdf::Line& l) const {
    cairo_move_to(cr, Pt(l.X0), Pt(l.Y0));
    cairo_line_to(cr, Pt(l.X1), Pt(l.Y1));
    cairo_stroke(cr);
  }
  void operator()(const pdf::Rectangle& r) const {
    cairo_rectangle(cr, Pt(r.X), Pt(r.Y), Pt(r.Width), Pt(r.Height));
    cairo_stroke(cr);
  }
  void operator()(const pdf::Circle& c) const {
    cairo_new_sub_path(cr);
    cairo_arc(cr, Pt(c.X), Pt(c.Y), Pt(c.Radius), 0, 2 * M_PI);
    cairo_stroke(cr);
  }
  void operator()(const pdf::Polygon& p) const {
    for (std::size_t k = 0; k < p.Points.size(); ++k) {
      if (k == 0)
        cairo_move_to(cr, Pt(p.Points[k][0]), Pt(p.Points[k][1]));
      else
        cairo_line_to(cr, Pt(p.Points[k][0]), Pt(p.Points[k][1]));
    }
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  void operator()(const pdf::Text& t) const { Text(cr, t.X, t.Y, t.SizeMm, t.Value, t.Bold); }
  // Text on a white ground, so that it reads over the print's colours; the
  // current colour is kept for the text.
  void operator()(const pdf::Label& t) const {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, Pt(t.SizeMm));
    cairo_text_extents_t e;
    cairo_text_extents(cr, t.Value.c_str(), &e);
    cairo_pattern_t* colour = cairo_pattern_reference(cairo_get_source(cr));
    const double pad = Pt(t.SizeMm * 0.25);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, Pt(t.X) + e.x_bearing - pad, Pt(t.Y) + e.y_bearing - pad, e.width + 2 * pad, e.height + 2 * pad);
    cairo_fill(cr);
    cairo_set_source(cr, colour);
    cairo_pattern_destroy(colour);
    Text(cr, t.X, t.Y, t.SizeMm, t.Value, false);
  }
  void operator()(const pdf::Image& i) const {
    const Picture* picture = i.Of == pdf::Source::kGrid ? content.PlainGrid : content.Cells;
    Surface image = CellImage(*picture, i);
    cairo_save(cr);
    cairo_translate(cr, Pt(i.X), Pt(i.Y));
    cairo_scale(cr, Pt(i.PixelMm), Pt(i.PixelMm));
    cairo_set_source_surface(cr, image.get(), 0, 0);
    if (i.Nearest) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
  }
};

}  // namespace

PageGrid WritePrintPdf(const PdfContent& c, const PdfOptions& o, const std::string& path) {
  const PdfDocument doc = LayOutPrintPdf(c, o);
  static std::atomic<unsigned> serial{0};
  const std::string temp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
  std::FILE* file = std::fopen(temp.c_str(), "wbx");
  if (file == nullptr) throw PdfError(path + ": cannot be written (" + std::strerror(errno) + ")");
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  {
    const double firstW = doc.Pages.empty() ? 0 : doc.Pages.front().WidthMm;
    const double firstH = doc.Pages.empty() ? 0 : doc.Pages.front().HeightMm;
    Surface pdf(cairo_pdf_surface_create_for_stream(WriteToFile, file, Pt(firstW), Pt(firstH)));
    cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_TITLE, doc.Title.c_str());
    cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_CREATOR, doc.Creator.c_str());
    cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_SUBJECT, doc.Subject.c_str());
    cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_CREATE_DATE, doc.Date.c_str());
    cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_MOD_DATE, doc.Date.c_str());
    Context cr(cairo_create(pdf.get()));
    double width = firstW, height = firstH;
    for (const PdfPage& page : doc.Pages) {
      // A page of another size than the one before it says so before its first mark.
      if (page.WidthMm != width || page.HeightMm != height) {
        cairo_pdf_surface_set_size(pdf.get(), Pt(page.WidthMm), Pt(page.HeightMm));
        width = page.WidthMm;
        height = page.HeightMm;
      }
      cairo_pdf_surface_set_page_label(pdf.get(), page.Label.c_str());
      const CairoDraw draw{cr.get(), c};
      for (const pdf::Op& op : page.Ops) std::visit(draw, op);
      cairo_show_page(cr.get());
    }
    cairo_surface_finish(pdf.get());
    status = cairo_surface_status(pdf.get());
  }
  const bool closed = std::fclose(file) == 0;
  std::error_code ec;
  if (status == CAIRO_STATUS_SUCCESS && closed) {
    std::filesystem::rename(temp, path, ec);
    if (!ec) return doc.Grid;
  }
  std::remove(temp.c_str());
  throw PdfError(path + ": cannot be written (" +
                 (status != CAIRO_STATUS_SUCCESS ? std::string(cairo_status_to_string(status)) : ec ? ec.message() : "write failed") + ")");
}

}  // namespace anamorfosi
