#include "axial.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double D(Real v) { return static_cast<double>(v); }

TEST(Line2FromPoints, UnitNormalDirectedFromFirstToSecond) {
  Real a = 9, b = 9, c = 9;
  GeometryStatus status = -1;
  Line2FromPoints(0, 0, 2, 0, a, b, c, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(a), 0, 1e-18);
  EXPECT_NEAR(D(b), 1, 1e-18);
  EXPECT_NEAR(D(c), 0, 1e-18);
  // An oblique line: both points lie on it and (b, -a) runs from the first to the second.
  Line2FromPoints(1, 2, 4, -2, a, b, c, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(a * a + b * b), 1, 1e-15);
  EXPECT_NEAR(D(a * 1 + b * 2 + c), 0, 1e-15);
  EXPECT_NEAR(D(a * 4 + b * -2 + c), 0, 1e-15);
  EXPECT_NEAR(D(b), 0.6, 1e-15);
  EXPECT_NEAR(D(-a), -0.8, 1e-15);
}

TEST(Line2FromPoints, CoincidentPointsAreStatus2AndWriteNothing) {
  Real a = 7, b = 8, c = 9;
  GeometryStatus status = 0;
  Line2FromPoints(3, 4, 3, 4 + 1e-16L, a, b, c, status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 8);
  EXPECT_EQ(c, 9);
}

TEST(IntersectLineCircle, CrossingsInTheOrderOfTravel) {
  Real a, b, c, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  GeometryStatus status;
  Line2FromPoints(0, 0, 2, 0, a, b, c, status);
  IntersectLineCircle(0, 0, 1, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(x1), -1, 1e-15);
  EXPECT_NEAR(D(y1), 0, 1e-15);
  EXPECT_NEAR(D(x2), 1, 1e-15);
  // Travelling the other way, off the origin: the order follows the travel.
  Line2FromPoints(10, 5, 0, 5, a, b, c, status);
  IntersectLineCircle(3, 2, 5, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(x1), 7, 1e-15);
  EXPECT_NEAR(D(y1), 5, 1e-15);
  EXPECT_NEAR(D(x2), -1, 1e-15);
  EXPECT_NEAR(D(y2), 5, 1e-15);
}

TEST(IntersectLineCircle, TangentGrazingAndDegenerateLines) {
  Real a, b, c, x1 = 5, y1 = 5, x2 = 5, y2 = 5;
  GeometryStatus status;
  // Tangent, outside, and cutting by less than the tolerance: status 14.
  for (Real y : {1.0L, 3.0L, 1.0L - 1e-12L}) {
    Line2FromPoints(-5, y, 5, y, a, b, c, status);
    IntersectLineCircle(0, 0, 1, a, b, c, x1, y1, x2, y2, status);
    EXPECT_EQ(status, 14) << D(y);
  }
  // Cutting by a clear margin is a crossing.
  Line2FromPoints(-5, 0.999L, 5, 0.999L, a, b, c, status);
  IntersectLineCircle(0, 0, 1, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 0);
  // A line without a normal: status 13, not a division by zero.
  x1 = 5;
  IntersectLineCircle(0, 0, 1, 0, 0, 1, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 13);
  EXPECT_EQ(x1, 5);
  // Radius 0: every line misses.
  Line2FromPoints(-5, 0, 5, 0, a, b, c, status);
  IntersectLineCircle(0, 0, 0, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 14);
}

TEST(LineFromPoints, UnitDirectionOrStatus6WithRawDifference) {
  Point3 origin, dir;
  GeometryStatus status;
  LineFromPoints({1, 1, 1}, {4, 5, 1}, origin, dir, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(origin.x, 1);
  EXPECT_NEAR(D(dir.x), 0.6, 1e-18);
  EXPECT_NEAR(D(dir.y), 0.8, 1e-18);
  EXPECT_EQ(dir.z, 0);
  LineFromPoints({1, 2, 3}, {1 + 1e-11L, 2, 3}, origin, dir, status);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(origin.y, 2);
  EXPECT_NEAR(D(dir.x), 1e-11, 1e-18);
}

TEST(PerpendicularPlane, ThroughCWithNormalFromAToB) {
  Plane p;
  GeometryStatus status;
  PerpendicularPlane({0, 0, 0}, {3, 4, 0}, {3, 4, 7}, p, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(p.nx), 0.6, 1e-18);
  EXPECT_NEAR(D(p.ny), 0.8, 1e-18);
  EXPECT_NEAR(D(p.nz), 0, 1e-18);
  EXPECT_NEAR(D(p.d), -5, 1e-15);
  Plane untouched{1, 2, 3, 4};
  PerpendicularPlane({1, 2, 3}, {1 + 1e-11L, 2, 3}, {0, 0, 0}, untouched, status);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(untouched.nx, 1);
  EXPECT_EQ(untouched.d, 4);
}

TEST(PlaceAxis, AxisAndRadiusInCellsFromTheTopLeft) {
  OutputWindow w;
  w.MinX = -50;
  w.MaxY = 30;
  w.CellSize = 0.4L;
  const AxialPlacement p = PlaceAxis(w, {10, -9.68L, 0}, 32.08L);
  EXPECT_NEAR(D(p.AxisColumn), 150, 1e-12);
  EXPECT_NEAR(D(p.AxisRow), 99.2, 1e-12);
  EXPECT_NEAR(D(p.RadiusCells), 80.2, 1e-12);
  // The axis may lie left of the window; a negative radius stays negative.
  const AxialPlacement q = PlaceAxis(w, {-60, 40, 0}, -2);
  EXPECT_NEAR(D(q.AxisColumn), -25, 1e-12);
  EXPECT_NEAR(D(q.AxisRow), -25, 1e-12);
  EXPECT_NEAR(D(q.RadiusCells), -5, 1e-12);
}

}  // namespace
