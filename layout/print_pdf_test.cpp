#include "print_pdf.h"

#include <gtest/gtest.h>

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
