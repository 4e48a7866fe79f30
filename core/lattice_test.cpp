// The lattice of a rectangular face paints what the walk of every pixel paints.
#include "core/lattice.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/map_picture.h"
#include "testing/mapping_probes.h"

namespace anamorfosi {

namespace {

// A curved mirror in effect: every face point lands where a smooth, uneven
// stretch of the face sends it; points beyond missAbove (in x) miss.
struct WavyMirror {
  Real missAbove = 1e30_r;
};
bool ReflectRay(const WavyMirror& m, Point3, Point3 p, Point3& result, MissRecord& misses) {
  if (p.x > m.missAbove) return RecordMiss(result, misses);
  result = {3 * p.x + 0.7_r * std::sin(p.z / 3) + 0.02_r * p.z * p.z, 2 * p.z + 0.5_r * std::cos(p.x / 4), 0};
  return true;
}

// A mirror with an axial step like the cone's: face points within tol of the
// eye in x and y land on the axis foot, the others spread out round it.
struct AxialMirror {
  Real tol = 0;
};
bool ReflectRay(const AxialMirror& m, Point3 eye, Point3 p, Point3& result, MissRecord&) {
  const Real dx = p.x - eye.x, dy = p.y - eye.y;
  if (std::fabs(dx) < m.tol && std::fabs(dy) < m.tol) {
    result = {eye.x, eye.y, 0};
    return true;
  }
  const Real r = std::hypot(dx, dy);
  result = {eye.x + dx * (1 + 4 / r), eye.y + dy * (1 + 4 / r), 0};
  return true;
}

// A rectangle standing in the plane y = x (a tilted face in space), 30 by 20
// units, its pixels mapped into a window of cells x cells.
MappingSetup Tilted(int accuracy, int pictureWidth, int cells) {
  MappingSetup s;
  const Real k = std::sqrt(0.5_r);
  const Point3 c1{0, 0, 25}, across{30 * k, 30 * k, 0}, down{0, 0, -20};
  s.PictureFace = {c1, c1 + across, c1 + across + down, c1 + down};
  s.ProjectionCentre = {-50, 50, 40};
  s.Accuracy = accuracy;
  s.FaceStep = 30.0_r / pictureWidth;
  s.FaceSubStep = s.FaceStep / accuracy;
  OutputWindow& w = s.Window;
  w.MinX = -5;
  w.MaxX = 75;
  w.MaxY = 55;
  w.MinY = -25;
  w.Width = w.Height = cells;
  w.CellSize = 80.0_r / cells;
  w.HalfCell = w.CellSize / 2;
  return s;
}

// Each pixel painted in a colour of its own number (plus one: 0 is unpainted),
// every seventh one transparent when holes.
Picture NumberedPicture(int width, int height, bool holes) {
  Picture p;
  p.Width = width;
  p.Height = height;
  const std::size_t n = static_cast<std::size_t>(width) * height;
  p.Rgb.resize(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    p.Rgb[i * 3] = static_cast<std::uint8_t>((i + 1) >> 16);
    p.Rgb[i * 3 + 1] = static_cast<std::uint8_t>((i + 1) >> 8);
    p.Rgb[i * 3 + 2] = static_cast<std::uint8_t>(i + 1);
  }
  if (holes) {
    p.Alpha.assign(n, 255);
    for (std::size_t i = 0; i < n; i += 7) p.Alpha[i] = 0;
  }
  return p;
}

struct Mapped {
  OutputRaster Raster;
  MissRecord Misses;
};
template <class Mirror>
Mapped Map(const Mirror& m, MappingSetup s, const Picture& p, bool perPixel, int threads) {
  s.PerPixelWalk = perPixel;
  Mapped out;
  ClearRaster(out.Raster, s.Window.Width, s.Window.Height);
  MapPicture(m, s, p, out.Raster, threads, out.Misses, [](int) {});
  return out;
}

}  // namespace

TEST(Lattice, TellsARectangleFromOtherFaces) {
  const Face r{{0, 0, 10}, {8, 0, 10}, {8, 0, 4}, {0, 0, 4}};
  EXPECT_TRUE(IsRectangularFace(r));
  // A corner moved by 1e-12 of the face stays a rectangle; by 1e-6 it does not.
  for (const auto& [shift, rectangle] : {std::pair{1e-11_r, true}, std::pair{1e-5_r, false}}) {
    Face f = r;
    f.C3.x += shift;
    EXPECT_EQ(IsRectangularFace(f), rectangle) << static_cast<double>(shift);
  }
  const Face parallelogram{{0, 0, 10}, {8, 0, 10}, {9, 0, 4}, {1, 0, 4}};
  const Face trapezoid{{0, 0, 10}, {8, 0, 10}, {9, 0, 4}, {-1, 0, 4}};
  const Face point{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
  EXPECT_FALSE(IsRectangularFace(parallelogram));
  EXPECT_FALSE(IsRectangularFace(trapezoid));
  EXPECT_FALSE(IsRectangularFace(point));
}

// Both ways reach the same points up to rounding, so a cell may go to another
// pixel only where its centre lies on an edge of theirs, within the painting's
// tolerances: PointInPolygon's 1e-6 round a vertex and 1e-9 across an edge.
TEST(Lattice, PaintsWhatTheWalkOfEveryPixelPaints) {
  struct Case {
    int accuracy, width, height, cells;
    bool holes, misses, axis;
  } cases[] = {
      {1, 60, 40, 300, false, false, false}, {2, 45, 30, 200, true, false, false},
      {3, 50, 33, 400, false, true, false},  {4, 37, 24, 250, true, true, true},
      {5, 64, 42, 180, false, false, true},
      // Rows below the face's bottom edge, where the walk is kept.
      {3, 40, 35, 200, false, false, false},
      // Rows longer than a batch: each row goes in pieces.
      {20, 1030, 2, 600, true, true, false},
  };
  long differing = 0, painted = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("accuracy " + std::to_string(c.accuracy) + ", " + std::to_string(c.width) + " x " +
                 std::to_string(c.height));
    MappingSetup s = Tilted(c.accuracy, c.width, c.cells);
    ASSERT_TRUE(IsRectangularFace(s.PictureFace));
    EXPECT_EQ(OnLattice(s, c.height), c.height * 3 <= c.width * 2);
    if (c.axis) {
      // The axis foot where some pixels' enlarged images surround it.
      s.AxisExclusion = true;
      s.AxisFoot = {40, 30};
    }
    WavyMirror m;
    if (c.misses) m.missAbove = 15;
    const Picture p = NumberedPicture(c.width, c.height, c.holes);
    const Mapped walk = Map(m, s, p, true, 1);
    if (c.misses) {
      EXPECT_GT(walk.Misses.MissCount, 0);
    }
    for (const int threads : {1, 3}) {
      const Mapped lattice = Map(m, s, p, false, threads);
      EXPECT_EQ(lattice.Misses.MissCount, walk.Misses.MissCount);
      EXPECT_EQ(lattice.Misses.RayError, walk.Misses.RayError);
      const OutputWindow& w = s.Window;
      for (int row = 1; row <= w.Height; ++row) {
        for (int col = 1; col <= w.Width; ++col) {
          const Rgb a = walk.Raster.Get(col, row), b = lattice.Raster.Get(col, row);
          const long pa = (a.r << 16 | a.g << 8 | a.b) - 1, pb = (b.r << 16 | b.g << 8 | b.b) - 1;
          painted += pa >= 0;
          if (pa == pb) continue;
          ++differing;
          const Real x = w.MinX + col * w.CellSize - w.HalfCell, y = w.MaxY - row * w.CellSize + w.HalfCell;
          Real nearest = 1e30_r;
          MappingSetup own = s;
          own.PerPixelWalk = true;
          for (const long px : {pa, pb}) {
            if (px < 0) continue;
            const int pc = static_cast<int>(px % c.width) + 1, pr = static_cast<int>(px / c.width) + 1;
            Point2 polygon[kMaxPolygon];
            MissRecord ignored;
            PixelTrace t = TracePixel(m, own, pc, pr, polygon, ignored);
            if (t.Paint) nearest = std::min(nearest, DistanceToEdges(x, y, polygon, t.Count));
            t = TraceOnOwnLattice(m, s, c.width, pc, pr, polygon);
            if (t.Paint) nearest = std::min(nearest, DistanceToEdges(x, y, polygon, t.Count));
          }
          EXPECT_LT(nearest, 1.5e-6_r) << "cell " << col << "," << row << " walk pixel " << pa << ", lattice " << pb;
        }
      }
    }
  }
  std::printf("%ld of %ld painted cells went to another pixel\n", differing, painted);
  // They are rare: a few cells in a million.
  EXPECT_GT(painted, 100000);
  EXPECT_LT(differing * 10000, painted) << differing << " of " << painted;
}

TEST(Lattice, TracesEachSharedPointOnce) {
  MappingSetup s = Tilted(4, 40, 100);
  s.FaceStep = 30.0_r / 40;
  for (const int accuracy : {1, 4}) {
    s.Accuracy = accuracy;
    s.FaceSubStep = s.FaceStep / accuracy;
    Lattice l;
    PlaceLatticeColumns(l, s, 40);
    StartLattice(l, accuracy, 1, 10, 1, 40);
    // Lines 0..10 of 40 * a + 1 points, and a - 1 points on 41 column lines in 10 rows.
    const long points = 11L * (40 * accuracy + 1) + 10L * 41 * (accuracy - 1);
    long traced = 0;
    for (long t = 0; t < LatticeTraceTasks(l); ++t) {
      WavyMirror m;
      TraceLatticeTask(m, s, l, t);
    }
    traced = static_cast<long>(l.Along.size() + l.Down.size());
    EXPECT_EQ(traced, points);
    // The next band keeps the last line: one line fewer to trace.
    const long before = LatticeTraceTasks(l);
    // Into another lattice (the mapping alternates two), the kept line is
    // copied over: the same points as in the lattice that traced it.
    Lattice next;
    PlaceLatticeColumns(next, s, 40);
    StartLattice(next, l, accuracy, 11, 20, 1, 40);
    EXPECT_EQ(next.KeptLine, 10);
    for (int k = 0; k <= 40 * accuracy; ++k) {
      ASSERT_EQ(next.Along[next.AlongAt(10, k)].x, l.Along[l.AlongAt(10, k)].x) << k;
      ASSERT_EQ(next.Along[next.AlongAt(10, k)].y, l.Along[l.AlongAt(10, k)].y) << k;
      ASSERT_EQ(next.AlongHit[next.AlongAt(10, k)], l.AlongHit[l.AlongAt(10, k)]) << k;
    }
    // Over other columns nothing is kept.
    StartLattice(next, l, accuracy, 11, 20, 2, 40);
    EXPECT_EQ(next.KeptLine, -1);
    StartLattice(l, accuracy, 11, 20, 1, 40);
    EXPECT_EQ(l.KeptLine, 10);
    EXPECT_EQ(LatticeTraceTasks(l), before - LatticeAlongTasksPerLine(l));
  }
}


// A mirror whose image folds along a line: smooth on either side, a kink
// across x = fold, and every point beyond missAbove missed.
struct FoldedMirror {
  Real fold = 12, missAbove = 1e30_r;
};
bool ReflectRay(const FoldedMirror& m, Point3, Point3 p, Point3& result, MissRecord& misses) {
  if (p.x > m.missAbove) return RecordMiss(result, misses);
  result = {3 * std::fabs(p.x - m.fold) + 0.4_r * std::sin(p.z / 2), 2 * p.z + 0.3_r * std::cos(p.x / 5), 0};
  return true;
}

// Every line of a band traced point by point and again with three points of
// four interpolated: each interpolated point stays within kInterpolationStray
// of a sample of its traced one, with the same hit, on smooth stretches (where most
// points are interpolated), across a kink and next to misses (where the test
// of the fourth difference, or the miss, makes them traced).
TEST(Lattice, InterpolatedPointsStayWithinTheirStrayOfTheTracedOnes) {
  // between: the points a quarter of the rays leave untraced (k not 0 mod 4).
  auto compare = [](const auto& mirror, int accuracy, int width, long& interpolated, long& between) {
    MappingSetup s = Tilted(accuracy, width, 4000);
    Lattice traced, fewer;
    for (Lattice* l : {&traced, &fewer}) {
      PlaceLatticeColumns(*l, s, width);
      StartLattice(*l, accuracy, 1, 6, 1, width);
    }
    for (long t = 0; t < LatticeTraceTasks(traced); ++t) TraceLatticeTask(mirror, s, traced, t);
    s.InterpolateAlong = true;
    for (long t = 0; t < LatticeTraceTasks(fewer); ++t) TraceLatticeTask(mirror, s, fewer, t);
    Real worst = 0;
    for (std::size_t i = 0; i < traced.Along.size(); ++i) {
      ASSERT_EQ(fewer.AlongHit[i], traced.AlongHit[i]) << i;
      const Point2 a = traced.Along[i], b = fewer.Along[i];
      if (i % traced.LinePoints() % 4 != 0) ++between;
      if (a.x == b.x && a.y == b.y) continue;
      ++interpolated;
      worst = std::max(worst, std::hypot(a.x - b.x, a.y - b.y) / s.Window.CellSize);
    }
    EXPECT_LE(worst, kInterpolationStray) << "accuracy " << accuracy << ", width " << width;
    // The points across a column line are not interpolated.
    EXPECT_EQ(fewer.Down.size(), traced.Down.size());
  };
  long interpolated = 0, between = 0;
  // Several tasks a line (256 points each), so that the halo is crossed.
  for (const int accuracy : {1, 3}) compare(WavyMirror{}, accuracy, 700, interpolated, between);
  EXPECT_GT(interpolated * 10, between * 9) << interpolated << " of " << between;
  interpolated = between = 0;
  for (const Real fold : {12.0_r, 12.3_r, 12.71_r}) {
    for (const int accuracy : {1, 2}) compare(FoldedMirror{fold}, accuracy, 640, interpolated, between);
  }
  compare(FoldedMirror{12, 17}, 1, 640, interpolated, between);
  compare(WavyMirror{15}, 2, 640, interpolated, between);
  EXPECT_GT(interpolated, 0);
}

// Where sample points sit on the border of the axial step, however close, each
// pixel is walked on its own: otherwise a shared corner reached another way
// may fall on the other side, and the pixel's image swings round the axis.
TEST(Lattice, LeavesTheBorderOfTheAxialStepToTheWalk) {
  MappingSetup s;
  // The cone's scene: a horizontal face 15 units wide centred under the eye,
  // 500 x 500 pixels of 0.03, the step's tolerance a thousandth of the face:
  // the pixels' middles round the axis lie on its border.
  s.PictureFace = {{-7.5, 7.5, 200}, {7.5, 7.5, 200}, {7.5, -7.5, 200}, {-7.5, -7.5, 200}};
  s.ProjectionCentre = {0, 0, 400};
  s.Accuracy = 1;
  s.FaceStep = 15.0_r / 500;
  s.FaceSubStep = s.FaceStep;
  s.AxisExclusion = true;
  s.AxisFoot = {0, 0};
  OutputWindow& w = s.Window;
  w.MinX = w.MinY = -20;
  w.MaxX = w.MaxY = 20;
  w.Width = w.Height = 200;
  w.CellSize = 0.2_r;
  w.HalfCell = 0.1_r;
  const Picture p = NumberedPicture(500, 500, false);
  {
    const Real tol = 0.015_r;
    const AxialMirror m{tol};
    s.AxialTolerance = tol;
    MappingSetup walk = s;
    walk.PerPixelWalk = true;
    OutputRaster a, b;
    ClearRaster(a, 200, 200);
    ClearRaster(b, 200, 200);
    MissRecord ma, mb;
    MapPicture(m, walk, p, a, 1, ma, [](int) {});
    MapPicture(m, s, p, b, 2, mb, [](int) {});
    // (Told no AxialTolerance, the lattice paints some of these cells otherwise.)
    EXPECT_TRUE(a.Cells == b.Cells);
  }
}

// A picture read smaller down than across has pixels taller than wide: the
// lattice and the walk place their rows alike, and the rows fill the face.
TEST(Lattice, PaintsWhatTheWalkPaintsWithPixelsTallerThanWide) {
  for (const int accuracy : {1, 3}) {
    SCOPED_TRACE("accuracy " + std::to_string(accuracy));
    // 60 pixels across the 30-unit face, 10 rows down its 20 units: 4 times taller than wide.
    MappingSetup s = Tilted(accuracy, 60, 300);
    s.RowStep = 20.0_r / 10;
    s.RowSubStep = s.RowStep / accuracy;
    ASSERT_TRUE(OnLattice(s, 10));
    EXPECT_FALSE(OnLattice(s, 11));
    const WavyMirror m;
    const Picture p = NumberedPicture(60, 10, false);
    const Mapped walk = Map(m, s, p, true, 1), lattice = Map(m, s, p, false, 2);
    long painted = 0, differing = 0, lastRow = 0;
    for (int row = 1; row <= s.Window.Height; ++row) {
      for (int col = 1; col <= s.Window.Width; ++col) {
        const Rgb a = walk.Raster.Get(col, row), b = lattice.Raster.Get(col, row);
        const long pa = (a.r << 16 | a.g << 8 | a.b) - 1, pb = (b.r << 16 | b.g << 8 | b.b) - 1;
        painted += pa >= 0;
        differing += pa != pb;
        if (pa >= 9 * 60) ++lastRow;
      }
    }
    EXPECT_GT(painted, 10000);
    EXPECT_LT(differing * 10000, painted) << differing << " of " << painted;
    // The bottom row of pixels reaches the face's bottom edge: its cells are
    // those of the face's last tenth, the bottom edge's image. The wavy
    // mirror maps face heights linearly enough that the last tenth holds
    // between a twentieth and a fifth of the cells.
    EXPECT_GT(lastRow * 20, painted);
    EXPECT_LT(lastRow * 5, painted);
  }
}

// A pixel that has a sample sent down the axis is never painted, on the
// lattice or walked, whatever the picture's size and wherever the eye stands
// against the pixels: even sizes put a corner on the axis, odd ones a
// pixel's centre; the eye off the axis by less than the step's tolerance
// still takes it. The face is centred under the eye; its pixels' middles
// round the axis fall within the tolerance (0.6 or 1 pixel), so that the
// tenfold test, enlarging about an image on the foot, would let them through
// and their fans from the foot would paint the middle of the sheet.
TEST(MapPicture, AxisStepLeavesOutEveryPixelWithASampleDownTheAxis) {
  struct Case {
    int width, height;
    Real tolerance, eyeX, eyeY;  // in pixels
  } cases[] = {
      {40, 30, 0.6_r, 0, 0},     {40, 30, 1, 0, 0},        {41, 31, 0.6_r, 0, 0},
      {41, 31, 1, 0, 0},        {40, 30, 0.6_r, 0.3_r, 0.3_r}, {41, 31, 0.6_r, 0.45_r, 0},
      {41, 31, 1, 0.25_r, 0.5_r},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", tolerance " +
                 std::to_string(static_cast<double>(c.tolerance)) + ", eye " +
                 std::to_string(static_cast<double>(c.eyeX)) + "," + std::to_string(static_cast<double>(c.eyeY)));
    const Real step = 0.03_r, hw = c.width * step / 2, hh = c.height * step / 2;
    MappingSetup s;
    s.PictureFace = {{-hw, hh, 200}, {hw, hh, 200}, {hw, -hh, 200}, {-hw, -hh, 200}};
    s.ProjectionCentre = {c.eyeX * step, c.eyeY * step, 400};
    s.Accuracy = 4;
    s.FaceStep = step;
    s.FaceSubStep = step / 4;
    s.AxisExclusion = true;
    s.AxisFoot = {s.ProjectionCentre.x, s.ProjectionCentre.y};
    s.AxialTolerance = c.tolerance * step;
    OutputWindow& w = s.Window;
    w.MinX = w.MinY = -6;
    w.MaxX = w.MaxY = 6;
    w.Width = w.Height = 120;
    w.CellSize = 0.1_r;
    w.HalfCell = 0.05_r;
    const AxialMirror m{s.AxialTolerance};
    const Picture p = NumberedPicture(c.width, c.height, false);
    std::vector<bool> sentDown(static_cast<std::size_t>(c.width) * c.height);
    int down = 0;
    for (int row = 1; row <= c.height; ++row) {
      for (int col = 1; col <= c.width; ++col) {
        Point3 points[kMaxPolygon], middle;
        SamplePixel(s, col, row, points, middle);
        for (int i = 0; i < 16; ++i) {
          if (std::fabs(points[i].x - s.AxisFoot.x) < s.AxialTolerance &&
              std::fabs(points[i].y - s.AxisFoot.y) < s.AxialTolerance) {
            sentDown[static_cast<std::size_t>(row - 1) * c.width + col - 1] = true;
          }
        }
        down += sentDown[static_cast<std::size_t>(row - 1) * c.width + col - 1];
      }
    }
    EXPECT_GE(down, 4);
    MappingSetup walk = s;
    walk.PerPixelWalk = true;
    const Mapped walked = Map(m, walk, p, true, 1);
    for (const int threads : {1, 2}) {
      const Mapped lattice = Map(m, s, p, false, threads);
      EXPECT_TRUE(lattice.Raster.Cells == walked.Raster.Cells) << threads << " threads";
    }
    long painted = 0, ofPixelsSentDown = 0, nearFoot = 0;
    for (int row = 1; row <= w.Height; ++row) {
      for (int col = 1; col <= w.Width; ++col) {
        const Rgb a = walked.Raster.Get(col, row);
        const long px = (a.r << 16 | a.g << 8 | a.b) - 1;
        if (px < 0) continue;
        ++painted;
        ofPixelsSentDown += sentDown[static_cast<std::size_t>(px)];
        // The mirror lands every other sample 4 units or more from the foot; a
        // pixel's polygon spanning a quarter turn round it, as next to the
        // axis, cuts in no nearer than 4 cos 45 degrees: 2 keeps a margin.
        const Real x = w.MinX + col * w.CellSize - w.HalfCell - s.AxisFoot.x;
        const Real y = w.MaxY - row * w.CellSize + w.HalfCell - s.AxisFoot.y;
        nearFoot += std::hypot(x, y) <= 2;
      }
    }
    EXPECT_EQ(ofPixelsSentDown, 0);
    EXPECT_EQ(nearFoot, 0);
    EXPECT_GT(painted, 1000);
  }
}

}  // namespace anamorfosi
