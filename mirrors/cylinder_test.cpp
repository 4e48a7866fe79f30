#include "mirrors/cylinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "testing/physical_ray_test.h"

namespace anamorfosi {

namespace {

double D(Real v) { return static_cast<double>(v); }

Cylinder UnitCylinder() { return Cylinder{{0, 0, 0}, 1}; }

void ExpectPoint(Point3 p, Real x, Real y, Real z, double tol = 1e-12) {
  EXPECT_NEAR(D(p.x), D(x), tol);
  EXPECT_NEAR(D(p.y), D(y), tol);
  EXPECT_NEAR(D(p.z), D(z), tol);
}

TEST(CylinderReflectRay, WorkedExamples) {
  MissRecord misses;
  Point3 r;
  ASSERT_TRUE(ReflectRay(UnitCylinder(), {0, -5, 5}, {0, 0, 0}, r, misses));
  ExpectPoint(r, 0, -2, 0);
  // The result written over the face point itself.
  r = {0, 0, 2};
  ASSERT_TRUE(ReflectRay(UnitCylinder(), {3, -4, 8}, r, r, misses));
  ExpectPoint(r, 2.2_r, -44.0_r / 15, 0);
  EXPECT_FALSE(misses.RayError);
  EXPECT_EQ(misses.MissCount, 0);
  // The hit points of the two examples, through the independent trace.
  ExpectPoint(TracePhysicalRay({0, 0, 0}, 1, {0, -5, 5}, {0, 0, 0})->Hit, 0, -1, 1);
  ExpectPoint(TracePhysicalRay({0, 0, 0}, 1, {3, -4, 8}, {0, 0, 2})->Hit, 0.6_r, -0.8_r, 3.2_r);
}

// Any face point on the same sight line gives the same ground point, also one
// between the eye and the cylinder.
TEST(CylinderReflectRay, FacePointAnywhereAheadOnTheSightLine) {
  for (Point3 f : {Point3{0, -3, 3}, Point3{0, -1.5_r, 1.5_r}, Point3{0, 2, -2}}) {
    MissRecord misses;
    Point3 r;
    ASSERT_TRUE(ReflectRay(UnitCylinder(), {0, -5, 5}, f, r, misses)) << D(f.y);
    ExpectPoint(r, 0, -2, 0);
  }
}

// Eyes inside and outside the cylinder; half of the radii negative, which
// reflect like their absolute value.
TEST(CylinderReflectRay, AgreesWithTheIndependentTrace) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1, 1);
  int hits = 0, misses = 0;
  for (int i = 0; i < 2000; ++i) {
    const Cylinder cyl{{12, -7, 0}, i % 2 ? 9.0_r : -9.0_r};
    const Point3 E{12 + 60 * u(gen), -7 + 60 * u(gen), 40 + 30 * u(gen)};
    const Point3 F{12 + 12 * u(gen), -7 + 12 * u(gen), 15 + 15 * u(gen)};
    const auto expected = TracePhysicalRay(cyl.AxisPoint, cyl.Radius, E, F);
    MissRecord record;
    Point3 r;
    const bool hit = ReflectRay(cyl, E, F, r, record);
    // Rays that graze the cylinder fall on the tolerance; the closed form has none.
    const Real ex = F.x - E.x, ey = F.y - E.y;
    const Real k = std::fabs((cyl.AxisPoint.x - E.x) * ey - (cyl.AxisPoint.y - E.y) * ex) / std::hypot(ex, ey);
    if (std::fabs(k - std::fabs(cyl.Radius)) < 1e-6_r) continue;
    ASSERT_EQ(hit, expected.has_value()) << i;
    if (hit) {
      ++hits;
      const double tol = 1e-9 * std::max(1.0, D(std::fabs(expected->Ground.x) + std::fabs(expected->Ground.y)));
      ExpectPoint(r, expected->Ground.x, expected->Ground.y, 0, tol);
    } else {
      ++misses;
      EXPECT_TRUE(IsMiss(r));
      EXPECT_EQ(record.MissCount, 1);
    }
  }
  EXPECT_GT(hits, 300);
  EXPECT_GT(misses, 300);
}

TEST(CylinderReflectRay, RaysThatCannotReachTheSheetAreFullMisses) {
  struct Case {
    const char* what;
    Point3 centre, face;
  } cases[] = {
      {"sight line rises, reflection rises", {0, -5, 5}, {0, 0, 6}},
      {"reflected ray parallel to the sheet", {0, -5, 5}, {0, 0, 5}},
      {"vertical sight line", {0.5_r, 0, 9}, {0.5_r, 0, 1}},
      {"plan line passes the cylinder", {0, -5, 5}, {3, 0, 0}},
      {"plan line tangent", {1, -5, 5}, {1, 0, 0}},
      {"cylinder behind the eye", {0, -5, 5}, {0, -10, 4}},
      {"hit below the sheet", {0, -5, 5}, {0, -3, -1}},
  };
  for (const Case& c : cases) {
    MissRecord misses;
    misses.MissCount = 4;
    Point3 r{1, 2, 3};
    EXPECT_FALSE(ReflectRay(UnitCylinder(), c.centre, c.face, r, misses)) << c.what;
    EXPECT_TRUE(IsMiss(r)) << c.what;
    EXPECT_TRUE(misses.RayError) << c.what;
    EXPECT_EQ(misses.MissCount, 5) << c.what;
  }
}

TEST(CylinderReflectRay, EyeInsideSeesTheWallAhead) {
  const Cylinder big{{0, 0, 0}, 10};
  MissRecord misses;
  Point3 r;
  // The wall behind the eye (y = -10) is nearer in plan; the one ahead (y = 10)
  // is hit at t = 13/3, height 11/3, and the ray comes back down to y = -1.
  ASSERT_TRUE(ReflectRay(big, {0, -3, 8}, {0, 0, 7}, r, misses));
  ExpectPoint(r, 0, -1, 0);
  // From the axis itself the two walls are equally far: still the one ahead.
  ASSERT_TRUE(ReflectRay(big, {0, 0, 8}, {0, 1, 7.5_r}, r, misses));
  ExpectPoint(r, 0, 4, 0);
  EXPECT_FALSE(misses.RayError);
}

}  // namespace

}  // namespace anamorfosi
