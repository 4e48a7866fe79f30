#include "bench/cell_difference.h"

#include <gtest/gtest.h>

namespace anamorfosi {

namespace {

Picture Grey(int width, int height, std::uint8_t level) {
  Picture p;
  p.Width = width;
  p.Height = height;
  p.Rgb.assign(static_cast<std::size_t>(width) * height * 3, level);
  return p;
}

TEST(CompareCells, CountsCellsNotChannelsAndKeepsTheLargestDifference) {
  const Picture a = Grey(4, 3, 100);
  Picture b = a;
  EXPECT_EQ(CompareCells(a, b).Differing, 0);
  EXPECT_EQ(CompareCells(a, b).Cells, 12);
  // Two channels of the last cell and one of the first, the largest 9 down.
  b.Rgb[33] = 107;
  b.Rgb[35] = 91;
  b.Rgb[1] = 101;
  const CellDifference d = CompareCells(a, b);
  EXPECT_TRUE(d.SameSize);
  EXPECT_EQ(d.Differing, 2);
  EXPECT_EQ(d.MaxLevels, 9);
  EXPECT_EQ(d.Painted, 0);
  EXPECT_EQ(CompareCells(b, a).MaxLevels, 9);
}

TEST(CompareCells, PaperAgainstColourAndPrintsOfAnotherSize) {
  Picture a = Grey(2, 2, 255), b = Grey(2, 2, 255);
  b.Rgb[0] = 254;  // a painted cell where the other print has paper
  a.Rgb[9] = a.Rgb[10] = a.Rgb[11] = 0;  // black paper against white: paper both
  const CellDifference d = CompareCells(a, b);
  EXPECT_EQ(d.Differing, 2);
  EXPECT_EQ(d.Painted, 1);
  EXPECT_EQ(d.MaxLevels, 255);
  EXPECT_FALSE(CompareCells(Grey(2, 3, 0), Grey(3, 2, 0)).SameSize);
  EXPECT_EQ(CompareCells(Grey(2, 3, 0), Grey(3, 2, 0)).Differing, 0);
}

}  // namespace

}  // namespace anamorfosi
