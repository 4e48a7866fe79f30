#include "layout/print_pdf.h"

#include <gtest/gtest.h>

#include <cmath>

namespace anamorfosi {

TEST(PrintPdf, PapersByNameAndSize) {
  EXPECT_DOUBLE_EQ(ParsePaper("A4")->WidthMm, 210);
  EXPECT_DOUBLE_EQ(ParsePaper("a3")->HeightMm, 420);
  EXPECT_DOUBLE_EQ(ParsePaper("Letter")->WidthMm, 215.9);
  EXPECT_DOUBLE_EQ(ParsePaper("tabloid")->HeightMm, 431.8);
  EXPECT_TRUE(ParsePaper("none")->None);
  EXPECT_DOUBLE_EQ(ParsePaper("300x400")->HeightMm, 400);
  EXPECT_DOUBLE_EQ(ParsePaper("11x17in")->WidthMm, 279.4);
  for (const char* bad : {"A5", "", "x", "300x", "0x10", "-3x4", "3x4cm", "nanxnan", "1e999x2"})
    EXPECT_FALSE(ParsePaper(bad)) << bad;
}

TEST(PrintPdf, PagesAreTheFewestThatHoldThePrint) {
  const Paper a4 = *ParsePaper("A4");
  // A4 less 10 mm margins and the 25 mm footer: 190 x 252 portrait, 277 x 165 landscape.
  PageGrid g = PlanPages(180, 240, a4, 10, 10, PageOrientation::kAuto);
  EXPECT_EQ(g.Columns * g.Rows, 1);
  EXPECT_FALSE(g.Landscape);
  EXPECT_EQ(g.Pages(), 1);
  g = PlanPages(260, 160, a4, 10, 10, PageOrientation::kAuto);
  EXPECT_TRUE(g.Landscape);
  EXPECT_EQ(g.Pages(), 1);
  // Forced portrait: 260 mm across 190 mm areas overlapping by 10 needs 2 columns.
  g = PlanPages(260, 160, a4, 10, 10, PageOrientation::kPortrait);
  EXPECT_EQ(g.Columns, 2);
  EXPECT_EQ(g.Rows, 1);
  EXPECT_EQ(g.Pages(), 3);  // the assembly page first
  // 3 x 2 tiles of A3 landscape (400 x 252 areas): 3 * 400 - 2 * 10 wide, 2 * 252 - 10 high.
  const Paper a3 = *ParsePaper("A3");
  g = PlanPages(1180, 494, a3, 10, 10, PageOrientation::kLandscape);
  EXPECT_EQ(g.Columns, 3);
  EXPECT_EQ(g.Rows, 2);
  g = PlanPages(1180.5, 494, a3, 10, 10, PageOrientation::kLandscape);
  EXPECT_EQ(g.Columns, 4);
  // The print's own size, with the margins and the footer round it.
  g = PlanPages(500, 300, *ParsePaper("none"), 10, 10, PageOrientation::kAuto);
  EXPECT_EQ(g.Pages(), 1);
  EXPECT_DOUBLE_EQ(g.PageWidthMm, 520);
  EXPECT_DOUBLE_EQ(g.PageHeightMm, 345);
  EXPECT_THROW(PlanPages(100, 100, *ParsePaper("100x100"), 10, 10, PageOrientation::kAuto), std::invalid_argument);
}

TEST(PrintPdf, TileLabelsCountRowsByLetters) {
  EXPECT_EQ(TileLabel(0, 0), "A1");
  EXPECT_EQ(TileLabel(1, 1), "B2");
  EXPECT_EQ(TileLabel(25, 9), "Z10");
  EXPECT_EQ(TileLabel(26, 0), "AA1");
  EXPECT_EQ(TileLabel(27, 2), "AB3");
}

namespace {

// Every tile within [shortest, area], each overlapping the next by exactly
// overlap, the first from 0 and the last to the print's end.
void ExpectTiling(const std::vector<TileSpan>& tiles, double length, double area, double overlap, double shortest) {
  ASSERT_FALSE(tiles.empty());
  EXPECT_DOUBLE_EQ(tiles.front().From, 0);
  EXPECT_DOUBLE_EQ(tiles.back().To, length);
  for (std::size_t k = 0; k < tiles.size(); ++k) {
    SCOPED_TRACE("tile " + std::to_string(k));
    EXPECT_LE(tiles[k].To - tiles[k].From, area + 1e-6);
    EXPECT_GE(tiles[k].To - tiles[k].From, shortest - 1e-6);
    if (k > 0) {
      EXPECT_NEAR(tiles[k - 1].To - tiles[k].From, overlap, 1e-6);
    }
  }
}

}  // namespace

TEST(PrintPdf, TilesSpreadEvenlyWithoutAThinStrip) {
  // 211.7 mm over 190 mm areas: two tiles of 110.85, not 190 and a 31.7 mm strip.
  std::vector<TileSpan> t = TileSpans(211.7, 190, 10, 2, 42, 0, 0, 0);
  ExpectTiling(t, 211.7, 190, 10, 42);
  EXPECT_NEAR(t[0].To - t[0].From, 110.85, 1e-9);
  EXPECT_NEAR(t[1].To - t[1].From, 110.85, 1e-9);
  // Four tiles of a long print all of one length.
  t = TileSpans(700, 190, 10, 4, 42, 0, 0, 0);
  ExpectTiling(t, 700, 190, 10, 42);
  for (const TileSpan& s : t) EXPECT_NEAR(s.To - s.From, 182.5, 1e-9);
  // One tile holds the whole print.
  t = TileSpans(150, 190, 10, 1, 42, 20, 70, 0);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_DOUBLE_EQ(t[0].To, 150);
}

TEST(PrintPdf, CutLinesGoRoundTheMirrorWhenTheTilesCanShift) {
  // The mirror across the even cut (at 105.85): the cut moves to one side of it.
  const std::vector<TileSpan> t = TileSpans(211.7, 190, 10, 2, 42, 78.8, 132.8, 0);
  ExpectTiling(t, 211.7, 190, 10, 42);
  const double cut = t[0].To - 5;
  EXPECT_TRUE(cut <= 78.8 + 1e-9 || cut >= 132.8 - 1e-9) << cut;
  // Three tiles, the mirror over the second cut: every cut stays off it.
  const std::vector<TileSpan> three = TileSpans(500, 190, 10, 3, 42, 320, 360, 0);
  ExpectTiling(three, 500, 190, 10, 42);
  for (std::size_t k = 0; k + 1 < three.size(); ++k) {
    const double c = three[k].To - 5;
    EXPECT_FALSE(c > 320 && c < 360) << "cut " << k << " at " << c;
  }
  // A mirror wider than a tile cannot be kept whole: the tiles stay even.
  const std::vector<TileSpan> wide = TileSpans(360, 190, 10, 2, 42, 20, 340, 0);
  ExpectTiling(wide, 360, 190, 10, 42);
  EXPECT_NEAR(wide[0].To - wide[0].From, 185, 1e-9);
}

TEST(PrintPdf, TilesStartOnWholeCells) {
  const double cell = 25.4 / 300;
  const std::vector<TileSpan> t = TileSpans(2500 * cell, 190, 10, 2, 42, 0, 0, cell);
  ExpectTiling(t, 2500 * cell, 190, 10, 42);
  const double cells = t[1].From / cell;
  EXPECT_NEAR(cells, std::round(cells), 1e-6);
}

}  // namespace anamorfosi
