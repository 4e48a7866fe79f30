// A square grid to draw by hand in place of a picture: a pupil copies a drawing
// cell by cell from the plain grid onto its distorted print, where every cell
// keeps its label.
#pragma once

#include "layout/grid_layout.h"
#include "picture/picture.h"

namespace anamorfosi {

// A white opaque picture of the grid LayOutGrid lays out, drawn by cairo:
// columns x rows square cells of cellPixels pixels each (columns * cellPixels
// wide), thin dark lines on the cell boundaries, heavy black ones every
// kHeavyGridEvery cells from the top left and round the border, every cell's
// GridCellLabel centred in blue in DejaVu Sans Bold, at the GridLabelSize of
// cairo's measures. The same arguments give the same bytes. Throws
// std::invalid_argument for a size out of range (cellPixels below
// kMinGridCellPixels, a side above 32767 pixels), std::runtime_error when cairo
// fails.
Picture MakeGridPicture(int columns, int rows, int cellPixels);

}  // namespace anamorfosi
