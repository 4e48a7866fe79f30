// The sample lattice of a rectangular picture face. Neighbouring pixels share
// their corners and the sample points along their common sides, so instead of
// walking round every pixel on its own (4 x Accuracy rays a pixel) the mapping
// traces each distinct point of a band of pixels once and assembles every
// pixel's polygon from the traced points: at Accuracy 1 a quarter of the rays,
// at Accuracy 4 about three sevenths.
//
// The points are placed by the same steps as SamplePixel: a pixel's top-left
// corner, the points along its top side and those along its right side exactly
// as there; its bottom and left sides are its neighbours' top and right. On a
// rectangle these are the points the pixel's own walk reaches, up to the last
// bits of their rounding.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/mapping.h"

// Opposite sides equal and parallel, and a right angle at C1, each to 1e-10 of
// the face's size. Far below that, the two ways of reaching a point differ
// only by rounding; far above it, a face drawn as a rectangle in a DXF (six or
// more significant digits) would still be walked pixel by pixel.

namespace anamorfosi {
inline constexpr Real kRectangleTolerance = 1e-10_r;
inline bool IsRectangularFace(const Face& f) {
  const Point3 top = f.C2 - f.C1, side = f.C4 - f.C1, bottom = f.C3 - f.C4, right = f.C3 - f.C2;
  const Real size = std::sqrt(Dot(top, top)) + std::sqrt(Dot(side, side));
  if (!(size > 0)) return false;
  const Real tol = kRectangleTolerance * size;
  const Point3 dTop = top - bottom, dSide = side - right;
  return std::sqrt(Dot(dTop, dTop)) <= tol && std::sqrt(Dot(dSide, dSide)) <= tol &&
         std::fabs(Dot(top, side)) <= tol * size;
}

// Whether a picture of that many rows is mapped on the lattice: a rectangular
// face that holds every row. A row below the face's bottom edge is walked as
// the programs walk it, its right side turning back up toward that edge.
inline bool OnLattice(const MappingSetup& s, int pictureHeight) {
  const Real height = Distance3(s.PictureFace.C1, s.PictureFace.C4);
  return !s.PerPixelWalk && IsRectangularFace(s.PictureFace) &&
         pictureHeight * RowStepOf(s) <= height * (1 + kRectangleTolerance);
}

// The traced lattice of one batch: the pixels of columns Col0..Col1 in rows
// Row0..Row1 (from 1). Line L of the face (v = L * FaceStep, L = Row0 - 1 ..
// Row1) holds the corners and the points between them, point k = i * a + m at
// u = (i + m / a) * FaceStep for column line i; each row of pixels has, on
// every column line, the a - 1 points between its top and bottom corners.
struct Lattice {
  int Accuracy = 1;
  int Row0 = 1, Row1 = 0, Col0 = 1, Col1 = 0;
  std::vector<Point2> Along;          // (rows + 1) lines of (cols * a + 1) points
  std::vector<std::uint8_t> AlongHit;
  std::vector<Point2> Down;           // rows x (cols + 1) column lines x (a - 1) points
  std::vector<std::uint8_t> DownHit;
  // The line kept from the batch before, already traced (-1: none).
  int KeptLine = -1;
  // Where column line i meets the face's top and bottom edges (SamplePixel's A
  // and B), for i = 0 .. picture width, found once for the whole picture.
  std::vector<Point3> Top, Bottom;

  int Cols() const { return Col1 - Col0 + 1; }
  int Rows() const { return Row1 - Row0 + 1; }
  std::size_t LinePoints() const { return static_cast<std::size_t>(Cols()) * Accuracy + 1; }
  std::size_t AlongAt(int line, int k) const {
    return static_cast<std::size_t>(line - (Row0 - 1)) * LinePoints() + static_cast<std::size_t>(k);
  }
  std::size_t DownAt(int row, int columnLine, int m) const {
    return (static_cast<std::size_t>(row - Row0) * (Cols() + 1) + static_cast<std::size_t>(columnLine - (Col0 - 1))) *
               (Accuracy - 1) +
           static_cast<std::size_t>(m - 1);
  }
};

// Sizes the lattice l for a batch; the last line of the batch before (in
// `before`, which may be l itself) becomes this one's first, already traced,
// when it lies right above it over the same columns.
inline void StartLattice(Lattice& l, const Lattice& before, int accuracy, int row0, int row1, int col0, int col1) {
  const Lattice& b = before;
  const bool keep =
      b.Accuracy == accuracy && b.Row1 == row0 - 1 && b.Col0 == col0 && b.Col1 == col1 && b.Row1 >= b.Row0;
  const std::size_t linePoints = static_cast<std::size_t>(col1 - col0 + 1) * accuracy + 1;
  const std::size_t rows = static_cast<std::size_t>(row1 - row0 + 1);
  const std::size_t down = rows * static_cast<std::size_t>(col1 - col0 + 2) * static_cast<std::size_t>(accuracy - 1);
  const std::size_t from = keep ? b.AlongAt(b.Row1, 0) : 0;
  // The kept line goes to the front; in a lattice of its own before the
  // resize, which could cut it off, in another after it.
  auto keepLine = [&] {
    if (!keep) return;
    const auto at = static_cast<long>(from), end = static_cast<long>(from + linePoints);
    std::copy(b.Along.begin() + at, b.Along.begin() + end, l.Along.begin());
    std::copy(b.AlongHit.begin() + at, b.AlongHit.begin() + end, l.AlongHit.begin());
  };
  if (&b == &l) keepLine();
  l.Along.resize((rows + 1) * linePoints);
  l.AlongHit.resize((rows + 1) * linePoints);
  if (&b != &l) keepLine();
  l.Down.resize(down);
  l.DownHit.resize(down);
  l.KeptLine = keep ? row0 - 1 : -1;
  l.Accuracy = accuracy;
  l.Row0 = row0;
  l.Row1 = row1;
  l.Col0 = col0;
  l.Col1 = col1;
}
inline void StartLattice(Lattice& l, int accuracy, int row0, int row1, int col0, int col1) {
  StartLattice(l, l, accuracy, row0, row1, col0, col1);
}

// Rays of one task: this many points of a face line, or the side points of
// this many column lines.
inline constexpr int kLatticeAlongBlock = 256;
inline constexpr int kLatticeDownBlock = 64;

inline long LatticeAlongTasksPerLine(const Lattice& l) {
  return (static_cast<long>(l.LinePoints()) + kLatticeAlongBlock - 1) / kLatticeAlongBlock;
}
inline long LatticeDownTasksPerRow(const Lattice& l) {
  return l.Accuracy > 1 ? (l.Cols() + 1 + kLatticeDownBlock - 1) / kLatticeDownBlock : 0;
}
inline long LatticeTraceTasks(const Lattice& l) {
  const long lines = l.Rows() + 1 - (l.KeptLine >= 0 ? 1 : 0);
  return lines * LatticeAlongTasksPerLine(l) + static_cast<long>(l.Rows()) * LatticeDownTasksPerRow(l);
}

// Fills the lattice's column lines for a picture of the given width.
inline void PlaceLatticeColumns(Lattice& l, const MappingSetup& s, int width) {
  const Face& f = s.PictureFace;
  l.Top.resize(static_cast<std::size_t>(width) + 1);
  l.Bottom.resize(static_cast<std::size_t>(width) + 1);
  for (int i = 0; i <= width; ++i) {
    const Real pu = i * s.FaceStep;
    l.Top[i] = PointToward(f.C1, f.C2, pu);
    l.Bottom[i] = PointToward(f.C4, f.C3, pu);
  }
}

// The face point of corner (i, line): as SamplePixel's K1 of pixel (i + 1, line + 1).
inline Point3 LatticeCorner(const MappingSetup& s, const Lattice& l, int i, int line) {
  return PointToward(l.Top[i], l.Bottom[i], line * RowStepOf(s));
}

// The face point of point k of a face line: a corner, or a point along the
// top side of the pixel right of it (toward E, the right edge's point at the
// line's height), the distance summed step by step as along the pixel's side.
inline Point3 LatticeAlongPoint(const MappingSetup& s, const Lattice& l, int line, long k, Point3 E) {
  const int a = l.Accuracy;
  const int i = l.Col0 - 1 + static_cast<int>(k / a), m = static_cast<int>(k % a);
  const Point3 corner = LatticeCorner(s, l, i, line);
  if (m == 0) return corner;
  Real t = 0;
  for (int j = 0; j < m; ++j) t += s.FaceSubStep;
  return PointToward(corner, E, t);
}

// Points k0..k1-1 of a face line with a quarter of the rays, on a mirror
// whose reflection bends smoothly: the points k = 0 mod 4 are traced (and,
// apart, up to kInterpolationHalo beyond the task's ends); each point k = 2
// mod 4 is the cubic through its four nearest traced neighbours, then each
// odd one the cubic through its four nearest even ones, unless one of them
// missed, the line ends within their reach, or the curve bends too sharply
// there for the cubic to hold: then it is traced too. The test is the fourth
// difference of five points that span the cubic's four: on a smooth curve the
// cubic strays midway by about 3/128 of it; a kink or a jump between them
// makes it large.
inline constexpr int kInterpolationHalo = 15;
// The largest fourth difference interpolated over, in samples: far below the
// 0.05 of a sample by which a chord may already stray from a pixel's true
// side (see AccuracyFor), far above the rays' rounding.
inline constexpr Real kInterpolationStray = 0.002_r;

template <class Mirror>
void TraceAlongInterpolated(const Mirror& mirror, const MappingSetup& s, Lattice& l, int line, long k0, long k1,
                            Point3 E) {
  MissRecord ignored;
  const long last = static_cast<long>(l.LinePoints()) - 1;
  const long from = std::max(0L, k0 - kInterpolationHalo), to = std::min(last, k1 - 1 + kInterpolationHalo);
  constexpr int room = kLatticeAlongBlock + 2 * kInterpolationHalo;
  Point2 found[room];
  bool hit[room] = {}, known[room] = {};
  auto slot = [&](long k) { return static_cast<int>(k - from); };
  auto trace = [&](long k) {
    Point3 p = LatticeAlongPoint(s, l, line, k, E);
    hit[slot(k)] = ReflectRay(mirror, s.ProjectionCentre, p, p, ignored);
    found[slot(k)] = {p.x, p.y};
    known[slot(k)] = true;
  };
  const Real limit = kInterpolationStray * s.Window.CellSize;
  auto usable = [&](long k) { return k >= from && k <= to && known[slot(k)] && hit[slot(k)]; };
  // Point k from the known points h, 3h (and, for the test, 5h) either side;
  // traced when the cubic cannot be trusted.
  auto fill = [&](long k, long h) {
    bool interpolate = usable(k - 3 * h) && usable(k - h) && usable(k + h) && usable(k + 3 * h);
    if (interpolate) {
      // The fourth difference over five points round k, on whichever side has them.
      const long f0 = usable(k + 5 * h) ? k - 3 * h : k - 5 * h;
      interpolate = usable(f0) && usable(f0 + 8 * h);
      if (interpolate) {
        const Point2 &a = found[slot(f0)], &b = found[slot(f0 + 2 * h)], &c = found[slot(f0 + 4 * h)],
                     &d = found[slot(f0 + 6 * h)], &e = found[slot(f0 + 8 * h)];
        const Real dx = a.x - 4 * b.x + 6 * c.x - 4 * d.x + e.x, dy = a.y - 4 * b.y + 6 * c.y - 4 * d.y + e.y;
        interpolate = std::fabs(dx) <= limit && std::fabs(dy) <= limit;
      }
    }
    if (!interpolate) return trace(k);
    const Point2 &a = found[slot(k - 3 * h)], &b = found[slot(k - h)], &c = found[slot(k + h)],
                 &d = found[slot(k + 3 * h)];
    found[slot(k)] = {(9 * (b.x + c.x) - (a.x + d.x)) / 16, (9 * (b.y + c.y) - (a.y + d.y)) / 16};
    hit[slot(k)] = true;
    known[slot(k)] = true;
  };
  for (long k = (from + 3) / 4 * 4; k <= to; k += 4) trace(k);
  // The points 2 mod 4 that the odd ones of the task reach (5 either side), from the traced.
  const long evenFrom = std::max(from, k0 - 5), evenTo = std::min(to, k1 + 4);
  for (long k = evenFrom; k <= evenTo; ++k) {
    if (k % 4 == 2) fill(k, 2);
  }
  for (long k = k0; k < k1; ++k) {
    if (k % 2 != 0) fill(k, 1);
    const std::size_t at = l.AlongAt(line, static_cast<int>(k));
    l.AlongHit[at] = hit[slot(k)];
    l.Along[at] = found[slot(k)];
  }
}

// Traces the points of one task. The rays' misses are not counted here: the
// assembly counts them for every pixel that uses the point, as its own walk would.
template <class Mirror>
void TraceLatticeTask(const Mirror& mirror, const MappingSetup& s, Lattice& l, long task) {
  MissRecord ignored;
  const int a = l.Accuracy;
  const long perLine = LatticeAlongTasksPerLine(l);
  const int firstLine = l.KeptLine >= 0 ? l.Row0 : l.Row0 - 1;
  const long alongTasks = static_cast<long>(l.Row1 - firstLine + 1) * perLine;
  const Face& f = s.PictureFace;
  if (task < alongTasks) {
    const int line = firstLine + static_cast<int>(task / perLine);
    const long k0 = (task % perLine) * kLatticeAlongBlock;
    const long k1 = std::min<long>(static_cast<long>(l.LinePoints()), k0 + kLatticeAlongBlock);
    // The right edge's point at the line's height, toward which a top side runs.
    const Point3 E = PointToward(f.C2, f.C3, line * RowStepOf(s));
    if (s.InterpolateAlong) return TraceAlongInterpolated(mirror, s, l, line, k0, k1, E);
    Point3 corner;
    for (long k = k0; k < k1; ++k) {
      const int i = l.Col0 - 1 + static_cast<int>(k / a), m = static_cast<int>(k % a);
      Point3 p;
      if (m == 0 || k == k0) corner = LatticeCorner(s, l, i, line);
      if (m == 0) {
        p = corner;
      } else {
        // The distance summed step by step, as along a pixel's top side.
        Real t = 0;
        for (int j = 0; j < m; ++j) t += s.FaceSubStep;
        p = PointToward(corner, E, t);
      }
      const std::size_t at = l.AlongAt(line, static_cast<int>(k));
      l.AlongHit[at] = ReflectRay(mirror, s.ProjectionCentre, p, p, ignored);
      l.Along[at] = {p.x, p.y};
    }
    return;
  }
  task -= alongTasks;
  const long perRow = LatticeDownTasksPerRow(l);
  const int row = l.Row0 + static_cast<int>(task / perRow);
  const int i0 = l.Col0 - 1 + static_cast<int>((task % perRow) * kLatticeDownBlock);
  const int i1 = std::min(l.Col1, i0 + kLatticeDownBlock - 1);
  const Point3 E = PointToward(f.C2, f.C3, (row - 1) * RowStepOf(s));
  const Real rowSubStep = RowSubStepOf(s);
  for (int i = i0; i <= i1; ++i) {
    // As the right side of the pixel left of the line runs in its own walk:
    // from the end of its top side toward the bottom edge one pixel on from
    // its own column. The picture's left edge has no such pixel: from the
    // corner, straight down.
    Point3 start, toward;
    if (i == 0) {
      start = LatticeCorner(s, l, 0, row - 1);
      toward = l.Bottom[0];
    } else {
      Real t = 0;
      for (int m = 0; m < a; ++m) t += s.FaceSubStep;
      start = PointToward(LatticeCorner(s, l, i - 1, row - 1), E, t);
      toward = PointToward(l.Bottom[i - 1], f.C3, s.FaceStep);
    }
    Real t = 0;
    for (int m = 1; m < a; ++m) {
      t += rowSubStep;
      Point3 p = PointToward(start, toward, t);
      const std::size_t at = l.DownAt(row, i, m);
      l.DownHit[at] = ReflectRay(mirror, s.ProjectionCentre, p, p, ignored);
      l.Down[at] = {p.x, p.y};
    }
  }
}

// Whether pixel (col, row) reaches, within a hair, the border of the mirror's
// axial step: its points may fall either side of that border depending on
// how they are reached, and the step moves their image far.
inline bool NearAxialBorder(const MappingSetup& s, const Lattice& l, int col, int row) {
  const Real tol = s.AxialTolerance;
  if (!(tol > 0)) return false;
  const Point3 e = s.ProjectionCentre;
  // Far above the rounding of a face point, far below a pixel.
  const Real hair = 1e-9_r * (std::fabs(e.x) + std::fabs(e.y) + Distance3(s.PictureFace.C1, s.PictureFace.C2));
  Real x0 = 1e30_r, x1 = -1e30_r, y0 = 1e30_r, y1 = -1e30_r;
  for (const auto& [i, line] : {std::pair{col - 1, row - 1}, std::pair{col, row - 1}, std::pair{col, row},
                                std::pair{col - 1, row}}) {
    const Point3 p = LatticeCorner(s, l, i, line);
    x0 = std::min(x0, p.x - e.x);
    x1 = std::max(x1, p.x - e.x);
    y0 = std::min(y0, p.y - e.y);
    y1 = std::max(y1, p.y - e.y);
  }
  auto crosses = [&](Real lo, Real hi, Real at) { return lo - hair <= at && hi + hair >= at; };
  auto within = [&](Real lo, Real hi) { return lo <= tol + hair && hi >= -tol - hair; };
  return ((crosses(x0, x1, tol) || crosses(x0, x1, -tol)) && within(y0, y1)) ||
         ((crosses(y0, y1, tol) || crosses(y0, y1, -tol)) && within(x0, x1));
}

// Pixel (col, row) of the batch from the traced lattice: its polygon in the
// order of SamplePixel (top-left corner, then round by the top, right, bottom
// and left sides), its misses counted once for each sample, then the rest of
// TracePixel. A pixel at the border of the axial step is walked on its own.
template <class Mirror>
PixelTrace AssembleLatticePixel(const Mirror& mirror, const MappingSetup& s, const Lattice& l, int col, int row,
                                Point2* polygon, MissRecord& misses) {
  if (NearAxialBorder(s, l, col, row)) return TracePixel(mirror, s, col, row, polygon, misses);
  const int a = l.Accuracy, top = row - 1, bottom = row;
  const int left = (col - 1 - (l.Col0 - 1)) * a, right = left + a;
  int n = 0, missed = 0;
  auto take = [&](const Point2& p, std::uint8_t hit) {
    polygon[n++] = p;
    missed += hit == 0;
  };
  auto along = [&](int line, int k) {
    const std::size_t at = l.AlongAt(line, k);
    take(l.Along[at], l.AlongHit[at]);
  };
  auto down = [&](int columnLine, int m) {
    const std::size_t at = l.DownAt(row, columnLine, m);
    take(l.Down[at], l.DownHit[at]);
  };
  along(top, left);
  for (int k = 1; k <= a; ++k) along(top, left + k);
  for (int m = 1; m < a; ++m) down(col, m);
  along(bottom, right);
  for (int k = 1; k <= a; ++k) along(bottom, right - k);
  for (int m = a - 1; m >= 1; --m) down(col - 1, m);
  polygon[n] = polygon[0];
  misses.MissCount += missed;
  misses.RayError = misses.RayError || missed > 0;
  // The centre, as SamplePixel finds it between the top-left and bottom-right corners.
  Point3 middle;
  if (s.AxisExclusion) {
    const Point3 k1 = LatticeCorner(s, l, col - 1, top), k3 = LatticeCorner(s, l, col, bottom);
    middle = PointToward(k1, k3, Distance3(k1, k3) / 2);
  }
  return FinishTrace(mirror, s, middle, polygon, n, missed == 0, misses);
}

}  // namespace anamorfosi
