// A square grid to draw by hand in place of a picture: a pupil copies a drawing
// cell by cell from the plain grid onto its distorted print, where every cell
// keeps its label.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "layout/grid_text.h"
#include "picture/picture.h"

namespace anamorfosi {

inline constexpr int kMinGridCellPixels = 16;  // below this a label cannot be read
inline constexpr int kHeavyGridEvery = 5;      // cells between heavy lines

// The label of a cell, both counted from 0: a column letter and the row number
// from 1 at the top, "C7". The letters skip I and O, which a distorted print
// makes hard to tell from 1 and 0; after Z come AA, AB ... ZZ.
// Throws std::invalid_argument for a column or row outside 0 .. kMaxGridCells - 1.
std::string GridCellLabel(int column, int row);

// A white opaque picture of columns x rows square cells of cellPixels pixels
// each (columns * cellPixels wide): thin dark lines on the cell boundaries,
// heavy black ones every kHeavyGridEvery cells from the top left and round the
// border, every cell's GridCellLabel centred in blue, as large as the longest
// label fits. The same arguments give the same bytes. Throws
// std::invalid_argument for a size out of range (cellPixels below
// kMinGridCellPixels, a side above 32767 pixels), std::runtime_error when cairo
// fails.
Picture MakeGridPicture(int columns, int rows, int cellPixels);

}  // namespace anamorfosi
