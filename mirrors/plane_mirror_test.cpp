#include "mirrors/plane_mirror.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "testing/test_support.h"

namespace anamorfosi {

namespace {

PlaneMirror MirrorThrough(Point3 a, Point3 b, Point3 c) {
  PlaneMirror m;
  m.MirrorPlane = PlaneFromPoints(a, b, c);
  m.HasFace = true;
  return m;
}

// The mirror x = 0 of the worked example.
PlaneMirror WallMirror() { return MirrorThrough({0, 0, 0}, {0, 10, 0}, {0, 10, 10}); }

void ExpectNear(Point3 p, Real x, Real y, Real z, Real tol = 1e-12_r) {
  EXPECT_NEAR(static_cast<double>(p.x), static_cast<double>(x), static_cast<double>(tol));
  EXPECT_NEAR(static_cast<double>(p.y), static_cast<double>(y), static_cast<double>(tol));
  EXPECT_NEAR(static_cast<double>(p.z), static_cast<double>(z), static_cast<double>(tol));
}

TEST(PlaneMirror, WorkedExampleBothTurningSenses) {
  const PlaneMirror forward = WallMirror();
  EXPECT_EQ(forward.MirrorPlane.nx, 1);
  const PlaneMirror backward = MirrorThrough({0, 0, 10}, {0, 10, 10}, {0, 10, 0});
  for (const PlaneMirror& m : {forward, backward}) {
    MissRecord misses;
    Point3 r;
    ASSERT_TRUE(ReflectRay(m, {10, 0, 20}, {5, 0, 15}, r, misses));
    ExpectNear(r, 10, 0, 0);
    EXPECT_FALSE(misses.RayError);
  }
}

TEST(PlaneMirror, ResultMayBeTheFacePoint) {
  MissRecord misses;
  Point3 p{5, 0, 15};
  ASSERT_TRUE(ReflectRay(WallMirror(), {10, 0, 20}, p, p, misses));
  ExpectNear(p, 10, 0, 0);
}

TEST(PlaneMirror, RaysThatCannotReachTheSheetAreFullMisses) {
  const PlaneMirror m = WallMirror();
  struct Case {
    const char* what;
    Point3 centre, face;
  } cases[] = {
      {"reflected ray rises", {10, 0, 5}, {5, 0, 7.5_r}},
      {"mirror behind the eye", {10, 0, 20}, {15, 0, 15}},
      {"sight line parallel to the mirror", {10, 0, 20}, {10, 5, 15}},
      {"reflected ray parallel to the sheet", {10, 0, 20}, {5, 0, 20}},
      {"mirror point below the sheet", {10, 0, 5}, {5, 0, 2}},
      {"face point on the centre", {10, 0, 20}, {10, 0, 20}},
  };
  for (const Case& c : cases) {
    MissRecord misses;
    Point3 r{1, 2, 3};
    EXPECT_FALSE(ReflectRay(m, c.centre, c.face, r, misses)) << c.what;
    EXPECT_TRUE(IsMiss(r)) << c.what;
    EXPECT_TRUE(misses.RayError) << c.what;
    EXPECT_EQ(misses.MissCount, 1) << c.what;
  }
}

// The image of a sheet point S seen in the mirror is its mirror image S'; the
// eye sees S along the line from the eye to S'. So tracing any point of that
// line must land on S.
TEST(PlaneMirror, AgreesWithTheMirrorImageOfTheSheet) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < 500; ++i) {
    const Point3 n0{u(rng), u(rng), u(rng) * 0.3_r};
    const Real len = std::sqrt(Dot(n0, n0));
    if (len < 0.2_r) continue;
    const Point3 n = (1 / len) * n0;
    const Point3 onMirror{u(rng) * 5, u(rng) * 5, 20 + u(rng) * 5};
    // A plane through onMirror with normal n, given by three points.
    Point3 t1 = Cross(n, {0, 0, 1});
    if (Dot(t1, t1) < 1e-6_r) t1 = Cross(n, {1, 0, 0});
    const Point3 t2 = Cross(n, t1);
    const PlaneMirror m = MirrorThrough(onMirror, onMirror + t1, onMirror + t2);
    const Point3 eye = onMirror + 30 * n + Point3{u(rng) * 5, u(rng) * 5, 15};
    const Point3 sheet{u(rng) * 40, u(rng) * 40, 0};
    const Real ds = Dot(sheet - onMirror, n), de = Dot(eye - onMirror, n);
    if (ds * de <= 0) continue;  // sheet point behind the mirror: not visible in it
    const Point3 image = sheet - (2 * ds) * n;
    // The reflection point lies between the eye and the image; take a face point past it.
    const Point3 face = eye + 1.5_r * (image - eye);
    MissRecord misses;
    Point3 r;
    const bool hit = ReflectRay(m, eye, face, r, misses);
    const Point3 mirrorPoint = eye + (de / (de - Dot(image - onMirror, n))) * (image - eye);
    if (mirrorPoint.z <= 0) {
      EXPECT_FALSE(hit);
      continue;
    }
    ASSERT_TRUE(hit) << i;
    ExpectNear(r, sheet.x, sheet.y, 0, 1e-9_r);
  }
}

}  // namespace

}  // namespace anamorfosi
