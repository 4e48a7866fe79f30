#include "core/mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "testing/mapping_probes.h"
#include "core/window.h"

namespace anamorfosi {

namespace {

// A mirror that sends every face point straight down onto the sheet; misses
// any point whose x is negative, so that tests can steer misses.
struct DropMirror {
  bool missLeft = false;
};
bool ReflectRay(const DropMirror& m, Point3, Point3 facePoint, Point3& result, MissRecord& misses) {
  if (m.missLeft && facePoint.x < -1e-9_r) return RecordMiss(result, misses);
  result = {facePoint.x, facePoint.y, 0};
  return true;
}

// The face lying on the sheet itself, 10 x 10 units from (0, 10) to (10, 0).
MappingSetup FlatSetup(int accuracy, int pictureSide, int cells) {
  MappingSetup s;
  s.PictureFace = {{0, 10, 0}, {10, 10, 0}, {10, 0, 0}, {0, 0, 0}};
  s.ProjectionCentre = {5, 5, 100};
  s.Accuracy = accuracy;
  s.FaceStep = 10.0_r / pictureSide;
  s.FaceSubStep = s.FaceStep / accuracy;
  s.Window.MinX = 0;
  s.Window.MinY = 0;
  s.Window.MaxX = 10;
  s.Window.MaxY = 10;
  s.Window.Width = cells;
  s.Window.Height = cells;
  s.Window.CellSize = 10.0_r / cells;
  s.Window.HalfCell = s.Window.CellSize / 2;
  return s;
}

TEST(CellOf, TruncatesTowardZeroAndMarksOutside) {
  OutputWindow w;
  w.MinX = 0;
  w.MaxY = 10;
  w.CellSize = 1;
  w.Width = 10;
  w.Height = 10;
  int c, r;
  CellOf(w, 0.5_r, 9.5_r, c, r);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(r, 1);
  CellOf(w, 9.99_r, 0.01_r, c, r);
  EXPECT_EQ(c, 10);
  EXPECT_EQ(r, 10);
  // Less than one cell left of MinX (or above MaxY) still gives index 1.
  CellOf(w, -0.5_r, 10.5_r, c, r);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(r, 1);
  CellOf(w, -1.5_r, 11.5_r, c, r);
  EXPECT_EQ(c, OutsideCell);
  EXPECT_EQ(r, OutsideCell);
  CellOf(w, 10, 0, c, r);
  EXPECT_EQ(c, OutsideCell);
  EXPECT_EQ(r, OutsideCell);
  // Far and undefined points never overflow into a valid index.
  CellOf(w, 1e30_r, -1e30_r, c, r);
  EXPECT_EQ(c, OutsideCell);
  EXPECT_EQ(r, OutsideCell);
  CellOf(w, NAN, INFINITY, c, r);
  EXPECT_EQ(c, OutsideCell);
  EXPECT_EQ(r, OutsideCell);
}

TEST(PointInPolygon, InsideOutsideAndBorder) {
  const Point2 square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
  EXPECT_TRUE(PointInPolygon(2, 2, square, 5));
  EXPECT_TRUE(PointInPolygon(0.001_r, 3.999_r, square, 5));
  EXPECT_FALSE(PointInPolygon(5, 2, square, 5));
  EXPECT_FALSE(PointInPolygon(-1, 2, square, 5));
  EXPECT_FALSE(PointInPolygon(2, 5, square, 5));
  // On a vertex, on a slanted or vertical edge, on a horizontal edge: outside.
  EXPECT_FALSE(PointInPolygon(4, 4, square, 5));
  EXPECT_FALSE(PointInPolygon(4, 2, square, 5));
  EXPECT_FALSE(PointInPolygon(0, 2, square, 5));
  EXPECT_FALSE(PointInPolygon(2, 0, square, 5));
  EXPECT_FALSE(PointInPolygon(2, 4, square, 5));
  const Point2 diamond[] = {{2, 0}, {4, 2}, {2, 4}, {0, 2}, {2, 0}};
  EXPECT_FALSE(PointInPolygon(3, 1, diamond, 5));
  EXPECT_TRUE(PointInPolygon(2, 2, diamond, 5));
  // A concave polygon: the notch is outside.
  const Point2 u[] = {{0, 0}, {6, 0}, {6, 6}, {4, 6}, {4, 2}, {2, 2}, {2, 6}, {0, 6}, {0, 0}};
  EXPECT_FALSE(PointInPolygon(3, 4, u, 9));
  EXPECT_TRUE(PointInPolygon(1, 4, u, 9));
  EXPECT_TRUE(PointInPolygon(3, 1, u, 9));
}

TEST(PointInPolygon, AgreesWithTriangleBarycentresOnRandomPoints) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-10, 10);
  for (int i = 0; i < 2000; ++i) {
    const Point2 a{u(rng), u(rng)}, b{u(rng), u(rng)}, c{u(rng), u(rng)};
    const Point2 tri[] = {a, b, c, a};
    const Point2 p{u(rng), u(rng)};
    const Real d = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
    if (std::fabs(d) < 1) continue;
    const Real l1 = ((b.y - c.y) * (p.x - c.x) + (c.x - b.x) * (p.y - c.y)) / d;
    const Real l2 = ((c.y - a.y) * (p.x - c.x) + (a.x - c.x) * (p.y - c.y)) / d;
    const Real l3 = 1 - l1 - l2;
    const Real m = std::min({l1, l2, l3});
    if (std::fabs(m) < 1e-6_r) continue;
    EXPECT_EQ(PointInPolygon(p.x, p.y, tri, 4), m > 0) << i;
  }
}

// Painting tests only the cells between a row's first and last edge crossing;
// it must paint exactly the cells whose centres PointInPolygon accepts, also
// for self-crossing slivers such as pixels split by a mirror's edge.
TEST(PaintPixel, PaintsExactlyTheCellsThePolygonTestAccepts) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 20);
  const MappingSetup s = FlatSetup(1, 10, 40);  // cells of 0.25 over 0..10
  for (int i = 0; i < 300; ++i) {
    const int n = 3 + i % 9;
    Point2 poly[kMaxPolygon];
    for (int k = 0; k < n; ++k) poly[k] = {u(rng) - 5, u(rng) - 5};
    // Some vertices on cell centres and rows, where the tolerances decide.
    if (i % 3 == 0) poly[0] = {s.Window.MinX + 7 * s.Window.CellSize - s.Window.HalfCell, poly[0].y};
    if (i % 4 == 0) poly[1].y = s.Window.MaxY - 9 * s.Window.CellSize + s.Window.HalfCell;
    poly[n] = poly[0];
    PixelTrace trace;
    trace.Paint = true;
    trace.Count = n + 1;
    trace.ColLo = 1;
    trace.ColHi = 40;
    trace.RowLo = 1;
    trace.RowHi = 40;
    OutputRaster painted;
    ClearRaster(painted, 40, 40);
    PaintPixel(s, trace, poly, Rgb{1, 2, 3}, painted, 1, 40);
    for (int c = 1; c <= 40; ++c) {
      for (int r = 1; r <= 40; ++r) {
        const Real x = s.Window.MinX + c * s.Window.CellSize - s.Window.HalfCell;
        const Real y = s.Window.MaxY - r * s.Window.CellSize + s.Window.HalfCell;
        ASSERT_EQ(painted.Get(c, r).r == 1, PointInPolygon(x, y, poly, n + 1)) << i << ": " << c << "," << r;
      }
    }
  }
}

TEST(MapPixel, SamplesTheBorderWithFourTimesAccuracyPoints) {
  for (int a : {1, 3, 20}) {
    const MappingSetup s = FlatSetup(a, 10, 10);
    Point3 pts[kMaxPolygon];
    Point3 middle;
    SamplePixel(s, 3, 2, pts, middle);
    // Pixel (3, 2) covers x 2..3 and y 8..9 of the flat face.
    EXPECT_NEAR(static_cast<double>(pts[0].x), 2, 1e-12);
    EXPECT_NEAR(static_cast<double>(pts[0].y), 9, 1e-12);
    EXPECT_NEAR(static_cast<double>(pts[a].x), 3, 1e-12);      // K2
    EXPECT_NEAR(static_cast<double>(pts[2 * a].y), 8, 1e-12);  // K3
    EXPECT_NEAR(static_cast<double>(pts[3 * a].x), 2, 1e-12);  // K4
    EXPECT_NEAR(static_cast<double>(middle.x), 2.5, 1e-12);
    EXPECT_NEAR(static_cast<double>(middle.y), 8.5, 1e-12);
    // Every point lies on the border of the pixel's square, evenly spaced.
    for (int i = 0; i < 4 * a; ++i) {
      const Real x = pts[i].x, y = pts[i].y;
      const bool onBorder = std::fabs(x - 2) < 1e-12_r || std::fabs(x - 3) < 1e-12_r || std::fabs(y - 8) < 1e-12_r ||
                            std::fabs(y - 9) < 1e-12_r;
      EXPECT_TRUE(onBorder) << a << " " << i;
      const Point3 next = pts[(i + 1) % (4 * a)];
      EXPECT_NEAR(static_cast<double>(Distance3(pts[i], next)), 1.0 / a, 1e-12) << a << " " << i;
    }
  }
}

TEST(MapPixel, PaintsTheCellsWhoseCentresItCovers) {
  // 5 x 5 picture on a 10 x 10 window: each pixel covers 2 x 2 cells.
  const MappingSetup s = FlatSetup(2, 5, 10);
  OutputRaster raster;
  ClearRaster(raster, 10, 10);
  MissRecord misses;
  MapPixel(DropMirror{}, s, 2, 3, Rgb{9, 8, 7}, raster, misses);
  int painted = 0;
  for (int c = 1; c <= 10; ++c) {
    for (int r = 1; r <= 10; ++r) {
      const bool expected = (c == 3 || c == 4) && (r == 5 || r == 6);
      const Rgb got = raster.Get(c, r);
      EXPECT_EQ(got.r == 9 && got.g == 8 && got.b == 7, expected) << c << "," << r;
      painted += got.r != 0;
    }
  }
  EXPECT_EQ(painted, 4);
  EXPECT_FALSE(misses.RayError);
}

TEST(MapPixel, CellCentreOnASharedEdgeIsPaintedByNeither) {
  // 10 x 10 picture on a 5 x 5 window: pixel edges pass through cell centres.
  const MappingSetup s = FlatSetup(1, 10, 5);
  OutputRaster raster;
  ClearRaster(raster, 5, 5);
  MissRecord misses;
  for (int row = 1; row <= 10; ++row) {
    for (int col = 1; col <= 10; ++col) MapPixel(DropMirror{}, s, col, row, Rgb{255, 255, 255}, raster, misses);
  }
  for (int c = 1; c <= 5; ++c) {
    for (int r = 1; r <= 5; ++r) EXPECT_EQ(raster.Get(c, r).r, 0) << c << "," << r;
  }
}

TEST(MapPixel, LaterPixelsWinAndSmallImagesPaintNothing) {
  const MappingSetup s = FlatSetup(1, 5, 10);
  OutputRaster raster;
  ClearRaster(raster, 10, 10);
  MissRecord misses;
  MapPixel(DropMirror{}, s, 1, 1, Rgb{1, 1, 1}, raster, misses);
  MappingSetup shifted = s;
  shifted.PictureFace = {{1, 10, 0}, {11, 10, 0}, {11, 0, 0}, {1, 0, 0}};
  MapPixel(DropMirror{}, shifted, 1, 1, Rgb{2, 2, 2}, raster, misses);
  EXPECT_EQ(raster.Get(1, 1).r, 1);
  EXPECT_EQ(raster.Get(2, 1).r, 2);
  EXPECT_EQ(raster.Get(3, 1).r, 2);
  // A 100 x 100 picture on the 10 x 10 window: pixels smaller than a cell.
  const MappingSetup tiny = FlatSetup(1, 100, 10);
  OutputRaster clean;
  ClearRaster(clean, 10, 10);
  MapPixel(DropMirror{}, tiny, 2, 2, Rgb{5, 5, 5}, clean, misses);
  for (std::uint8_t v : clean.Cells) EXPECT_EQ(v, 0);
}

TEST(MapPixel, PixelWithAMissedVertexIsNotPaintedButEveryRayCounts) {
  MappingSetup s = FlatSetup(3, 5, 10);
  s.PictureFace = {{-1, 10, 0}, {9, 10, 0}, {9, 0, 0}, {-1, 0, 0}};
  OutputRaster raster;
  ClearRaster(raster, 10, 10);
  MissRecord misses;
  // Pixel 1 spans x -1..1: its left side misses.
  MapPixel(DropMirror{true}, s, 1, 1, Rgb{7, 7, 7}, raster, misses);
  for (std::uint8_t v : raster.Cells) EXPECT_EQ(v, 0);
  EXPECT_TRUE(misses.RayError);
  // K1, one point of the top side, two of the bottom side, two of the left.
  EXPECT_EQ(misses.MissCount, 1 + 1 + 2 + 2);
}

TEST(MapPixel, AxisStepDropsPixelsWhoseImageSurroundsTheAxis) {
  MappingSetup s = FlatSetup(1, 5, 10);
  s.AxisExclusion = true;
  OutputRaster raster;
  ClearRaster(raster, 10, 10);
  MissRecord misses;
  Point2 polygon[kMaxPolygon];
  // Pixel (3, 3) covers x 4..6, y 4..6; grown tenfold about its centre (5, 5)
  // it covers x -5..15: an axis at (12, 5) lies inside, one at (16, 5) outside.
  s.AxisFoot = {12, 5};
  EXPECT_FALSE(TracePixel(DropMirror{}, s, 3, 3, polygon, misses).Paint);
  s.AxisFoot = {16, 5};
  EXPECT_TRUE(TracePixel(DropMirror{}, s, 3, 3, polygon, misses).Paint);
  // Exactly on the grown border: not inside, so the pixel is painted.
  s.AxisFoot = {15, 5};
  EXPECT_TRUE(TracePixel(DropMirror{}, s, 3, 3, polygon, misses).Paint);
  // Without the step the same pixel is always painted.
  s.AxisExclusion = false;
  s.AxisFoot = {5, 5};
  EXPECT_TRUE(TracePixel(DropMirror{}, s, 3, 3, polygon, misses).Paint);
  EXPECT_FALSE(misses.RayError);
}

// The axis step's own look at the reflected polygon: a vertex on the foot, an
// edge through it, or a polygon going round it, whichever way and however
// far out, drops the pixel; a polygon beside the foot, however close its box
// comes, or one that bends round it without closing, does not.
TEST(ReachesAxisFoot, VerticesEdgesAndWindingRoundTheFoot) {
  const Point2 foot{2, 3};
  // Polygons relative to the foot, closed by repeating the first point.
  auto reaches = [&](std::vector<Point2> v, Real reach) {
    for (Point2& p : v) p = {p.x + foot.x, p.y + foot.y};
    v.push_back(v.front());
    return ReachesAxisFoot(foot, reach, v.data(), static_cast<int>(v.size()));
  };
  // The quarter fan of a pixel whose corner went down the axis (three points
  // on the apex ring, one on the foot): its vertex is the foot itself.
  const std::vector<Point2> fan = {{0, 0}, {80, 0}, {56.6_r, 56.6_r}, {0, 80}};
  EXPECT_TRUE(reaches(fan, 0));
  // Moved off the foot by 0.01, within a reach of 0.02 and beyond one of 0.005.
  const std::vector<Point2> nearFan = {{0.01_r, 0}, {80, 0}, {56.6_r, 56.6_r}, {0, 80}};
  EXPECT_TRUE(reaches(nearFan, 0.02_r));
  EXPECT_FALSE(reaches(nearFan, 0.005_r));
  // An edge across the foot, its ends on opposite sides of the ring.
  EXPECT_TRUE(reaches({{-80, 0}, {80, 0}, {80, 5}, {-80, 5}}, 0));
  // Nine points round the ring, either way round; the foot itself is far inside.
  std::vector<Point2> ring, backwards;
  for (int k = 0; k < 9; ++k) ring.push_back({80 * std::cos(k * 0.7_r), 80 * std::sin(k * 0.7_r)});
  backwards.assign(ring.rbegin(), ring.rend());
  EXPECT_TRUE(reaches(ring, 0.02_r));
  EXPECT_TRUE(reaches(backwards, 0.02_r));
  // Twice round: still round the foot.
  std::vector<Point2> twice;
  for (int k = 0; k < 12; ++k) twice.push_back({80 * std::cos(k * 1.1_r), 80 * std::sin(k * 1.1_r)});
  EXPECT_TRUE(reaches(twice, 0));
  // A horseshoe bending three quarters round the foot, 70 to 80 out: its box
  // holds the foot, yet it neither touches nor surrounds it.
  std::vector<Point2> horseshoe;
  for (int k = 0; k <= 6; ++k) horseshoe.push_back({80 * std::cos(k * 0.75_r), 80 * std::sin(k * 0.75_r)});
  for (int k = 6; k >= 0; --k) horseshoe.push_back({70 * std::cos(k * 0.75_r), 70 * std::sin(k * 0.75_r)});
  EXPECT_FALSE(reaches(horseshoe, 0.02_r));
  // An ordinary pixel's image beside the ring, and one whose box comes within
  // the reach in x only.
  EXPECT_FALSE(reaches({{60, 40}, {60.3_r, 40}, {60.3_r, 40.3_r}, {60, 40.3_r}}, 0.02_r));
  EXPECT_FALSE(reaches({{0.01_r, 40}, {0.3_r, 40}, {0.3_r, 40.3_r}, {0.01_r, 40.3_r}}, 0.02_r));
}

TEST(ComputeWindow, ScansTheFaceAndWidensTheBox) {
  MissRecord misses;
  OutputWindow w;
  const Face face{{0, 30, 0}, {60, 30, 0}, {60, 0, 0}, {0, 0, 0}};
  ASSERT_EQ(ComputeWindow(DropMirror{}, face, {0, 0, 10}, 1000, 30, misses, w), WindowStatus::kOk);
  EXPECT_NEAR(static_cast<double>(w.MinX), -2, 1e-12);
  EXPECT_NEAR(static_cast<double>(w.MaxX), 62, 1e-12);
  EXPECT_NEAR(static_cast<double>(w.MinY), -1, 1e-12);
  EXPECT_NEAR(static_cast<double>(w.MaxY), 31, 1e-12);
  EXPECT_EQ(w.Width, 1000);
  EXPECT_EQ(w.Height, 500);
  EXPECT_NEAR(static_cast<double>(w.CellSize), 0.064, 1e-15);
  // Square: the taller branch, both sides PixelCount.
  ASSERT_EQ(ComputeWindow(DropMirror{}, {{0, 10, 0}, {10, 10, 0}, {10, 0, 0}, {0, 0, 0}}, {0, 0, 10}, 7, 10, misses,
                          w),
            WindowStatus::kOk);
  EXPECT_EQ(w.Width, 7);
  EXPECT_EQ(w.Height, 7);
  EXPECT_FALSE(misses.RayError);
}

TEST(ComputeWindow, MissesStayOutOfTheBox) {
  MissRecord misses;
  OutputWindow w;
  const Face face{{-10, 10, 0}, {10, 10, 0}, {10, 0, 0}, {-10, 0, 0}};
  ASSERT_EQ(ComputeWindow(DropMirror{true}, face, {0, 0, 10}, 100, 10, misses, w), WindowStatus::kOk);
  EXPECT_NEAR(static_cast<double>(w.MinX), -1, 1e-12);  // 0..10 widened by a tenth
  EXPECT_EQ(misses.MissCount, 25 * 51);
}

TEST(SizeWindow, DegenerateBoxes) {
  OutputWindow w;
  EXPECT_EQ(SizeWindow(WindowScan{}, 30, 100, w), WindowStatus::kNoRayReachedSheet);
  WindowScan point;
  AddToScan(point, {3, 4, 0});
  AddToScan(point, {3, 4, 0});
  EXPECT_EQ(SizeWindow(point, 30, 100, w), WindowStatus::kNoExtent);
  WindowScan flat;
  AddToScan(flat, {0, 0, 0});
  AddToScan(flat, {10, 1, 0});
  // 12 x 1.2 after margins: with 9 cells on the long side the short one
  // rounds to 1; with 4 it rounds to 0 (0.4).
  EXPECT_EQ(SizeWindow(flat, 10, 9, w), WindowStatus::kOk);
  EXPECT_EQ(w.Height, 1);
  EXPECT_EQ(SizeWindow(flat, 10, 4, w), WindowStatus::kSideWithoutCells);
  // Halves go to the even neighbour: 12 x 3.75 with 8 cells is 8 x 2.5 -> 2.
  WindowScan half;
  AddToScan(half, {0, 0, 0});
  AddToScan(half, {10, 3.125_r, 0});
  EXPECT_EQ(SizeWindow(half, 10, 8, w), WindowStatus::kOk);
  EXPECT_EQ(w.Height, 2);
  WindowScan infinite;
  AddToScan(infinite, {0, 0, 0});
  AddToScan(infinite, {INFINITY, 1, 0});
  EXPECT_EQ(SizeWindow(infinite, 10, 10, w), WindowStatus::kNoExtent);
}

}  // namespace

TEST(InsideOnRow, AnswersAsPointInPolygonOnEveryKindOfRow) {
  // Coordinates on a grid of quarters, so that vertices sit on the rows and
  // on the tested points, edges run flat along rows, and crossings fall on points.
  std::mt19937 rng(81226);
  std::uniform_int_distribution<int> grid(-8, 8);
  long inside = 0, tested = 0;
  for (int i = 0; i < 2000; ++i) {
    const int n = 3 + i % 12;
    Point2 poly[kMaxPolygon];
    for (int k = 0; k < n; ++k) poly[k] = {grid(rng) / 4.0_r, grid(rng) / 4.0_r};
    poly[n] = poly[0];
    for (int yi = -9; yi <= 9; ++yi) {
      RowTest row;
      const Real y = yi / 4.0_r + (i % 3 == 0 ? 1e-7_r : 0);
      PrepareRowTest(row, y, poly, n + 1);
      for (int xi = -18; xi <= 18; ++xi) {
        const Real x = xi / 8.0_r;
        const bool want = PointInPolygon(x, y, poly, n + 1);
        ASSERT_EQ(InsideOnRow(row, x, poly), want) << "polygon " << i << " at " << static_cast<double>(x) << ", "
                                                   << static_cast<double>(y);
        inside += want;
        ++tested;
      }
    }
  }
  // Both answers occur often enough to mean something.
  EXPECT_GT(inside, tested / 20);
  EXPECT_LT(inside, tested / 2);
}

}  // namespace anamorfosi
