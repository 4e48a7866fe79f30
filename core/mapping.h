// The mapping of one input pixel: its small square on the picture face is
// walked round with 4 * Accuracy sample points, each is reflected onto Z = 0,
// and every output cell whose centre lies inside the reflected polygon takes the
// pixel's colour.
//
// Tracing (the rays) and painting (the cells) are separate steps so that the
// run can trace many pixels on several threads and still paint them in reading
// order. Nothing is allocated here.
#pragma once

#include <algorithm>
#include <cmath>

#include "core/errors.h"
#include "core/geometry.h"
#include "core/mirror.h"
#include "core/raster.h"
#include "core/window.h"

namespace anamorfosi {

inline constexpr int kMaxPolygon = 81;  // 4 * 20 sample points and the closing copy
inline constexpr int OutsideCell = -999;
inline constexpr Real ExclusionScale = 10;

struct Point2 {
  Real x = 0, y = 0;
};

// What the mapping of every pixel of a run shares; fixed before the first pixel.
struct MappingSetup {
  Face PictureFace;
  Point3 ProjectionCentre;
  Real FaceStep = 0;     // side of one input pixel on the picture face
  Real FaceSubStep = 0;  // FaceStep / Accuracy
  // The height of one input pixel on the face and its Accuracy-th part, when a
  // picture read smaller down than across has pixels taller than wide; 0:
  // square pixels, FaceStep and FaceSubStep (the programs').
  Real RowStep = 0, RowSubStep = 0;
  int Accuracy = 1;
  OutputWindow Window;
  // The axis step of the vertical-axis mirrors: a pixel whose reflected polygon,
  // enlarged tenfold about the image of the pixel's centre, surrounds the axis
  // foot is left out (its image would wrap round the axis); so is one whose
  // polygon itself reaches the foot or winds round it (see ReachesAxisFoot).
  bool AxisExclusion = false;
  Point2 AxisFoot;
  // Face points within this of the projection centre in x and in y are sent
  // by the mirror along its axis (the cone's axial ray, generico's vertical
  // mode): a step in the model, which the lattice leaves to each pixel's walk.
  Real AxialTolerance = 0;
  // Each pixel walked round on its own even when the face is a rectangle,
  // whose pixels share their sample points (to measure one against the other).
  bool PerPixelWalk = false;
  // On the lattice, every other point of a face line interpolated between
  // traced ones where the curve allows it (see TraceAlongInterpolated): only
  // for a mirror whose reflection bends smoothly everywhere.
  bool InterpolateAlong = false;
};

// The side of one input pixel on the picture face: the face's first side
// shared by the picture's columns. A side of no length (or none a number)
// places no picture: RunStopped, in the programs' words.
inline Real FaceStepOf(const Face& face, int inputWidth) {
  const Real step = Distance3(face.C1, face.C2) / inputWidth;
  if (!(step > 0) || !std::isfinite(step)) {
    throw RunStopped("ERRORE: il primo lato della faccia per l'immagine ha lunghezza nulla: impossibile "
                     "collocare l'immagine");
  }
  return step;
}

inline Real RowStepOf(const MappingSetup& s) { return s.RowStep > 0 ? s.RowStep : s.FaceStep; }
inline Real RowSubStepOf(const MappingSetup& s) { return s.RowSubStep > 0 ? s.RowSubStep : s.FaceSubStep; }

// The cells a traced pixel may paint, or nothing.
struct PixelTrace {
  bool Paint = false;  // false: a sample ray missed, or the axis step left it out
  int Count = 0;       // polygon points, the closing copy included
  int ColLo = 0, ColHi = 0, RowLo = 0, RowHi = 0;
};

// Column and row of the cell holding (x, y), each OutsideCell when outside the
// window; indices are truncated toward zero, so a point less than one cell
// left of MinX (or above MaxY) still gets index 1.
inline void CellOf(const OutputWindow& w, Real x, Real y, int& col, int& row) {
  const Real c = (x - w.MinX) / w.CellSize;
  const Real r = (w.MaxY - y) / w.CellSize;
  // Compared before converting, so that far or undefined points never overflow.
  col = (c > -1 && c < w.Width) ? static_cast<int>(c) + 1 : OutsideCell;
  row = (r > -1 && r < w.Height) ? static_cast<int>(r) + 1 : OutsideCell;
}

// Crossing-number test over the closed polygon v[0..count-1] (v[count-1]
// repeats v[0]). A point within 1e-6 of a vertex, within 1e-9 of an edge
// crossing, or on a horizontal edge is outside.
inline bool PointInPolygon(Real x, Real y, const Point2* v, int count) {
  int crossings = 0;
  Real dx0 = v[0].x - x, dy0 = v[0].y - y;
  for (int i = 0; i < count; ++i) {
    const Real dx1 = v[i].x - x, dy1 = v[i].y - y;
    if (std::fabs(dx1) < 1e-6_r && std::fabs(dy1) < 1e-6_r) return false;
    if ((dy1 > 0) != (dy0 > 0)) {
      // Signed distance along x from the point to where the edge crosses its row.
      const Real xc = dx0 + (dx0 - dx1) * dy0 / (dy1 - dy0);
      if (std::fabs(xc) < 1e-9_r) return false;
      if (xc > 0) ++crossings;
    } else if (std::fabs(dy0) < 1e-6_r && std::fabs(dy1) < 1e-6_r && dx0 * dx1 < 0) {
      return false;
    }
    dx0 = dx1;
    dy0 = dy1;
  }
  return (crossings & 1) != 0;
}

// The pixel's sample points on the picture face, unreflected: K1 (top-left)
// and on round the border, 4 * Accuracy points; also its centre, the midpoint
// of K1 and K3.
inline void SamplePixel(const MappingSetup& s, int col, int row, Point3* out, Point3& centre) {
  const Face& f = s.PictureFace;
  const int a = s.Accuracy;
  const Real step = s.FaceStep, rowStep = RowStepOf(s), rowSubStep = RowSubStepOf(s);
  const Real pu = (col - 1) * step, pv = (row - 1) * rowStep;
  const Point3 A = PointToward(f.C1, f.C2, pu);
  const Point3 B = PointToward(f.C4, f.C3, pu);
  const Point3 k1 = PointToward(A, B, pv);
  int n = 0;
  out[n++] = k1;
  // Top side, toward the right edge of the face.
  const Point3 E = PointToward(f.C2, f.C3, pv);
  Real t = 0;
  for (int k = 1; k <= a; ++k) {
    t += s.FaceSubStep;
    out[n++] = PointToward(k1, E, t);
  }
  const Point3 k2 = out[n - 1];
  // Right side, toward the bottom edge.
  const Point3 F = PointToward(B, f.C3, step);
  t = 0;
  for (int k = 1; k <= a; ++k) {
    t += rowSubStep;
    out[n++] = PointToward(k2, F, t);
  }
  const Point3 k3 = out[n - 1];
  // Bottom side, toward the left edge.
  const Point3 G = PointToward(f.C1, f.C4, pv + rowStep);
  t = 0;
  for (int k = 1; k <= a; ++k) {
    t += s.FaceSubStep;
    out[n++] = PointToward(k3, G, t);
  }
  const Point3 k4 = out[n - 1];
  // Left side, stopping one step short of K1.
  t = 0;
  for (int k = 1; k < a; ++k) {
    t += rowSubStep;
    out[n++] = PointToward(k4, A, t);
  }
  centre = PointToward(k1, k3, Distance3(k1, k3) / 2);
}

// Whether the closed polygon v[0..count-1] (v[count-1] repeats v[0]) comes
// within reach of foot, on a vertex or along an edge, or winds round it.
// No true image of a vertical-axis mirror does either: the cone's lie outside
// its base circle, where a pixel's small polygon cannot surround the axis. A
// polygon that does holds samples the mirror sent down its axis (the axial
// step lands them on the foot, or straight below the face point in
// generico's vertical mode) or samples on both sides of the apex, and its
// fan from the foot or its ring round it would paint the whole middle of the
// print. The tenfold test of the axis step misses such a polygon when the
// pixel's centre itself is sent down the axis: on the foot, enlarging about
// it leaves the samples there on the foot, and a vertex counts as outside; by
// the foot (generico), the enlarged cluster of those samples may pass it by.
inline bool ReachesAxisFoot(Point2 foot, Real reach, const Point2* v, int count) {
  // Nearly every polygon lies clear of the foot: its box tells at once.
  Real x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
  for (int i = 1; i < count; ++i) {
    x0 = std::min(x0, v[i].x);
    x1 = std::max(x1, v[i].x);
    y0 = std::min(y0, v[i].y);
    y1 = std::max(y1, v[i].y);
  }
  if (foot.x < x0 - reach || foot.x > x1 + reach || foot.y < y0 - reach || foot.y > y1 + reach) return false;
  // The winding number, no angles needed: an edge crossing the foot's row
  // upward with the foot on its left counts one way round, one crossing it
  // downward with the foot on its right the other.
  int winding = 0;
  for (int i = 1; i < count; ++i) {
    const Real ax = v[i - 1].x - foot.x, ay = v[i - 1].y - foot.y, bx = v[i].x - foot.x, by = v[i].y - foot.y;
    // Distance from the foot to the edge, the nearest point clamped to its ends.
    const Real ex = bx - ax, ey = by - ay, l2 = ex * ex + ey * ey;
    const Real t = l2 > 0 ? std::clamp(-(ax * ex + ay * ey) / l2, Real(0), Real(1)) : Real(0);
    if (std::hypot(ax + t * ex, ay + t * ey) <= reach) return true;
    const Real cross = ax * by - ay * bx;
    if (ay <= 0) {
      if (by > 0 && cross > 0) ++winding;
    } else if (by <= 0 && cross < 0) {
      --winding;
    }
  }
  return winding != 0;
}

// How near the axis foot a reflected sample may land and still count as sent
// down the axis: the axial step takes face points within AxialTolerance of the
// projection centre in x and in y, and lands them on the foot (the cone) or
// straight below themselves (generico's vertical mode), so within
// AxialTolerance * sqrt(2) of it; the millionth more covers the rounding of that
// bound and of the edge distance, and is far below any true image's distance.
inline Real AxisFootReach(const MappingSetup& s) { return s.AxialTolerance * std::sqrt(Real(2)) * (1 + 1e-6_r); }

// The end of a pixel's trace once its border is reflected into polygon (n
// points, then the closing copy), allHit telling whether every sample reached
// the sheet: the axis step (whose centre ray is traced here, and counted when it
// misses), then the range of cells it may paint.
template <class Mirror>
PixelTrace FinishTrace(const Mirror& mirror, const MappingSetup& s, Point3 middle, const Point2* polygon, int n,
                       bool allHit, MissRecord& misses) {
  PixelTrace trace;
  trace.Count = n + 1;
  if (s.AxisExclusion) {
    Point3 c;
    if (!ReflectRay(mirror, s.ProjectionCentre, middle, c, misses)) return trace;
    if (!allHit) return trace;
    Point2 grown[kMaxPolygon];
    for (int i = 0; i <= n; ++i) {
      grown[i] = {(polygon[i].x - c.x) * ExclusionScale + c.x, (polygon[i].y - c.y) * ExclusionScale + c.y};
    }
    if (PointInPolygon(s.AxisFoot.x, s.AxisFoot.y, grown, n + 1)) return trace;
    if (ReachesAxisFoot(s.AxisFoot, AxisFootReach(s), polygon, n + 1)) return trace;
  }
  if (!allHit) return trace;
  // Cells of the vertices; an index outside the window lowers the start of the
  // range to OutsideCell and does not raise its end.
  int colLo = 300000, colHi = -300000, rowLo = 300000, rowHi = -300000;
  for (int i = 0; i < n; ++i) {
    int c, r;
    CellOf(s.Window, polygon[i].x, polygon[i].y, c, r);
    if (c < colLo) colLo = c;
    if (c > colHi) colHi = c;
    if (r < rowLo) rowLo = r;
    if (r > rowHi) rowHi = r;
  }
  trace.Paint = true;
  trace.ColLo = colLo < 1 ? 1 : colLo;
  trace.ColHi = colHi;
  trace.RowLo = rowLo < 1 ? 1 : rowLo;
  trace.RowHi = rowHi;
  return trace;
}

// Reflects the pixel's border into polygon (kMaxPolygon points of room) and
// finds the range of cells it may paint.
template <class Mirror>
PixelTrace TracePixel(const Mirror& mirror, const MappingSetup& s, int col, int row, Point2* polygon,
                      MissRecord& misses) {
  Point3 points[kMaxPolygon];
  Point3 middle;
  SamplePixel(s, col, row, points, middle);
  const int n = 4 * s.Accuracy;
  bool allHit = true;
  for (int i = 0; i < n; ++i) {
    Point3& p = points[i];
    // Every sample is traced, so that the miss count does not depend on order.
    allHit &= ReflectRay(mirror, s.ProjectionCentre, p, p, misses);
    polygon[i] = {p.x, p.y};
  }
  polygon[n] = polygon[0];
  return FinishTrace(mirror, s, middle, polygon, n, allHit, misses);
}

// PointInPolygon for the cell centres of one row: the parts of the test that
// depend only on the row (each vertex's height above it, which edges cross
// it, which vertices and flat edges lie within 1e-6 of it) are found once, and
// each centre is tested against those alone, with the same arithmetic; the
// answer is PointInPolygon's, which does not depend on the order of its edges.
struct RowTest {
  Real Dy[kMaxPolygon];
  int Crossing[kMaxPolygon], Near[kMaxPolygon], Flat[kMaxPolygon];
  int Crossings = 0, Nears = 0, Flats = 0;
};

inline void PrepareRowTest(RowTest& t, Real y, const Point2* v, int count) {
  t.Crossings = t.Nears = t.Flats = 0;
  for (int i = 0; i < count; ++i) {
    t.Dy[i] = v[i].y - y;
    if (std::fabs(t.Dy[i]) < 1e-6_r) t.Near[t.Nears++] = i;
    if (i == 0) continue;
    const Real dy0 = t.Dy[i - 1], dy1 = t.Dy[i];
    if ((dy1 > 0) != (dy0 > 0))
      t.Crossing[t.Crossings++] = i;
    else if (std::fabs(dy0) < 1e-6_r && std::fabs(dy1) < 1e-6_r)
      t.Flat[t.Flats++] = i;
  }
}

inline bool InsideOnRow(const RowTest& t, Real x, const Point2* v) {
  for (int k = 0; k < t.Nears; ++k) {
    if (std::fabs(v[t.Near[k]].x - x) < 1e-6_r) return false;
  }
  for (int k = 0; k < t.Flats; ++k) {
    const int i = t.Flat[k];
    if ((v[i - 1].x - x) * (v[i].x - x) < 0) return false;
  }
  int crossings = 0;
  for (int k = 0; k < t.Crossings; ++k) {
    const int i = t.Crossing[k];
    const Real dx0 = v[i - 1].x - x, dx1 = v[i].x - x, dy0 = t.Dy[i - 1], dy1 = t.Dy[i];
    const Real xc = dx0 + (dx0 - dx1) * dy0 / (dy1 - dy0);
    if (std::fabs(xc) < 1e-9_r) return false;
    if (xc > 0) ++crossings;
  }
  return (crossings & 1) != 0;
}

// Paints the cells of a traced pixel whose centres lie inside its polygon,
// only in the columns firstCol..lastCol (a thread's share of the raster).
inline void PaintPixel(const MappingSetup& s, const PixelTrace& trace, const Point2* polygon, Rgb colour,
                       OutputRaster& raster, int firstCol, int lastCol) {
  if (!trace.Paint) return;
  const int c0 = trace.ColLo > firstCol ? trace.ColLo : firstCol;
  const int c1 = trace.ColHi < lastCol ? trace.ColHi : lastCol;
  if (c0 > c1) return;
  const OutputWindow& w = s.Window;
  // Rounding allowance between the crossings found here and the ones
  // PointInPolygon finds for a given cell centre: far above the rounding of
  // either, far below a cell.
  const Real slack = 1e-9_r * (std::fabs(w.MinX) + std::fabs(w.MaxX) + w.CellSize);
  // Columns per unit, for the column bounds below (found in double).
  const double perUnit = 1 / static_cast<double>(w.CellSize);
  RowTest test;
  for (int r = trace.RowLo; r <= trace.RowHi; ++r) {
    const Real y = w.MaxY - r * w.CellSize + w.HalfCell;
    PrepareRowTest(test, y, polygon, trace.Count);
    if (test.Crossings == 0) continue;
    // Where the polygon's edges cross this row. A centre left of every
    // crossing sees an even number of them to its right, one right of every
    // crossing sees none: both are outside, so only the cells between the
    // first and the last crossing need the full test.
    Real lo = 0, hi = 0;
    for (int k = 0; k < test.Crossings; ++k) {
      const int i = test.Crossing[k];
      const Real dy0 = test.Dy[i - 1], dy1 = test.Dy[i];
      const Real xc = polygon[i - 1].x + (polygon[i - 1].x - polygon[i].x) * dy0 / (dy1 - dy0);
      if (k == 0 || xc < lo) lo = xc;
      if (k == 0 || xc > hi) hi = xc;
    }
    // With just two crossings and no vertex within PointInPolygon's 1e-6 of
    // the row, a centre farther than its 1e-9 (and the allowance) inside both
    // has one crossing to its right: inside, as the full test would find; one
    // as far outside either has both crossings or neither to its right:
    // outside. Only centres within that of a crossing need the full test.
    const bool plain = test.Crossings == 2 && test.Nears == 0;
    const Real innerLo = lo + 1e-9_r + slack, innerHi = hi - 1e-9_r - slack;
    const Real outerLo = lo - 1e-9_r - slack, outerHi = hi + 1e-9_r + slack;
    // Columns whose centres lie within [lo, hi], widened by the allowance and
    // by one column more each way; every cell between is tested, so the bounds
    // are found in double precision, whose rounding the extra column covers.
    const double first = std::floor(static_cast<double>(lo - slack - w.MinX + w.HalfCell) * perUnit) - 1;
    const double last = std::ceil(static_cast<double>(hi + slack - w.MinX + w.HalfCell) * perUnit) + 1;
    if (!(first <= c1) || !(last >= c0)) continue;
    const int from = first > c0 ? static_cast<int>(first) : c0;
    const int to = last < c1 ? static_cast<int>(last) : c1;
    for (int c = from; c <= to; ++c) {
      const Real x = w.MinX + c * w.CellSize - w.HalfCell;
      if (plain) {
        if (x > innerLo && x < innerHi) {
          raster.Set(c, r, colour);
          continue;
        }
        if (x < outerLo || x > outerHi) continue;
      }
      if (InsideOnRow(test, x, polygon)) raster.Set(c, r, colour);
    }
  }
}

}  // namespace anamorfosi
