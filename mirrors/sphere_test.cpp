#include "mirrors/sphere.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "testing/physical_ray_test.h"

namespace anamorfosi {

namespace {

double D(Real v) { return static_cast<double>(v); }

// The precision of Real: 1.1e-19 in long double, 2.2e-16 in a double build.
// A few operations on numbers of order 1 stay within kExact; kNear allows for
// a condition of a million (a hit near the silhouette, a far landing).
const double kExact = 1e4 * std::numeric_limits<Real>::epsilon();
const double kNear = 1e7 * std::numeric_limits<Real>::epsilon();

// The unit ball standing on the sheet.
SphereMirror UnitBall() { return SphereMirror{{0, 0, 1}, 1}; }

void ExpectPoint(Point3 p, Real x, Real y, Real z, double tol = kExact) {
  EXPECT_NEAR(D(p.x), D(x), tol);
  EXPECT_NEAR(D(p.y), D(y), tol);
  EXPECT_NEAR(D(p.z), D(z), tol);
}

TEST(SphereReflectRay, WorkedExamples) {
  MissRecord misses;
  Point3 r;
  // A level ray meeting the ball where its normal points 45 degrees down and
  // toward the eye goes straight down.
  const Real s = std::sqrt(0.5_r);
  ASSERT_TRUE(ReflectRay(UnitBall(), {0, -5, 1 - s}, {0, 0, 1 - s}, r, misses));
  ExpectPoint(r, 0, -s, 0);
  // A plumb ray at x = 0.8 meets the ball at height 1.6, normal (0.8, 0, 0.6),
  // and leaves along (0.96, 0, -0.28): 40/7 of that down to the sheet. The
  // result written over the face point itself.
  r = {0.8_r, 0, 0};
  ASSERT_TRUE(ReflectRay(UnitBall(), {0.8_r, 0, 9}, r, r, misses));
  ExpectPoint(r, 44.0_r / 7, 0, 0);
  EXPECT_FALSE(misses.RayError);
  EXPECT_EQ(misses.MissCount, 0);
  // The same through the independent trace.
  ExpectPoint(TracePhysicalSphereRay({0, 0, 1}, 1, {0.8_r, 0, 9}, {0.8_r, 0, 0})->Ground, 44.0_r / 7, 0, 0);
  // A negative radius reflects like its absolute value; the face point may lie
  // anywhere ahead on the sight line, before the ball or beyond it.
  for (const Point3 f : {Point3{0.8_r, 0, 5}, Point3{0.8_r, 0, -40}}) {
    ASSERT_TRUE(ReflectRay(SphereMirror{{0, 0, 1}, -1}, {0.8_r, 0, 9}, f, r, misses));
    ExpectPoint(r, 44.0_r / 7, 0, 0, 10 * kExact);
  }
}

TEST(SphereReflectRay, RaysThatCannotReachTheSheetAreFullMisses) {
  struct Case {
    const char* what;
    Point3 eye, face;
  } cases[] = {
      {"the top reflects a plumb ray straight up", {0, 0, 5}, {0, 0, 3}},
      {"steeper than 45 degrees from the top, up to the sky", {0.5_r, 0, 5}, {0.5_r, 0, 0}},
      {"a level ray at the equator comes back level", {0, -5, 1}, {0, 0, 1}},
      {"the ray passes beside the ball", {0, -5, 1}, {1.5_r, 0, 1}},
      {"the ray touches the ball", {1, -5, 1}, {1, 0, 1}},
      {"the ball behind the eye", {0, -5, 1}, {0, -10, 1}},
      {"the face point on the eye", {0, -5, 1}, {0, -5, 1}},
      {"the eye inside the ball", {0, 0, 1.5_r}, {0, 1, 0}},
      {"the eye on the ball", {0, -1, 1}, {0, 0, 0.5_r}},
  };
  for (const Case& c : cases) {
    MissRecord misses;
    misses.MissCount = 4;
    Point3 r{1, 2, 3};
    EXPECT_FALSE(ReflectRay(UnitBall(), c.eye, c.face, r, misses)) << c.what;
    EXPECT_TRUE(IsMiss(r)) << c.what;
    EXPECT_TRUE(misses.RayError) << c.what;
    EXPECT_EQ(misses.MissCount, 5) << c.what;
    EXPECT_FALSE(TracePhysicalSphereRay({0, 0, 1}, 1, c.eye, c.face).has_value()) << c.what;
  }
}

// Sight lines passing the centre at (1 - e) radii, e down to 1e-12: the hit
// comes ever closer to the silhouette and the reflected ray leaves nearly
// unbent, landing far off; it agrees with the trace to kNear of the landing
// distance (the precision grown by the 1/sqrt(e) of the hit's sensitivity
// near the silhouette). Beside the ball by as little, they miss.
TEST(SphereReflectRay, GrazingRaysAgreeWithTheTraceAndTheSilhouetteIsSharp) {
  const SphereMirror ball{{3, -2, 10}, 4};
  const Point3 eye{3, -60, 40};
  // The sight line toward the centre, and a unit vector across it in plan.
  const Point3 toCentre = UnitDirection(eye, ball.Centre);
  const Point3 across{1, 0, 0};
  for (const Real e : {1e-3_r, 1e-6_r, 1e-9_r, 1e-12_r}) {
    const Real dist = Distance3(eye, ball.Centre);
    // The sight line through the point (1 - e) radii across from the centre,
    // seen from the eye at an angle whose sine is that over dist.
    const Real sinA = (1 - e) * ball.Radius / dist, cosA = std::sqrt(1 - sinA * sinA);
    for (const Real side : {1.0_r, -1.0_r}) {
      const Point3 dir = cosA * toCentre + (side * sinA) * across;
      const Point3 face = eye + 100 * dir;
      const auto expected = TracePhysicalSphereRay(ball.Centre, ball.Radius, eye, face);
      MissRecord misses;
      Point3 r;
      const bool hit = ReflectRay(ball, eye, face, r, misses);
      ASSERT_EQ(hit, expected.has_value()) << D(e);
      if (!hit) continue;
      const double reach = std::max(1.0, D(Distance3(expected->Ground, ball.Centre)));
      ExpectPoint(r, expected->Ground.x, expected->Ground.y, 0, kNear * reach);
    }
    // Beside the ball by the same share of its radius: no hit.
    const Real sinB = (1 + e) * ball.Radius / dist, cosB = std::sqrt(1 - sinB * sinB);
    MissRecord misses;
    Point3 r;
    EXPECT_FALSE(ReflectRay(ball, eye, eye + 100 * (cosB * toCentre + sinB * across), r, misses)) << D(e);
  }
}

// An eye a hair off the ball, on the normal through the hit 45 degrees below
// the equator, looking at the centre: the ray comes back along the normal and
// lands at (0, -1, 0) whatever the hair.
TEST(SphereReflectRay, AnEyeCloseToTheBallSeesItsOwnNormal) {
  const Real s = std::sqrt(0.5_r);
  const Point3 n{0, -s, -s}, centre{0, 0, 1};
  for (const Real gap : {1.0_r, 1e-3_r, 1e-6_r, 1e-9_r, 1e-12_r}) {
    const Point3 eye = centre + (1 + gap) * n;
    MissRecord misses;
    Point3 r;
    ASSERT_TRUE(ReflectRay(UnitBall(), eye, centre, r, misses)) << D(gap);
    ExpectPoint(r, 0, -1, 0, kExact);
    // And sideways from there, the rays the close eye sees agree with the trace.
    for (const Point3 f : {Point3{0.3_r, 0, 1}, Point3{-0.5_r, 0.1_r, 1.2_r}, Point3{0, 0.4_r, 0.5_r}}) {
      const auto expected = TracePhysicalSphereRay(centre, 1, eye, f);
      const bool hit = ReflectRay(UnitBall(), eye, f, r, misses);
      ASSERT_EQ(hit, expected.has_value()) << D(gap);
      if (hit) ExpectPoint(r, expected->Ground.x, expected->Ground.y, 0, kNear);
    }
  }
}

// Seeded random eyes round balls of several sizes and heights (some cut by the
// sheet, some raised), face points about the ball: hits, landings and misses
// as the independent trace finds them. Rays within 1e-7 radii of the
// silhouette, or leaving within 1e-9 of level, are left out: there the two
// roundings may fall either side of the edge.
TEST(SphereReflectRay, AgreesWithTheIndependentTrace) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1, 1);
  int hits = 0, sky = 0, beside = 0, below = 0;
  for (int i = 0; i < 20000; ++i) {
    const Real radius = 5 + 40 * (u(gen) + 1);
    const SphereMirror ball{{20 * u(gen), 20 * u(gen), radius * (1.0_r + 0.6_r * u(gen))}, i % 2 ? radius : -radius};
    // Eyes from just off the ball to 12 radii away, above the sheet.
    const Real far = radius * (1 + (i % 5 == 0 ? 1e-4_r * (u(gen) + 1) : 6 * (u(gen) + 1)));
    Point3 dir{u(gen), u(gen), u(gen)};
    dir = (1 / std::sqrt(Dot(dir, dir))) * dir;
    const Point3 eye = ball.Centre + far * dir;
    if (!(eye.z > 0)) continue;
    const Point3 face{ball.Centre.x + 1.3_r * radius * u(gen), ball.Centre.y + 1.3_r * radius * u(gen),
                      ball.Centre.z + 1.3_r * radius * u(gen)};
    const Point3 d = face - eye;
    // Distance of the sight line from the centre, and the reflected direction.
    const Point3 o = ball.Centre - eye;
    const Real along = Dot(o, d) / Dot(d, d);
    const Real miss = Distance3(ball.Centre, eye + along * d);
    if (std::fabs(miss - radius) < 1e-7_r * radius) continue;
    const auto expected = TracePhysicalSphereRay(ball.Centre, ball.Radius, eye, face);
    MissRecord record;
    Point3 r;
    const bool hit = ReflectRay(ball, eye, face, r, record);
    Real t = 0;
    if (SphereCrossing(ball, eye, d, t)) {
      const Point3 h = eye + t * d;
      const Point3 n = (1 / radius) * (h - ball.Centre);
      const Point3 out = d - (2 * Dot(d, n)) * n;
      if (std::fabs(out.z) < 1e-9_r * std::sqrt(Dot(out, out))) continue;
      if (h.z < 0) ++below;
      else if (out.z > 0) ++sky;
    } else {
      ++beside;
    }
    ASSERT_EQ(hit, expected.has_value()) << i;
    if (hit) {
      ++hits;
      // Relative to the landing's distance: a ray leaving near level lands far.
      const double tol = kNear * std::max(1.0, D(Distance3(expected->Ground, ball.Centre)));
      ExpectPoint(r, expected->Ground.x, expected->Ground.y, 0, tol);
    } else {
      EXPECT_TRUE(IsMiss(r));
      EXPECT_EQ(record.MissCount, 1);
    }
  }
  // Each way a ray goes, many times.
  EXPECT_GT(hits, 2000);
  EXPECT_GT(sky, 1000);
  EXPECT_GT(beside, 1000);
  EXPECT_GT(below, 20);
}

}  // namespace

}  // namespace anamorfosi
