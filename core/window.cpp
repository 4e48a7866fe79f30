#include "core/window.h"

#include <cmath>

namespace anamorfosi {

WindowStatus SizeWindow(const WindowScan& scan, Real marginDivisor, long pixelCount, OutputWindow& w) {
  if (scan.Hits == 0) return WindowStatus::kNoRayReachedSheet;
  w.MinX = scan.MinX;
  w.MinY = scan.MinY;
  w.MaxX = scan.MaxX;
  w.MaxY = scan.MaxY;
  const Real mx = std::fabs(w.MaxX - w.MinX) / marginDivisor;
  w.MinX -= mx;
  w.MaxX += mx;
  const Real my = std::fabs(w.MaxY - w.MinY) / marginDivisor;
  w.MinY -= my;
  w.MaxY += my;
  const Real W = std::fabs(w.MaxX - w.MinX);
  const Real H = std::fabs(w.MaxY - w.MinY);
  if (!std::isfinite(W) || !std::isfinite(H) || (W == 0 && H == 0)) return WindowStatus::kNoExtent;
  const Real n = static_cast<Real>(pixelCount);
  // Square cells; the longer side gets pixelCount of them, the other its share
  // rounded to the nearest (halves to even, the default rounding mode).
  if (H >= W) {
    w.CellSize = H / n;
    w.Height = static_cast<int>(pixelCount);
    w.Width = static_cast<int>(std::nearbyint(W / w.CellSize));
  } else {
    w.CellSize = W / n;
    w.Width = static_cast<int>(pixelCount);
    w.Height = static_cast<int>(std::nearbyint(H / w.CellSize));
  }
  if (!(w.CellSize > 0)) return WindowStatus::kNoExtent;
  if (w.Width < 1 || w.Height < 1) return WindowStatus::kSideWithoutCells;
  w.HalfCell = w.CellSize / 2;
  return WindowStatus::kOk;
}

}  // namespace anamorfosi
