#include "core/raster.h"

#include <algorithm>

#include "picture/large_pages.h"

namespace anamorfosi {

void ClearRaster(OutputRaster& raster, int width, int height) {
  raster.Width = std::max(width, 0);
  raster.Height = std::max(height, 0);
  const std::size_t bytes = static_cast<std::size_t>(raster.Width) * static_cast<std::size_t>(raster.Height) * 3;
  // assign keeps the capacity, so a second clear of the same size allocates nothing.
  ReserveOnLargePages(raster.Cells, bytes);
  raster.Cells.assign(bytes, 0);
}

}  // namespace anamorfosi
