#include "mirrors/axial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace anamorfosi {

namespace {

double D(Real v) { return static_cast<double>(v); }

TEST(PlanRoutines, LineThroughTwoPointsAndItsCircleCrossings) {
  Real a, b, c, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  GeometryStatus status = -1;
  Line2FromPoints(0, 0, 2, 0, a, b, c, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(b), 1, 1e-18);
  EXPECT_NEAR(D(a), 0, 1e-18);
  EXPECT_NEAR(D(c), 0, 1e-18);
  IntersectLineCircle(0, 0, 1, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(x1), -1, 1e-15);
  EXPECT_NEAR(D(x2), 1, 1e-15);
  // Oblique, off the origin and travelling toward -x: crossings in the order of travel.
  Line2FromPoints(10, 5, 0, 5, a, b, c, status);
  EXPECT_NEAR(D(a * 10 + b * 5 + c), 0, 1e-15);
  IntersectLineCircle(3, 2, 5, a, b, c, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(D(x1), 7, 1e-15);
  EXPECT_NEAR(D(y1), 5, 1e-15);
  EXPECT_NEAR(D(x2), -1, 1e-15);
}

TEST(PlanRoutines, DegenerateCasesLeaveTheOutputsAlone) {
  Real a = 7, b = 8, c = 9, x1 = 5, y1 = 5, x2 = 5, y2 = 5;
  GeometryStatus status = 0;
  Line2FromPoints(3, 4, 3, 4 + 1e-16_r, a, b, c, status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(a + b + c, 24);
  // Tangent, outside, cutting by less than the tolerance, radius 0: status 14.
  for (auto [y, r] : {std::pair{1.0_r, 1.0_r}, {3.0_r, 1.0_r}, {1.0_r - 1e-12_r, 1.0_r}, {0.0_r, 0.0_r}}) {
    Line2FromPoints(-5, y, 5, y, a, b, c, status);
    IntersectLineCircle(0, 0, r, a, b, c, x1, y1, x2, y2, status);
    EXPECT_EQ(status, 14) << D(y) << " " << D(r);
  }
  // A line without a normal is status 13, not a division by zero.
  IntersectLineCircle(0, 0, 1, 0, 0, 1, x1, y1, x2, y2, status);
  EXPECT_EQ(status, 13);
  EXPECT_EQ(x1 + y1 + x2 + y2, 20);
}

TEST(SpaceRoutines, LineAndPerpendicularPlane) {
  Point3 origin, dir;
  Plane p;
  GeometryStatus status;
  PerpendicularPlane({0, 0, 0}, {3, 4, 0}, {3, 4, 7}, p, status);
  EXPECT_EQ(status, 0);
  // The normal divided by its length is within a few units of Real's last
  // place: with long double that rounds to the double 0.6 itself (1e-18), with
  // double it may be the double next to it (1.1e-16 away).
  const double lastPlaces = std::max(1e-18, 4 * static_cast<double>(std::numeric_limits<Real>::epsilon()));
  EXPECT_NEAR(D(p.nx), 0.6, lastPlaces);
  EXPECT_NEAR(D(p.ny), 0.8, lastPlaces);
  EXPECT_NEAR(D(p.d), -5, 1e-15);
  // Two points 1e-11 apart: status 6, origin A and the raw difference; no plane.
  LineFromPoints({1, 2, 3}, {1 + 1e-11_r, 2, 3}, origin, dir, status);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(origin.y, 2);
  EXPECT_NEAR(D(dir.x), 1e-11, 1e-18);
  Plane untouched{1, 2, 3, 4};
  PerpendicularPlane({1, 2, 3}, {1 + 1e-11_r, 2, 3}, {0, 0, 0}, untouched, status);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(untouched.nx + untouched.d, 5);
}

TEST(PlaceAxis, AxisAndRadiusInCellsFromTheTopLeft) {
  OutputWindow w;
  w.MinX = -50;
  w.MaxY = 30;
  w.CellSize = 0.4_r;
  const AxialPlacement p = PlaceAxis(w, {10, -9.68_r, 0}, 32.08_r);
  EXPECT_NEAR(D(p.AxisColumn), 150, 1e-12);
  EXPECT_NEAR(D(p.AxisRow), 99.2, 1e-12);
  EXPECT_NEAR(D(p.RadiusCells), 80.2, 1e-12);
}

}  // namespace

}  // namespace anamorfosi
