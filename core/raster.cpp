#include "core/raster.h"

#include <algorithm>

namespace anamorfosi {

void ClearRaster(OutputRaster& raster, int width, int height) {
  raster.Width = std::max(width, 0);
  raster.Height = std::max(height, 0);
  // assign keeps the capacity, so a second clear of the same size allocates nothing.
  raster.Cells.assign(static_cast<std::size_t>(raster.Width) * static_cast<std::size_t>(raster.Height) * 3, 0);
}

}  // namespace anamorfosi
