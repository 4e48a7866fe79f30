// The grid for drawing by hand laid out without drawing it: its line
// rectangles, its labels' texts and places, the room each label has and the
// rule that sizes them. The command draws it with cairo (grid_picture), the
// browser's page on a canvas; only the text is measured and drawn by each.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "layout/grid_text.h"

namespace anamorfosi {

inline constexpr int kMinGridCellPixels = 16;  // below this a label cannot be read
inline constexpr int kHeavyGridEvery = 5;      // cells between heavy lines

// The label of a cell, both counted from 0: a column letter and the row number
// from 1 at the top, "C7". The letters skip I and O, which a distorted print
// makes hard to tell from 1 and 0; after Z come AA, AB ... ZZ.
// Throws std::invalid_argument for a column or row outside 0 .. kMaxGridCells - 1.
std::string GridCellLabel(int column, int row);

using GridColour = std::array<std::uint8_t, 3>;  // 8-bit RGB

// A whole-pixel rectangle of line ink: [X, X + Width) x [Y, Y + Height).
struct GridRectangle {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Heavy = false;
};

// A cell's label: its ink centred across on CentreX; its baseline half the
// capital height ("H"'s ink above its baseline) below CentreY, the same for
// every label of a row, so that a J hangs below as in print.
struct GridLabel {
  std::string Text;
  double CentreX = 0, CentreY = 0;
};

struct GridLayout {
  int Width = 0, Height = 0;  // pixels
  GridColour Paper{255, 255, 255}, Thin{64, 64, 64}, Heavy{0, 0, 0}, Ink{20, 70, 200};
  // Thin ones first, then heavy ones over them; each group across (vertical
  // lines) before down (horizontal lines).
  std::vector<GridRectangle> Lines;
  std::vector<GridLabel> Labels;  // row by row, left to right
  // The room of every label: its ink at most RoomWidth wide and reaching at
  // most RoomHeight / 2 above or below its cell's centre (the narrowest cell
  // less a margin of paper each side).
  double RoomWidth = 0, RoomHeight = 0;
  // The label size is searched from this one, then made Shrink times smaller
  // at most Tries times (GridLabelSize).
  double TrialSize = 100, Shrink = 0.97;
  int Tries = 20;
};

// What the labels' ink needs at one size, measured by the drawing's own font:
// the widest ink, the farthest any ink reaches above or below a cell's centre
// (its baseline placed as GridLabel says) and the capital height.
struct GridLabelNeeds {
  double Width = 0, HalfHeight = 0, CapHeight = 0;
};

// The grid of columns x rows square cells of cellPixels pixels each: lines on
// the cell boundaries, heavy every kHeavyGridEvery cells from the top left and
// round the border (the border ones wholly inside, the others straddling their
// boundary), every cell's label at its cell's centre. Throws
// std::invalid_argument for columns or rows outside 1 .. kMaxGridCells,
// cellPixels below kMinGridCellPixels, or a side above maxSide pixels.
GridLayout LayOutGrid(int columns, int rows, int cellPixels, long long maxSide);

// The one size of every label: the largest at which all of them fit their
// room, found from measure(size) (what the labels need at that size): scaled
// from the trial size, then made smaller by the layout's Shrink until they fit,
// its Tries at most.
// The needs at the size chosen go to *needs. Throws std::runtime_error when the
// font draws no ink.
double GridLabelSize(const GridLayout& layout, const std::function<GridLabelNeeds(double size)>& measure,
                     GridLabelNeeds* needs);

// The layout as JSON for the browser: {"width", "height", "paper", "thin",
// "heavy", "ink" ([r, g, b]), "lines": [[x, y, w, h, heavy 0 or 1]], "labels":
// [[text, centre x, centre y]], "room_width", "room_height", "trial_size", "shrink", "tries"}.
std::string GridLayoutJson(const GridLayout& layout);

}  // namespace anamorfosi
