#include "layout/grid_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace anamorfosi {

namespace {

std::array<int, 3> At(const Picture& p, int x, int y) {
  const std::size_t i = (static_cast<std::size_t>(y) * p.Width + x) * 3;
  return {p.Rgb[i], p.Rgb[i + 1], p.Rgb[i + 2]};
}
bool IsDark(const std::array<int, 3>& c) { return 299 * c[0] + 587 * c[1] + 114 * c[2] < 128'000; }
// Label ink is clearly bluer than the grey lines and the white paper.
bool IsLabelInk(const std::array<int, 3>& c) { return c[2] - c[0] > 40; }
bool IsLineInk(const std::array<int, 3>& c) { return IsDark(c) && !IsLabelInk(c); }

struct LineRun {
  int Begin, End;  // pixels [Begin, End)
};
// The runs of line ink along row `fixed` (or column, when vertical).
std::vector<LineRun> LineRuns(const Picture& p, int fixed, bool vertical) {
  std::vector<LineRun> runs;
  for (int i = 0; i < (vertical ? p.Height : p.Width); ++i) {
    if (!IsLineInk(vertical ? At(p, fixed, i) : At(p, i, fixed))) continue;
    if (!runs.empty() && runs.back().End == i)
      ++runs.back().End;
    else
      runs.push_back({i, i + 1});
  }
  return runs;
}

// One run on each boundary; those every 5 cells and round the border all of one
// width, at least twice that of the others.
void CheckLineRuns(const std::vector<LineRun>& runs, int cells, int cellPixels) {
  ASSERT_EQ(runs.size(), static_cast<std::size_t>(cells + 1));
  int thin = -1, heavy = -1;
  for (int k = 0; k <= cells; ++k) {
    EXPECT_TRUE(runs[k].Begin <= k * cellPixels && runs[k].End >= k * cellPixels) << "boundary " << k;
    int& width = (k == 0 || k == cells || k % 5 == 0) ? heavy : thin;
    if (width < 0) width = runs[k].End - runs[k].Begin;
    EXPECT_EQ(runs[k].End - runs[k].Begin, width) << "boundary " << k;
  }
  EXPECT_EQ(runs.front().Begin, 0);
  EXPECT_EQ(runs.back().End, cells * cellPixels);
  EXPECT_GE(heavy, std::max(2, 2 * thin));
}

}  // namespace

TEST(GridPicture, Behaviour) {
  EXPECT_THROW(MakeGridPicture(0, 5, 32), std::invalid_argument);
  EXPECT_THROW(MakeGridPicture(5, 201, 32), std::invalid_argument);
  EXPECT_THROW(MakeGridPicture(5, 5, 15), std::invalid_argument);
  EXPECT_THROW(MakeGridPicture(200, 200, 200), std::invalid_argument);

  // 11 columns: the right border is not a fifth line; 30: two-letter columns.
  const std::vector<std::array<int, 3>> grids = {{12, 8, 48}, {11, 7, 80}, {6, 4, 16}, {30, 2, 24}};
  for (auto [columns, rows, cell] : grids) {
    SCOPED_TRACE(std::to_string(columns) + "x" + std::to_string(rows) + " at " + std::to_string(cell));
    const Picture p = MakeGridPicture(columns, rows, cell);
    ASSERT_EQ(p.Width, columns * cell);
    ASSERT_EQ(p.Height, rows * cell);
    ASSERT_EQ(p.Rgb.size(), static_cast<std::size_t>(p.Width) * p.Height * 3);
    EXPECT_TRUE(p.Alpha.empty());

    // The lines across the middle of every row of cells and down every column.
    const std::vector<LineRun> across = LineRuns(p, cell / 2, false), down = LineRuns(p, cell / 2, true);
    for (int r = 0; r < rows; ++r) CheckLineRuns(LineRuns(p, r * cell + cell / 2, false), columns, cell);
    for (int c = 0; c < columns; ++c) CheckLineRuns(LineRuns(p, c * cell + cell / 2, true), rows, cell);
    ASSERT_FALSE(HasFailure());

    // Each cell: dark label ink in its middle half, white paper all along its
    // lines, a label unlike any other, the widest taking most of a cell.
    std::set<std::string> patches;
    int widestInk = 0;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        const int left = across[c].End, right = across[c + 1].Begin, top = down[r].End, bottom = down[r + 1].Begin;
        int centreInk = 0, inkLeft = p.Width, inkRight = -1;
        bool edgeWhite = true;
        std::string patch;
        for (int y = top; y < bottom; ++y) {
          for (int x = left; x < right; ++x) {
            const auto rgb = At(p, x, y);
            if ((x == left || x == right - 1 || y == top || y == bottom - 1) && rgb != std::array{255, 255, 255})
              edgeWhite = false;
            const bool middle =
                std::abs(2 * (x - c * cell) - cell) < cell / 2 && std::abs(2 * (y - r * cell) - cell) < cell / 2;
            centreInk += middle && IsLabelInk(rgb) && IsDark(rgb);
            if (IsLabelInk(rgb)) inkLeft = std::min(inkLeft, x), inkRight = std::max(inkRight, x);
            patch.push_back(static_cast<char>(rgb[2]));
          }
        }
        EXPECT_GE(centreInk, 3) << "cell " << c << "," << r;
        EXPECT_TRUE(edgeWhite) << "cell " << c << "," << r;
        widestInk = std::max(widestInk, inkRight - inkLeft + 1);
        patches.insert(patch);
      }
    }
    EXPECT_EQ(patches.size(), static_cast<std::size_t>(columns * rows));
    EXPECT_GE(widestInk, cell / 2);
  }

  EXPECT_TRUE(MakeGridPicture(12, 8, 48).Rgb == MakeGridPicture(12, 8, 48).Rgb);
  EXPECT_FALSE(MakeGridPicture(12, 8, 48).Rgb == MakeGridPicture(8, 12, 48).Rgb);
}

TEST(GridPicture, CellLabels) {
  const std::vector<std::pair<std::array<int, 2>, std::string>> known = {
      {{0, 0}, "A1"},  {{2, 6}, "C7"},   {{8, 0}, "J1"},   {{13, 0}, "P1"},
      {{23, 9}, "Z10"}, {{24, 0}, "AA1"}, {{48, 0}, "BA1"}, {{199, 199}, "HH200"}};
  for (const auto& [cell, label] : known) EXPECT_EQ(GridCellLabel(cell[0], cell[1]), label);

  // Column letters distinct, shorter first and then in alphabetical order, never I or O.
  std::string previous;
  for (int column = 0; column < kMaxGridCells; ++column) {
    std::string letters = GridCellLabel(column, 4);
    ASSERT_EQ(letters.back(), '5');
    letters.pop_back();
    EXPECT_EQ(letters.find_first_not_of("ABCDEFGHJKLMNPQRSTUVWXYZ"), std::string::npos) << letters;
    EXPECT_TRUE(letters.size() > previous.size() || (letters.size() == previous.size() && letters > previous))
        << previous << " then " << letters;
    previous = letters;
  }
  EXPECT_THROW(GridCellLabel(-1, 0), std::invalid_argument);
  EXPECT_THROW(GridCellLabel(0, kMaxGridCells), std::invalid_argument);
}

TEST(GridPicture, ParseGrid) {
  EXPECT_EQ(ParseGrid("12x8"), std::make_pair(12, 8));
  EXPECT_EQ(ParseGrid("12X8"), std::make_pair(12, 8));
  EXPECT_EQ(ParseGrid("1x1"), std::make_pair(1, 1));
  EXPECT_EQ(ParseGrid("200x200"), std::make_pair(200, 200));
  EXPECT_EQ(ParseGrid("5x199"), std::make_pair(5, 199));
  for (const char* refused : {"", "x", "12", "12x", "x8", "0x5", "5x0", "201x5", "5x201", "1000x1", "012x8", "12x08",
                              " 12x8", "12x8 ", "12 x8", "12x 8", "12x8x3", "12xx8", "+12x8", "-1x8", "12x-8", "12*8",
                              "1.5x8", "12x8\n", "12\xC3\x97" "8", "ax8", "12xb"})
    EXPECT_FALSE(ParseGrid(refused).has_value()) << '"' << refused << '"';
}

}  // namespace anamorfosi
