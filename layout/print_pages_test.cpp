#include "layout/print_pages.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <nlohmann/json.hpp>

namespace anamorfosi {

namespace {

// A page's operations with every frame resolved: positions and lengths in the
// page's millimetres.
struct Flat {
  struct Stroke {
    double X0, Y0, X1, Y1, Width;
    pdf::Colour Colour;
    bool Dashed;
  };
  struct Picture {
    pdf::Image Op;
    double Left, Top, Right, Bottom;  // on the page
    bool Clipped;
    double ClipLeft, ClipTop, ClipRight, ClipBottom;
  };
  struct Ring {
    double X, Y, Radius;
    pdf::Colour Colour;
  };
  struct Fill {
    std::vector<std::array<double, 2>> Points;
    pdf::Colour Colour;
  };
  std::vector<Stroke> Lines;
  std::vector<Ring> Circles;
  std::vector<Fill> Polygons;
  std::vector<Picture> Images;
  std::vector<pdf::Text> Texts;
  std::vector<pdf::Label> Labels;
  int Depth = 0;  // saves less restores at the end: 0
};

Flat Flatten(const PdfPage& page) {
  struct State {
    double Scale = 1, X = 0, Y = 0, Width = 0;
    pdf::Colour Colour;
    bool Dashed = false, Clipped = false;
    double Clip[4] = {0, 0, 0, 0};
  };
  State s;
  std::vector<State> saved;
  Flat f;
  auto px = [&](double x) { return s.X + s.Scale * x; };
  auto py = [&](double y) { return s.Y + s.Scale * y; };
  for (const pdf::Op& op : page.Ops) {
    if (std::holds_alternative<pdf::Save>(op)) saved.push_back(s);
    if (std::holds_alternative<pdf::Restore>(op)) {
      if (saved.empty()) {
        ADD_FAILURE() << "a restore without its save";
        return f;
      }
      s = saved.back();
      saved.pop_back();
    }
    if (const auto* t = std::get_if<pdf::Translate>(&op)) {
      s.X = px(t->X);
      s.Y = py(t->Y);
    }
    if (const auto* k = std::get_if<pdf::Scale>(&op)) s.Scale *= k->Factor;
    if (const auto* c = std::get_if<pdf::Clip>(&op)) {
      s.Clipped = true;
      s.Clip[0] = px(c->X);
      s.Clip[1] = py(c->Y);
      s.Clip[2] = px(c->X + c->Width);
      s.Clip[3] = py(c->Y + c->Height);
    }
    if (const auto* c = std::get_if<pdf::Colour>(&op)) s.Colour = *c;
    if (const auto* w = std::get_if<pdf::LineWidth>(&op)) s.Width = w->Mm * s.Scale;
    if (const auto* d = std::get_if<pdf::Dash>(&op)) s.Dashed = !d->Mm.empty();
    if (const auto* l = std::get_if<pdf::Line>(&op))
      f.Lines.push_back({px(l->X0), py(l->Y0), px(l->X1), py(l->Y1), s.Width, s.Colour, s.Dashed});
    if (const auto* c = std::get_if<pdf::Circle>(&op)) f.Circles.push_back({px(c->X), py(c->Y), c->Radius * s.Scale, s.Colour});
    if (const auto* p = std::get_if<pdf::Polygon>(&op)) {
      Flat::Fill fill{{}, s.Colour};
      for (const auto& q : p->Points) fill.Points.push_back({px(q[0]), py(q[1])});
      f.Polygons.push_back(fill);
    }
    if (const auto* i = std::get_if<pdf::Image>(&op)) {
      const int w = (i->Column1 - i->Column0 + i->Step - 1) / i->Step, h = (i->Row1 - i->Row0 + i->Step - 1) / i->Step;
      f.Images.push_back({*i, px(i->X), py(i->Y), px(i->X + w * i->PixelMm), py(i->Y + h * i->PixelMm), s.Clipped,
                          s.Clip[0], s.Clip[1], s.Clip[2], s.Clip[3]});
      f.Images.back().Op.PixelMm *= s.Scale;
    }
    if (const auto* t = std::get_if<pdf::Text>(&op)) f.Texts.push_back({px(t->X), py(t->Y), t->SizeMm * s.Scale, t->Bold, t->Value});
    if (const auto* t = std::get_if<pdf::Label>(&op)) f.Labels.push_back({px(t->X), py(t->Y), t->SizeMm * s.Scale, t->Value});
  }
  f.Depth = static_cast<int>(saved.size());
  return f;
}

Picture Cells(int width, int height) {
  Picture p;
  p.Width = width;
  p.Height = height;
  p.Rgb.assign(static_cast<std::size_t>(width) * height * 3, 200);
  return p;
}

PdfContent Content(const Picture& cells, double cellMm) {
  PdfContent c;
  c.Cells = &cells;
  c.CellMm = cellMm;
  c.Footprint = {true, 180, 150, 30, {}, "cylinder, diameter 60.0 mm"};
  c.HasEye = true;
  c.Eye = {-200, 150, 300, "eye"};
  c.Title = {"Picture: p.png", "Mirror: cylinder", "Eye: (0, 0, 0)", "Cells"};
  c.SceneJson = "{\"units\": \"mm\"}";
  c.Date = "2026-12-10";
  return c;
}

PdfOptions OnPaper(const std::string& paper) {
  PdfOptions o;
  o.PaperSize = *ParsePaper(paper);
  return o;
}

bool SameColour(const pdf::Colour& a, double r, double g, double b) { return a.R == r && a.G == g && a.B == b; }

// The 100 mm and the 4 in ruler of a page's footer, at the page's own scale,
// their zero margin mm in from the left and 23 mm above the bottom margin.
void ExpectRulers(const Flat& f, const PdfPage& page, double margin) {
  const double y = page.HeightMm - margin - 25 + 2, y2 = y + 9.5;
  int mmTicks = 0, inchTicks = 0;
  bool mmRule = false, inchRule = false;
  for (const auto& l : f.Lines) {
    if (!SameColour(l.Colour, 0, 0, 0) || std::fabs(l.Width - 0.15) > 1e-12) continue;
    if (l.Y0 == y && l.Y1 == y && l.X0 == margin && std::fabs(l.X1 - margin - 100) < 1e-9) mmRule = true;
    if (l.Y0 == y2 && l.Y1 == y2 && l.X0 == margin && std::fabs(l.X1 - margin - 101.6) < 1e-9) inchRule = true;
    if (l.X0 == l.X1 && l.Y0 == y) {
      const double at = l.X0 - margin;
      EXPECT_NEAR(at, std::round(at), 1e-9) << "a millimetre tick off the millimetres";
      ++mmTicks;
    }
    if (l.X0 == l.X1 && l.Y0 == y2) {
      const double eighths = (l.X0 - margin) / (25.4 / 8);
      EXPECT_NEAR(eighths, std::round(eighths), 1e-9) << "an inch tick off the eighths";
      ++inchTicks;
    }
  }
  EXPECT_TRUE(mmRule) << page.Label;
  EXPECT_TRUE(inchRule) << page.Label;
  EXPECT_EQ(mmTicks, 101) << page.Label;
  EXPECT_EQ(inchTicks, 33) << page.Label;
}

}  // namespace

TEST(PrintPages, TileImagesCoverThePrintOnceOutsideTheOverlaps) {
  // 350 x 320 mm of 0.25 mm cells on A4: 2 x 2 tiles after the assembly page.
  const Picture cells = Cells(1400, 1280);
  const PdfContent content = Content(cells, 0.25);
  const PdfOptions options = OnPaper("A4");
  const PdfDocument doc = LayOutPrintPdf(content, options);
  ASSERT_EQ(doc.Grid.Columns * doc.Grid.Rows, 4);
  ASSERT_EQ(doc.Pages.size(), 5u);
  // Each tile: the part of the print it shows, in the print's millimetres, and its cut lines.
  struct Shown {
    double Left, Top, Right, Bottom;
  };
  std::vector<Shown> shown;
  std::vector<double> cutsX, cutsY;
  for (std::size_t k = 1; k < doc.Pages.size(); ++k) {
    SCOPED_TRACE(doc.Pages[k].Label);
    const Flat f = Flatten(doc.Pages[k]);
    EXPECT_EQ(f.Depth, 0);
    ASSERT_EQ(f.Images.size(), 1u);
    const Flat::Picture& im = f.Images[0];
    // The cells at their size on paper, one cell an image pixel, never smoothed.
    EXPECT_EQ(im.Op.Step, 1);
    EXPECT_TRUE(im.Op.Nearest);
    EXPECT_DOUBLE_EQ(im.Op.PixelMm, 0.25);
    ASSERT_TRUE(im.Clipped);
    // The clip within the page's margins and above the footer, and all of it cells.
    EXPECT_GE(im.ClipLeft, 10 - 1e-9);
    EXPECT_GE(im.ClipTop, 10 - 1e-9);
    EXPECT_LE(im.ClipRight, 200 + 1e-9);
    EXPECT_LE(im.ClipBottom, 297 - 10 - 25 + 1e-9);
    EXPECT_LE(im.Left, im.ClipLeft + 1e-9);
    EXPECT_LE(im.Top, im.ClipTop + 1e-9);
    EXPECT_GE(im.Right, im.ClipRight - 1e-9);
    EXPECT_GE(im.Bottom, im.ClipBottom - 1e-9);
    // Page to print: the image's first cell is where it stands.
    const double dx = im.Op.Column0 * 0.25 - im.Left, dy = im.Op.Row0 * 0.25 - im.Top;
    shown.push_back({im.ClipLeft + dx, im.ClipTop + dy, im.ClipRight + dx, im.ClipBottom + dy});
    for (const auto& l : f.Lines) {
      if (!l.Dashed) continue;
      if (l.X0 == l.X1) cutsX.push_back(l.X0 + dx);
      if (l.Y0 == l.Y1) cutsY.push_back(l.Y0 + dy);
    }
  }
  ASSERT_FALSE(cutsX.empty());
  ASSERT_FALSE(cutsY.empty());
  // Every point of the print on one tile, or on two (four at a corner) only
  // within half the overlap of a cut line; a point every 0.1 mm plus a bit,
  // so that none falls on a tile's edge.
  const double overlap = options.OverlapMm;
  int once = 0, more = 0;
  for (double y = 0.0371; y < 320; y += 0.53) {
    for (double x = 0.0173; x < 350; x += 0.47) {
      int count = 0;
      for (const Shown& s : shown) count += x >= s.Left && x < s.Right && y >= s.Top && y < s.Bottom;
      ASSERT_GE(count, 1) << "(" << x << ", " << y << ") is on no tile";
      bool inStrip = false;
      for (const double c : cutsX) inStrip |= std::fabs(x - c) < overlap / 2 + 1e-9;
      for (const double c : cutsY) inStrip |= std::fabs(y - c) < overlap / 2 + 1e-9;
      if (!inStrip) {
        ASSERT_EQ(count, 1) << "(" << x << ", " << y << ") outside the overlaps";
        ++once;
      } else {
        ASSERT_GE(count, 2) << "(" << x << ", " << y << ") in an overlap";
        ++more;
      }
    }
  }
  EXPECT_GT(once, 0);
  EXPECT_GT(more, 0);
}

TEST(PrintPages, FootprintEyeAndRulersWhereTheContentPutsThem) {
  const Picture cells = Cells(600, 500);  // 120 x 100 mm: one A4 page
  PdfContent content = Content(cells, 0.2);
  content.Footprint = {true, 60, 55, 25, {}, "cylinder, diameter 50.0 mm"};
  content.Eye = {60, 400, 250, "eye below"};
  PdfOptions options = OnPaper("A4");
  options.MarginMm = 12;
  PdfDocument doc = LayOutPrintPdf(content, options);
  ASSERT_EQ(doc.Pages.size(), 1u);
  EXPECT_EQ(doc.Pages[0].Label, "print");
  Flat f = Flatten(doc.Pages[0]);
  EXPECT_EQ(f.Depth, 0);
  ExpectRulers(f, doc.Pages[0], 12);
  // The print's top-left corner at the margin: the footprint's circle there plus its centre.
  ASSERT_EQ(f.Circles.size(), 1u);
  EXPECT_NEAR(f.Circles[0].X, 12 + 60, 1e-9);
  EXPECT_NEAR(f.Circles[0].Y, 12 + 55, 1e-9);
  EXPECT_NEAR(f.Circles[0].Radius, 25, 1e-9);
  ASSERT_EQ(f.Labels.size(), 2u);
  EXPECT_EQ(f.Labels[0].Value, "cylinder, diameter 50.0 mm");
  // The arrow straight down from the mirror toward the eye, its tip 6 mm inside the print's lower edge.
  ASSERT_EQ(f.Polygons.size(), 1u);
  EXPECT_TRUE(SameColour(f.Polygons[0].Colour, 0.7, 0.1, 0.1));
  EXPECT_NEAR(f.Polygons[0].Points[0][0], 12 + 60, 1e-9);
  EXPECT_NEAR(f.Polygons[0].Points[0][1], 12 + 100 - 6, 1e-9);
  EXPECT_EQ(f.Labels[1].Value, "eye below");

  // The eye over the print: a ring round it and no arrow.
  content.Eye = {100, 20, 250, "eye above"};
  doc = LayOutPrintPdf(content, options);
  f = Flatten(doc.Pages[0]);
  ASSERT_EQ(f.Circles.size(), 2u);
  EXPECT_NEAR(f.Circles[1].X, 12 + 100, 1e-9);
  EXPECT_NEAR(f.Circles[1].Y, 12 + 20, 1e-9);
  EXPECT_NEAR(f.Circles[1].Radius, 3, 1e-9);
  EXPECT_TRUE(f.Polygons.empty());

  // Tiled: on every tile the circle where the tile's image puts the print; on
  // the assembly page at the preview's scale; the rulers on every page at full size.
  const Picture big = Cells(1400, 1280);
  content = Content(big, 0.25);
  doc = LayOutPrintPdf(content, OnPaper("A4"));
  ASSERT_EQ(doc.Pages.size(), 5u);
  for (const PdfPage& page : doc.Pages) {
    SCOPED_TRACE(page.Label);
    f = Flatten(page);
    ExpectRulers(f, page, 10);
    ASSERT_EQ(f.Images.size(), 1u);
    const Flat::Picture& im = f.Images[0];
    // Page millimetres a print millimetre, and where the print's corner lands.
    const double scale = im.Op.PixelMm / (0.25 * im.Op.Step);
    const double cornerX = im.Left - scale * im.Op.Column0 * 0.25, cornerY = im.Top - scale * im.Op.Row0 * 0.25;
    ASSERT_EQ(f.Circles.size(), 1u);
    EXPECT_NEAR(f.Circles[0].X, cornerX + scale * 180, 1e-9);
    EXPECT_NEAR(f.Circles[0].Y, cornerY + scale * 150, 1e-9);
    EXPECT_NEAR(f.Circles[0].Radius, scale * 30, 1e-9);
    if (page.Label == "assembly") {
      EXPECT_LT(scale, 1);
    } else {
      EXPECT_DOUBLE_EQ(scale, 1);
    }
  }
}

TEST(PrintPages, PagesInOrderWithTheirLabelsSizesAndMetadata) {
  const Picture cells = Cells(1400, 1280), grid = Cells(12, 8);
  PdfContent content = Content(cells, 0.25);
  content.PlainGrid = &grid;
  PdfDocument doc = LayOutPrintPdf(content, OnPaper("A4"));
  std::vector<std::string> labels;
  for (const PdfPage& p : doc.Pages) {
    labels.push_back(p.Label);
    EXPECT_EQ(p.WidthMm, 210);
    EXPECT_EQ(p.HeightMm, 297);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"grid", "assembly", "A1", "A2", "B1", "B2"}));
  const Flat g = Flatten(doc.Pages[0]);
  ASSERT_EQ(g.Images.size(), 1u);
  EXPECT_EQ(g.Images[0].Op.Of, pdf::Source::kGrid);
  EXPECT_EQ(g.Images[0].Op.Column1, 12);
  EXPECT_EQ(g.Images[0].Op.Row1, 8);
  // The grid as large as the page's width allows: 190 mm for 12 squares.
  EXPECT_NEAR(g.Images[0].Right - g.Images[0].Left, 190, 1e-9);
  EXPECT_EQ(doc.Subject, "{\"units\": \"mm\"}");
  EXPECT_EQ(doc.Date, "2026-12-10");
  EXPECT_EQ(doc.Title, "Anamorphosis print");

  // A wide print on one landscape page.
  const Picture wide = Cells(1040, 600);
  content = Content(wide, 0.25);
  doc = LayOutPrintPdf(content, OnPaper("A4"));
  ASSERT_EQ(doc.Pages.size(), 1u);
  EXPECT_EQ(doc.Pages[0].WidthMm, 297);
  EXPECT_EQ(doc.Pages[0].HeightMm, 210);
  EXPECT_TRUE(doc.Grid.Landscape);
}

TEST(PrintPages, BadContentIsRefused) {
  const Picture none;
  EXPECT_THROW(LayOutPrintPdf(Content(none, 0.25), OnPaper("A4")), PdfError);
  const Picture cells = Cells(10, 10);
  EXPECT_THROW(LayOutPrintPdf(Content(cells, 0), OnPaper("A4")), PdfError);
  try {
    LayOutPrintPdf(Content(cells, 0.25), OnPaper("100x100"));
    ADD_FAILURE() << "a paper without room for the rulers was taken";
  } catch (const PdfError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("--paper: ", 0), 0u) << e.what();
  }
}

TEST(PrintPages, ReducedCellsAverageTheirBlocks) {
  // 3 x 2 cells, red 0..250 across, green 10 or 20 by row, blue 1 or 2.
  Picture p;
  p.Width = 3;
  p.Height = 2;
  p.Rgb = {0, 10, 1, 100, 10, 2, 250, 10, 1, 0, 20, 2, 100, 20, 2, 250, 20, 2};
  EXPECT_EQ(ReducedCells(p, 0, 3, 0, 2, 1), p.Rgb);
  // Blocks of 2: the left one averages four cells (blue 7 / 4 rounds to 2), the
  // right one the two the edge leaves.
  EXPECT_EQ(ReducedCells(p, 0, 3, 0, 2, 2), (std::vector<std::uint8_t>{50, 15, 2, 250, 15, 2}));
  // A part of the picture: the second column's two cells, blue 2 and 2.
  EXPECT_EQ(ReducedCells(p, 1, 2, 0, 2, 2), (std::vector<std::uint8_t>{100, 15, 2}));
  EXPECT_EQ(ReducedCells(p, 1, 3, 1, 2, 1), (std::vector<std::uint8_t>{100, 20, 2, 250, 20, 2}));
}

TEST(PrintPages, JsonCarriesEveryOperation) {
  const Picture cells = Cells(1400, 1280);
  PdfContent content = Content(cells, 0.25);
  content.Title[0] = "Picture: caff\xc3\xa8.png, bad \xff byte";
  const PdfDocument doc = LayOutPrintPdf(content, OnPaper("A4"));
  const nlohmann::json j = nlohmann::json::parse(PdfDocumentJson(doc));
  EXPECT_EQ(j["subject"], doc.Subject);
  EXPECT_EQ(j["date"], "2026-12-10");
  ASSERT_EQ(j["pages"].size(), doc.Pages.size());
  for (std::size_t k = 0; k < doc.Pages.size(); ++k) {
    EXPECT_EQ(j["pages"][k]["label"], doc.Pages[k].Label);
    EXPECT_EQ(j["pages"][k]["width_mm"], doc.Pages[k].WidthMm);
    EXPECT_EQ(j["pages"][k]["ops"].size(), doc.Pages[k].Ops.size());
  }
  // The assembly page: its title in UTF-8 (the bad byte replaced), its preview image.
  const nlohmann::json& ops = j["pages"][0]["ops"];
  bool title = false, image = false;
  for (std::size_t k = 0; k < ops.size(); ++k) {
    const nlohmann::json& op = ops[k];
    if (op["op"] == "text" && op["text"].get<std::string>().rfind("Picture: caff\xc3\xa8.png, bad \xef\xbf\xbd", 0) == 0)
      title = true;
    if (op["op"] == "image") {
      image = true;
      EXPECT_EQ(op["source"], "print");
      EXPECT_EQ(op["cells"], (nlohmann::json{0, 0, 1400, 1280}));
      EXPECT_EQ(op["step"], std::get<pdf::Image>(doc.Pages[0].Ops[k]).Step);
      EXPECT_FALSE(op["nearest"].get<bool>());
    }
  }
  EXPECT_TRUE(title);
  EXPECT_TRUE(image);
  // A tile's operations in the order drawn, with their numbers as laid out.
  const PdfPage& tile = doc.Pages[1];
  for (std::size_t k = 0; k < tile.Ops.size(); ++k) {
    const nlohmann::json& op = j["pages"][1]["ops"][k];
    if (const auto* l = std::get_if<pdf::Line>(&tile.Ops[k])) {
      EXPECT_EQ(op["op"], "line");
      EXPECT_EQ(op["x1"].get<double>(), l->X1);
    } else if (const auto* c = std::get_if<pdf::Clip>(&tile.Ops[k])) {
      EXPECT_EQ(op["op"], "clip");
      EXPECT_EQ(op["height"].get<double>(), c->Height);
    } else if (const auto* d = std::get_if<pdf::Dash>(&tile.Ops[k])) {
      EXPECT_EQ(op["op"], "dash");
      EXPECT_EQ(op["mm"].size(), d->Mm.size());
    }
  }
}

}  // namespace anamorfosi

namespace anamorfosi {
namespace {

// The page's texts, for a search among them.
bool HasText(const PdfPage& page, const std::string& text) {
  for (const pdf::Text& t : Flatten(page).Texts)
    if (t.Value == text) return true;
  return false;
}

TEST(PrintPages, PlacementSaysWhereToStandAndLookFrom) {
  // The eye 300 mm in front of the circle's centre and 250 mm up: whole centimetres.
  SheetFootprint circle{true, 100, 50, 25, {}, "cylinder"};
  std::optional<Placement> p = PlacementOf(circle, true, {100, 350, 250, "eye"});
  ASSERT_TRUE(p.has_value());
  EXPECT_NEAR(p->DistanceMm, 300, 1e-9);
  EXPECT_EQ(PlacementLines(*p), (std::vector<std::string>{"Stand the mirror on the circle;",
                                                          "look from 30 cm in front, 25 cm up, along the arrow."}));
  // Under 10 cm to the millimetre; off the axis both ways, the distance in plan.
  p = PlacementOf(circle, true, {100 + 36, 50 + 77, 95, "eye"});
  EXPECT_NEAR(p->DistanceMm, 85, 1e-9);
  EXPECT_EQ(PlacementLines(*p)[1], "look from 8.5 cm in front, 9.5 cm up, along the arrow.");
  // Straight above the middle of an outline (its box's middle, not its first corner).
  SheetFootprint outline;
  outline.Segments = {{0, 0, 40, 0}, {40, 0, 40, 20}};
  p = PlacementOf(outline, true, {20, 10, 180, "eye"});
  EXPECT_NEAR(p->DistanceMm, 0, 1e-9);
  EXPECT_EQ(PlacementLines(*p), (std::vector<std::string>{"Stand the mirror on its outline;",
                                                          "look straight down from 18 cm above its middle."}));
  // No footprint, nothing to say; no eye, only where to stand.
  EXPECT_FALSE(PlacementOf(SheetFootprint{}, true, {0, 0, 100, ""}).has_value());
  EXPECT_EQ(PlacementLines(*PlacementOf(circle, false, {})).size(), 1u);
}

TEST(PrintPages, PlacementOnThePrintEveryTileAndTheAssemblyPage) {
  const Picture cells = Cells(600, 500);
  PdfContent content = Content(cells, 0.2);
  content.Placement = {"Stand the mirror on the circle;", "look from 38 cm in front, 30 cm up, along the arrow."};
  PdfDocument doc = LayOutPrintPdf(content, OnPaper("A4"));
  ASSERT_EQ(doc.Pages.size(), 1u);
  for (const std::string& line : content.Placement) EXPECT_TRUE(HasText(doc.Pages[0], line)) << line;
  const Picture big = Cells(1400, 1280);
  content.Cells = &big;
  content.CellMm = 0.25;
  doc = LayOutPrintPdf(content, OnPaper("A4"));
  ASSERT_EQ(doc.Pages.size(), 5u);
  for (const PdfPage& page : doc.Pages)
    for (const std::string& line : content.Placement) EXPECT_TRUE(HasText(page, line)) << page.Label << ": " << line;
  // None given, none drawn: the pages keep their other lines only.
  content.Placement.clear();
  doc = LayOutPrintPdf(content, OnPaper("A4"));
  for (const PdfPage& page : doc.Pages) EXPECT_FALSE(HasText(page, "Stand the mirror on the circle;")) << page.Label;
}

// The advance of a text in the face the PDF is set in, as cairo measures it.
double MeasuredWidthMm(const std::string& text, double sizeMm, bool bold) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 100);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return e.x_advance * sizeMm / 100;
}

// A print narrower than the footer's rulers, on a page of its own size: the
// page is made wide enough for the title and placement lines beside the
// rulers, so that none runs past its bottom or its right edge.
TEST(PrintPages, WithoutPaperEveryLineLiesOnThePage) {
  const Picture cells = Cells(200, 150);
  PdfContent content = Content(cells, 0.2);
  content.Footprint = {true, 20, 15, 10, {}, "cylinder, diameter 20.0 mm"};
  content.Eye = {20, 120, 150, "eye"};
  content.Placement = {"Stand the mirror on the circle;", "look from 10 cm in front, 15 cm up, along the arrow."};
  content.Title[2] = "Eye: (0, -180, 150) mm; eye: 180.0 mm from the axis, 150.0 mm above the sheet, looking down at "
                     "39.8 degrees";
  const PdfDocument doc = LayOutPrintPdf(content, OnPaper("none"));
  ASSERT_EQ(doc.Pages.size(), 1u);
  const PdfPage& page = doc.Pages[0];
  for (const std::string& line : content.Placement) EXPECT_TRUE(HasText(page, line)) << line;
  for (const pdf::Text& t : Flatten(page).Texts) {
    EXPECT_GE(t.X, 0) << t.Value;
    EXPECT_LT(t.X, page.WidthMm) << t.Value;
    // The baseline with room for the descenders below it.
    EXPECT_GE(t.Y, t.SizeMm) << t.Value;
    EXPECT_LE(t.Y + 0.25 * t.SizeMm, page.HeightMm) << t.Value << " at " << t.Y << " mm of " << page.HeightMm;
    const double end = t.X + MeasuredWidthMm(t.Value, t.SizeMm, t.Bold);
    EXPECT_LE(end, page.WidthMm) << t.Value << " ends at " << end << " mm of " << page.WidthMm;
  }
}

}  // namespace
}  // namespace anamorfosi
