#include "layout/grid_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "layout/grid_picture.h"

namespace anamorfosi {

namespace {

// A pixel's colour in a picture.
GridColour At(const Picture& p, int x, int y) {
  const std::size_t i = (static_cast<std::size_t>(y) * p.Width + x) * 3;
  return {p.Rgb[i], p.Rgb[i + 1], p.Rgb[i + 2]};
}

// Labels that need width and height in proportion to the size, as an
// unhinted font's do, plus a fixed part that does not scale.
GridLabelNeeds Proportional(double size, double fixed = 0) {
  return {0.6 * size + fixed, 0.45 * size + fixed, 0.7 * size};
}

}  // namespace

TEST(GridLayout, LinesAndLabelsOfTheCell) {
  EXPECT_THROW(LayOutGrid(0, 5, 48, 32767), std::invalid_argument);
  EXPECT_THROW(LayOutGrid(5, 201, 48, 32767), std::invalid_argument);
  EXPECT_THROW(LayOutGrid(5, 5, 15, 32767), std::invalid_argument);
  EXPECT_THROW(LayOutGrid(200, 2, 200, 32767), std::invalid_argument);  // 40000 pixels wide
  EXPECT_NO_THROW(LayOutGrid(200, 2, 200, 1 << 20));

  // 12 x 8 at 48: thin lines 1 pixel, heavy ones 3, at 0, 5, 10 and round the border.
  const GridLayout g = LayOutGrid(12, 8, 48, 32767);
  EXPECT_EQ(g.Width, 576);
  EXPECT_EQ(g.Height, 384);
  ASSERT_EQ(g.Lines.size(), 13u + 9u);
  std::vector<int> heavyAcross, thinAcross, heavyDown;
  bool heavySeen = false;
  for (const GridRectangle& r : g.Lines) {
    // Every thin rectangle comes before every heavy one, so that heavy lines are drawn over thin ones.
    EXPECT_FALSE(heavySeen && !r.Heavy);
    heavySeen = heavySeen || r.Heavy;
    EXPECT_EQ(r.Width == g.Width ? r.Height : r.Width, r.Heavy ? 3 : 1);
    if (r.Height == g.Height) (r.Heavy ? heavyAcross : thinAcross).push_back(r.X);
    if (r.Width == g.Width && r.Heavy) heavyDown.push_back(r.Y);
  }
  EXPECT_EQ(heavyAcross, (std::vector<int>{0, 5 * 48 - 1, 10 * 48 - 1, 576 - 3}));
  EXPECT_EQ(heavyDown, (std::vector<int>{0, 5 * 48 - 1, 384 - 3}));
  EXPECT_EQ(thinAcross, (std::vector<int>{48, 96, 144, 192, 288, 336, 384, 432, 528}));

  // Labels row by row, each centred in the paper between its lines.
  ASSERT_EQ(g.Labels.size(), 96u);
  EXPECT_EQ(g.Labels[0].Text, "A1");
  EXPECT_EQ(g.Labels[13].Text, "B2");
  EXPECT_EQ(g.Labels[95].Text, "M8");
  EXPECT_DOUBLE_EQ(g.Labels[0].CentreX, (3 + 48) / 2.0);   // heavy border, then a thin line at 48
  EXPECT_DOUBLE_EQ(g.Labels[0].CentreY, (3 + 48) / 2.0);
  EXPECT_DOUBLE_EQ(g.Labels[5].CentreX, (242 + 288) / 2.0);  // after the heavy line at 239..241
  EXPECT_DOUBLE_EQ(g.Labels[95].CentreY, (337 + 381) / 2.0);
  // The narrowest paper is between a heavy line and a thin one (44 pixels), less 4 each side.
  EXPECT_DOUBLE_EQ(g.RoomWidth, 44 - 8);
  EXPECT_DOUBLE_EQ(g.RoomHeight, 44 - 8);

  // One cell: no inner line; the room is the paper inside the border.
  const GridLayout one = LayOutGrid(1, 1, 16, 32767);
  EXPECT_EQ(one.Lines.size(), 4u);
  EXPECT_DOUBLE_EQ(one.RoomWidth, 10 - 2);
  EXPECT_DOUBLE_EQ(one.Labels[0].CentreX, 8);
}

TEST(GridLayout, LabelSizeIsTheLargestThatFits) {
  const GridLayout g = LayOutGrid(12, 8, 48, 32767);
  // Ink in proportion to the size: the room's own size, found at once.
  GridLabelNeeds needs;
  int measures = 0;
  double size = GridLabelSize(g, [&](double s) { ++measures; return Proportional(s); }, &needs);
  EXPECT_NEAR(size, std::min(g.RoomWidth / 0.6, g.RoomHeight / 2 / 0.45), 1e-9);
  EXPECT_EQ(measures, 2);
  EXPECT_NEAR(needs.CapHeight, 0.7 * size, 1e-9);

  // A part that does not scale: made 3 % smaller until it fits, not much smaller than need be.
  size = GridLabelSize(g, [](double s) { return Proportional(s, 2); }, &needs);
  EXPECT_LE(needs.Width, g.RoomWidth);
  EXPECT_LE(needs.HalfHeight, g.RoomHeight / 2);
  EXPECT_GT(Proportional(size / g.Shrink, 2).HalfHeight, g.RoomHeight / 2);

  // Never fits: the tries end at the last size measured, which is given back with its needs.
  double last = 0;
  size = GridLabelSize(g, [&](double s) { last = s; return Proportional(s, 1000); }, &needs);
  EXPECT_EQ(size, last);
  EXPECT_DOUBLE_EQ(needs.Width, 0.6 * last + 1000);

  EXPECT_THROW(GridLabelSize(g, [](double) { return GridLabelNeeds{}; }, nullptr), std::runtime_error);
}

// The cairo picture is the layout drawn: its paper, line and label colours,
// every line rectangle in its colour where no label lies.
TEST(GridPicture, DrawsTheLayout) {
  for (const auto& [columns, rows, cell] : std::vector<std::array<int, 3>>{{8, 6, 48}, {11, 7, 80}, {30, 2, 24}}) {
    SCOPED_TRACE(std::to_string(columns) + "x" + std::to_string(rows));
    const GridLayout g = LayOutGrid(columns, rows, cell, 32767);
    const Picture p = MakeGridPicture(columns, rows, cell);
    ASSERT_EQ(p.Width, g.Width);
    ASSERT_EQ(p.Height, g.Height);
    std::vector<char> line(static_cast<std::size_t>(p.Width) * p.Height, 0);  // 0 paper, 1 thin, 2 heavy
    for (const GridRectangle& r : g.Lines)
      for (int y = r.Y; y < r.Y + r.Height; ++y)
        for (int x = r.X; x < r.X + r.Width; ++x) line[static_cast<std::size_t>(y) * p.Width + x] = r.Heavy ? 2 : 1;
    int wrong = 0, ink = 0;
    for (int y = 0; y < p.Height; ++y) {
      for (int x = 0; x < p.Width; ++x) {
        const char kind = line[static_cast<std::size_t>(y) * p.Width + x];
        const GridColour c = At(p, x, y);
        if (kind != 0) wrong += c != (kind == 2 ? g.Heavy : g.Thin);
        // Label ink: between the paper and the label's blue, on paper only.
        if (c != g.Paper && kind == 0) {
          ++ink;
          wrong += !(c[2] >= c[0] && c[0] >= g.Ink[0] && c[2] >= g.Ink[2]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(ink, columns * rows * 10);
  }
}

}  // namespace anamorfosi
