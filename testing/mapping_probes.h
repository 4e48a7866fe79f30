// Probes of the mapping for its tests and benchmarks: one pixel mapped on its
// own, one pixel on a lattice of its own, the distance to a polygon's edges.
// The product maps whole pictures (map_picture.h).
#pragma once

#include <algorithm>
#include <cmath>

#include "core/lattice.h"
#include "core/mapping.h"

// One pixel, traced and painted at once.

namespace anamorfosi {
template <class Mirror>
void MapPixel(const Mirror& mirror, const MappingSetup& s, int col, int row, Rgb colour, OutputRaster& raster,
              MissRecord& misses) {
  Point2 polygon[kMaxPolygon];
  const PixelTrace trace = TracePixel(mirror, s, col, row, polygon, misses);
  PaintPixel(s, trace, polygon, colour, raster, 1, raster.Width);
}

// The polygon of one pixel from a lattice of its own (for measuring the
// lattice against the pixel's walk); the trace as the mapping would make it.
template <class Mirror>
PixelTrace TraceOnOwnLattice(const Mirror& mirror, const MappingSetup& s, int pictureWidth, int col, int row,
                             Point2* polygon) {
  Lattice l;
  PlaceLatticeColumns(l, s, pictureWidth);
  StartLattice(l, s.Accuracy, row, row, col, col);
  for (long task = 0; task < LatticeTraceTasks(l); ++task) TraceLatticeTask(mirror, s, l, task);
  MissRecord ignored;
  return AssembleLatticePixel(mirror, s, l, col, row, polygon, ignored);
}

// Distance from (x, y) to the nearest edge of the closed polygon v[0..count-1].
inline Real DistanceToEdges(Real x, Real y, const Point2* v, int count) {
  Real best = 1e30_r;
  for (int i = 1; i < count; ++i) {
    const Real ex = v[i].x - v[i - 1].x, ey = v[i].y - v[i - 1].y, l2 = ex * ex + ey * ey;
    Real t = l2 > 0 ? ((x - v[i - 1].x) * ex + (y - v[i - 1].y) * ey) / l2 : 0;
    t = std::clamp(t, Real(0), Real(1));
    best = std::min(best, std::hypot(x - v[i - 1].x - t * ex, y - v[i - 1].y - t * ey));
  }
  return best;
}

}  // namespace anamorfosi
