// The painted output cells, stored row by row as the picture files hold them,
// so that painting a run of cells along a row touches consecutive bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace anamorfosi {

inline constexpr int kMaxOutputSide = 5000;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

// Cell (col, row), both from 1, row 1 at the top, starts at byte
// ((row - 1) * Width + (col - 1)) * 3. Only Width x Height cells (at most
// 5000 x 5000) are allocated, once per run, and cleared to black.
struct OutputRaster {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Cells;

  std::size_t Index(int col, int row) const {
    return (static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(col - 1)) * 3;
  }
  void Set(int col, int row, Rgb c) {
    const std::size_t i = Index(col, row);
    Cells[i] = c.r;
    Cells[i + 1] = c.g;
    Cells[i + 2] = c.b;
  }
  Rgb Get(int col, int row) const {
    const std::size_t i = Index(col, row);
    return {Cells[i], Cells[i + 1], Cells[i + 2]};
  }
};

// Sizes the raster to width x height cells, all black.
void ClearRaster(OutputRaster& raster, int width, int height);

}  // namespace anamorfosi
