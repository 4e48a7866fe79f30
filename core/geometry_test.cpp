#include "core/geometry.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace anamorfosi {

namespace {

void ExpectPoint(Point3 actual, Real x, Real y, Real z, Real tolerance = 1e-15_r) {
  EXPECT_NEAR(static_cast<double>(actual.x), static_cast<double>(x), static_cast<double>(tolerance));
  EXPECT_NEAR(static_cast<double>(actual.y), static_cast<double>(y), static_cast<double>(tolerance));
  EXPECT_NEAR(static_cast<double>(actual.z), static_cast<double>(z), static_cast<double>(tolerance));
}

TEST(RealLiteral, IsTheWrittenDecimalInRealsOwnPrecision) {
  static_assert(std::is_same_v<decltype(0.5_r), Real>);
  // Each quotient is the correctly rounded decimal in Real; a literal that went
  // through a double on its way would miss it in extended precision.
  EXPECT_EQ(0.1_r, Real(1) / 10);
  EXPECT_EQ(1e-9_r, Real(1) / 1000000000);
  EXPECT_EQ(-999.999_r, Real(-999999) / 1000);
  EXPECT_EQ(MissCoordinate, -999.999_r);
  EXPECT_EQ(2.5_r, Real(5) / 2);
}

TEST(PointToward, NegativeDistanceActsAsItsMagnitude) {
  const Point3 a{1, 2, 3}, b{4, 6, 15};
  const Point3 plus = PointToward(a, b, 6.5_r);
  const Point3 minus = PointToward(a, b, -6.5_r);
  EXPECT_EQ(plus.x, minus.x);
  EXPECT_EQ(plus.y, minus.y);
  EXPECT_EQ(plus.z, minus.z);
  // |ab| = 13, so 6.5 is half way.
  ExpectPoint(plus, 2.5_r, 4, 9);
}

TEST(PointToward, TwiceTheLengthLiesPastTheTarget) {
  const Point3 a{1, -2, 0.5_r}, b{3, 1, 4};
  const Real ab = Distance3(a, b);
  const Point3 r = PointToward(a, b, 2 * ab);
  ExpectPoint(r, 5, 4, 7.5_r, 1e-14_r);
  EXPECT_NEAR(static_cast<double>(Distance3(a, r)), static_cast<double>(2 * ab), 1e-14);
  EXPECT_NEAR(static_cast<double>(Distance3(b, r)), static_cast<double>(ab), 1e-14);
}

TEST(PointToward, DegenerateInputsGiveTheBasePointUnchanged) {
  const Point3 a{1.25_r, -7, 3}, b{2, 2, 2};
  const Point3 same = PointToward(a, a, 5);
  EXPECT_EQ(same.x, a.x);
  EXPECT_EQ(same.y, a.y);
  EXPECT_EQ(same.z, a.z);
  const Point3 beyond = PointBeyond(a, b, 0);
  EXPECT_EQ(beyond.x, b.x);
  EXPECT_EQ(beyond.y, b.y);
  EXPECT_EQ(beyond.z, b.z);
  // Distances up to 1e-8 count as none.
  const Point3 tiny = PointToward(a, b, 1e-9_r);
  EXPECT_EQ(tiny.x, a.x);
  EXPECT_EQ(tiny.z, a.z);
}

TEST(PointToward, VerticalSegmentKeepsXAndYExactly) {
  const Point3 a{0.1_r, 0.7_r, 2}, b{0.1_r, 0.7_r, -3};
  const Point3 r = PointToward(a, b, 1.5_r);
  EXPECT_EQ(r.x, a.x);
  EXPECT_EQ(r.y, a.y);
  EXPECT_EQ(r.z, 0.5_r);
  const Point3 past = PointBeyond(a, b, 1);
  EXPECT_EQ(past.x, b.x);
  EXPECT_EQ(past.y, b.y);
  EXPECT_EQ(past.z, -4);
}

TEST(PointBeyond, MovesPastTheSecondPointAlongTheLine) {
  const Point3 a{0, 0, 0}, b{3, 4, 0};
  ExpectPoint(PointBeyond(a, b, 10), 9, 12, 0);
  ExpectPoint(PointBeyond(a, b, -5), 6, 8, 0);
}

TEST(Geometry, ResultMayBeTheSameObjectAsAnInput) {
  Point3 p{0, 0, 0};
  const Point3 b{0, 3, 4};
  p = PointToward(p, b, 10);
  ExpectPoint(p, 0, 6, 8);
}

TEST(PlaneFromPoints, CollinearPointsGiveAZeroPlaneAndFarDistance) {
  const Plane pl = PlaneFromPoints({0, 0, 0}, {1, 1, 1}, {2, 2, 2});
  EXPECT_EQ(pl.nx, 0);
  EXPECT_EQ(pl.ny, 0);
  EXPECT_EQ(pl.nz, 0);
  EXPECT_EQ(pl.d, 0);
  EXPECT_EQ(SignedDistance(pl, {5, -3, 2}), 1e10_r);
}

TEST(PlaneFromPoints, IsNormalisedWithTheNormalFromThePointOrder) {
  const Plane pl = PlaneFromPoints({0, 0, 2}, {0, 5, 2}, {3, 0, 2});
  // u = (-3, 0, 0), v = (-3, 5, 0): u x v = (0, 0, -15).
  EXPECT_EQ(pl.nx, 0);
  EXPECT_EQ(pl.ny, 0);
  EXPECT_EQ(pl.nz, -1);
  EXPECT_EQ(pl.d, 2);
  EXPECT_EQ(SignedDistance(pl, {7, 7, 5}), -3);
}

TEST(GroundPlane, IsExactlyZeroZeroMinusOneZero) {
  const Plane g = MakeGroundPlane();
  EXPECT_EQ(g.nx, 0);
  EXPECT_EQ(g.ny, 0);
  EXPECT_EQ(g.nz, -1);
  EXPECT_EQ(g.d, 0);
  EXPECT_EQ(SignedDistance(g, {3, 4, 5}), -5);
}

TEST(IntersectLinePlane, ParallelLineWritesTheMissMarkIntoXOnly) {
  Point3 r{1, 2, 3};
  Real along = 42;
  const bool met = IntersectLinePlane({0, 0, 5}, MakeGroundPlane(), {1, 0, 0}, r, along);
  EXPECT_FALSE(met);
  EXPECT_EQ(r.x, MissCoordinate);
  EXPECT_EQ(r.y, 2);
  EXPECT_EQ(r.z, 3);
  EXPECT_EQ(along, 42);
  EXPECT_FALSE(IsMiss(r));
}

TEST(IntersectLinePlane, MeetsThePlaneInFrontAndBehind) {
  const Plane g = MakeGroundPlane();
  Point3 r;
  Real along = 0;
  ASSERT_TRUE(IntersectLinePlane({1, 1, 4}, g, {0, 0.6_r, -0.8_r}, r, along));
  ExpectPoint(r, 1, 4, 0);
  EXPECT_NEAR(static_cast<double>(along), 5.0, 1e-15);
  // The same line pointing away still meets the plane, behind the start.
  ASSERT_TRUE(IntersectLinePlane({1, 1, 4}, g, {0, -0.6_r, 0.8_r}, r, along));
  ExpectPoint(r, 1, 4, 0);
  EXPECT_NEAR(static_cast<double>(along), -5.0, 1e-15);
}

TEST(UnitDirection, CoincidentPointsGiveTheZeroVector) {
  const Point3 u = UnitDirection({2, 3, 4}, {2, 3, 4});
  EXPECT_EQ(u.x, 0);
  EXPECT_EQ(u.y, 0);
  EXPECT_EQ(u.z, 0);
  ExpectPoint(UnitDirection({1, 1, 1}, {1, 4, 5}), 0, 0.6_r, 0.8_r);
}

TEST(Distance, PlanAndSpaceDistances) {
  EXPECT_EQ(Distance3({1, 2, 3}, {3, 5, 9}), 7);
  EXPECT_EQ(Distance2(1, 1, 4, 5), 5);
}

}  // namespace

}  // namespace anamorfosi
