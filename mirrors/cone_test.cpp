#include "mirrors/cone.h"

#include <gtest/gtest.h>

#include "testing/cone_reference.h"

namespace anamorfosi {

namespace {

void ExpectPoint(Point3 actual, Real x, Real y, Real z, double tolerance = 1e-12) {
  EXPECT_NEAR(static_cast<double>(actual.x), static_cast<double>(x), tolerance);
  EXPECT_NEAR(static_cast<double>(actual.y), static_cast<double>(y), tolerance);
  EXPECT_NEAR(static_cast<double>(actual.z), static_cast<double>(z), tolerance);
}

void ExpectFullMiss(Point3 p) {
  EXPECT_EQ(p.x, MissCoordinate);
  EXPECT_EQ(p.y, MissCoordinate);
  EXPECT_EQ(p.z, MissCoordinate);
}

// A 45-degree cone with its apex at (0, 0, 1) and the base circle of radius 1.
ConeMirror UnitCone() {
  ConeMirror cone;
  cone.BaseRadius = 1;
  cone.ConeHeight = 1;
  cone.AxisTolerance = 0.001_r;
  return cone;
}

TEST(SolveQuadratic, RootsInTheirOrderWhateverTheSignOfA) {
  Real t1 = 0, t2 = 0;
  GeometryStatus status = -1;
  // (t - 1)(t - 3)
  SolveQuadratic(1, -4, 3, t1, t2, status);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(t1), 3);
  EXPECT_DOUBLE_EQ(static_cast<double>(t2), 1);
  // -(t - 1)(t - 3): t1 is now the smaller root.
  SolveQuadratic(-1, 4, -3, t1, t2, status);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(t1), 1);
  EXPECT_DOUBLE_EQ(static_cast<double>(t2), 3);
}

TEST(SolveQuadratic, NoUsableRootsLeaveTheOutputsAlone) {
  struct Case {
    Real a, b, c;
  };
  const Case cases[] = {
      {1, 0, 1},          // no real root
      {1, 2, 1},          // double root: a tangent line
      {1, 0, -2e-11_r},    // D = 8e-11, below the threshold
      {5e-11_r, 2, -1},    // a near 0: parallel to a generator
      {0, 0, 0},
  };
  for (const Case& c : cases) {
    Real t1 = 42, t2 = 43;
    GeometryStatus status = 0;
    SolveQuadratic(c.a, c.b, c.c, t1, t2, status);
    EXPECT_EQ(status, 1) << c.a << " " << c.b << " " << c.c;
    EXPECT_EQ(t1, 42);
    EXPECT_EQ(t2, 43);
  }
}

TEST(ConeReflectRay, RaysFromAboveTheApex) {
  const ConeMirror cone = UnitCone();
  const Point3 eye{0, 0, 10};
  MissRecord misses;
  Point3 hit, r;

  ASSERT_TRUE(IntersectCone(cone, eye, {0.05_r, 0, 9}, hit));
  ExpectPoint(hit, 9.0_r / 19, 0, 10.0_r / 19);
  ASSERT_TRUE(ReflectRay(cone, eye, {0.05_r, 0, 9}, r, misses));
  ExpectPoint(r, 11, 0, 0);

  // Exactly onto the base circle, which is its own image.
  ASSERT_TRUE(ReflectRay(cone, eye, {0.1_r, 0, 9}, r, misses));
  ExpectPoint(r, 1, 0, 0);

  // Straight down the axis: on through the apex to the axis foot.
  ASSERT_TRUE(ReflectRay(cone, eye, {0, 0, 9}, r, misses));
  ExpectPoint(r, 0, 0, 0, 0);
  ASSERT_TRUE(ReflectRay(cone, {0.0009_r, -0.0005_r, 10}, {0.0001_r, 0.0004_r, 9}, r, misses));
  ExpectPoint(r, 0, 0, 0, 0);
  EXPECT_FALSE(misses.RayError);
  EXPECT_EQ(misses.MissCount, 0);
}

TEST(ConeReflectRay, OnlyTheRealConeInFrontOfTheEyeReflects) {
  const ConeMirror cone = UnitCone();
  struct Case {
    const char* what;
    Point3 eye, target;
  };
  const Case cases[] = {
      // The line meets the cone's extension below the sheet at (2.25, 0, -1.25).
      {"beside the cone", {0, 0, 10}, {0.2_r, 0, 9}},
      // Meets the near side at (0.5, 0, 0.5), whose reflection goes straight up.
      {"horizontal from the side", {5, 0, 0.5_r}, {4, 0, 0.5_r}},
      // The cone lies behind the eye.
      {"looking away", {2, 0, 0.5_r}, {3, 0, 0.5_r}},
      {"axis upward from above the apex", {0, 0, 10}, {0, 0, 11}},
      // Touches the cone at (0, 0.5, 0.5) only.
      {"grazing", {5, 0.5_r, 0.5_r}, {4, 0.5_r, 0.5_r}},
      // Parallel to the generator through (1, 0, 0); meets the upper nappe only.
      {"along a generator", {-5, 0, 7}, {-4, 0, 6}},
      {"eye on the face point", {3, 0, 2}, {3, 0, 2}},
  };
  for (const Case& c : cases) {
    MissRecord misses;
    Point3 r{1, 2, 3};
    EXPECT_FALSE(ReflectRay(cone, c.eye, c.target, r, misses)) << c.what;
    ExpectFullMiss(r);
    EXPECT_TRUE(misses.RayError) << c.what;
    EXPECT_EQ(misses.MissCount, 1) << c.what;
  }
  Point3 hit;
  ASSERT_TRUE(IntersectCone(cone, {5, 0, 0.5_r}, {4, 0, 0.5_r}, hit));
  ExpectPoint(hit, 0.5_r, 0, 0.5_r);
}

TEST(ConeReflectRay, ResultMayBeTheFacePointItself) {
  ConeMirror cone;
  cone.AxisPoint = {3, -2, 0};
  cone.BaseRadius = 2;
  cone.ConeHeight = 5;
  cone.AxisTolerance = 0.01_r;
  const Point3 eye{4, 1, 14};
  MissRecord misses;
  Point3 separate;
  Point3 shared{3.9_r, 0.7_r, 12};
  ASSERT_TRUE(ReflectRay(cone, eye, shared, separate, misses));
  ASSERT_TRUE(ReflectRay(cone, eye, shared, shared, misses));
  EXPECT_EQ(shared.x, separate.x);
  EXPECT_EQ(shared.y, separate.y);
  EXPECT_EQ(shared.z, separate.z);
  Point3 missing{0, 0, 15};
  EXPECT_FALSE(ReflectRay(cone, eye, missing, missing, misses));
  ExpectFullMiss(missing);
}

// Off-axis rays in every direction round a cone off the origin, against a
// reflection worked out independently (root search along the ray, normal from
// the surface's gradient).
TEST(ConeReflectRay, AgreesWithIndependentReflection) {
  ConeMirror cone;
  cone.AxisPoint = {3, -2, 0};
  cone.BaseRadius = 2;
  cone.ConeHeight = 5;
  cone.AxisTolerance = 0.01_r;
  const Point3 eye{4, 1, 14};
  int compared = 0;
  for (int i = -4; i <= 4; ++i) {
    for (int j = -4; j <= 4; ++j) {
      const Point3 q{eye.x + (cone.AxisPoint.x - eye.x) * 0.3_r + i * 0.07_r,
                     eye.y + (cone.AxisPoint.y - eye.y) * 0.3_r + j * 0.07_r, eye.z - 3};
      MissRecord misses;
      Point3 r;
      const bool got = ReflectRay(cone, eye, q, r, misses);
      Point3 expected;
      const bool want = ReferenceConeImage(cone.AxisPoint.x, cone.AxisPoint.y, cone.BaseRadius, cone.ConeHeight,
                                           eye, q, expected);
      EXPECT_EQ(got, want) << i << " " << j;
      if (got && want) {
        ExpectPoint(r, expected.x, expected.y, 0, 1e-7);
        ++compared;
      }
    }
  }
  // Most of the fan hits the cone; some rays pass beside it.
  EXPECT_GT(compared, 30);
  EXPECT_LT(compared, 81);
}

TEST(ConeReflectRay, NegativeRadiusIsTheSameCone) {
  ConeMirror a = UnitCone(), b = UnitCone();
  b.BaseRadius = -1;
  MissRecord misses;
  Point3 ra, rb;
  ASSERT_TRUE(ReflectRay(a, {0.3_r, 0.2_r, 10}, {0.33_r, 0.21_r, 9}, ra, misses));
  ASSERT_TRUE(ReflectRay(b, {0.3_r, 0.2_r, 10}, {0.33_r, 0.21_r, 9}, rb, misses));
  ExpectPoint(rb, ra.x, ra.y, ra.z, 1e-15);
}

}  // namespace

}  // namespace anamorfosi
