#include "pipeline/auto_face.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "mirrors/plane_mirror.h"
#include "core/window.h"
#include "testing/mesh_shapes.h"

namespace anamorfosi {

namespace {

// A mirror whose landing points are measured: the farthest, in plan from (x, y).
template <class Mirror>
struct Recording {
  const Mirror* mirror;
  Real x, y;
  Real* farthest;
};

template <class Mirror>
bool ReflectRay(const Recording<Mirror>& r, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses) {
  if (!ReflectRay(*r.mirror, centre, facePoint, result, misses)) return false;
  const Real d = Distance2(r.x, r.y, result.x, result.y);
  // A landing point that is not a number makes the farthest one too.
  if (!(d <= *r.farthest)) *r.farthest = d;
  return true;
}

// Whether a ray of the 51 x 51 scan of face misses the sheet or lands farther
// than reach from (from.x, from.y).
template <class Mirror>
bool Fails(const Mirror& mirror, const Face& face, Point3 eye, Point3 from, Real reach) {
  Real farthest = 0;
  MissRecord misses;
  ScanFace(Recording<Mirror>{&mirror, from.x, from.y, &farthest}, face, eye, misses);
  return misses.MissCount > 0 || !(farthest <= reach);
}

Point3 Centre(const Face& f) { return 0.25_r * (f.C1 + f.C2 + f.C3 + f.C4); }
Face Grown(const Face& f, Real factor, Point3 shift = {}) {
  const Point3 c = Centre(f);
  const auto move = [&](Point3 p) { return c + shift + factor * (p - c); };
  return {move(f.C1), move(f.C2), move(f.C3), move(f.C4)};
}
Real Length(Point3 v) { return std::sqrt(Dot(v, v)); }
Point3 Unit(Point3 v) { return (1 / Length(v)) * v; }
Point3 Flat(Point3 v) { return {v.x, v.y, 0}; }

// Rounding of a few operations on coordinates of order 1e3 stays far below
// 1e-9 of a face's size; the searches settle sizes to 2.3e-10 of their bracket.
constexpr Real kShape = 1e-9_r;

// A rectangle of the aspect asked for, its side C4 -> C1 along up, seen from
// the eye from its front (C1 -> C2 crossed with C4 -> C1 points to a viewer who
// sees it upright and not mirrored); it works, and so does it 2% short of the
// size Fill left out, but not 2% past it.
void ExpectLargestUprightFace(const Face& f, Point3 eye, const FaceRequest& request, Point3 up,
                              const std::function<bool(const Face&)>& fails) {
  const Point3 top = f.C2 - f.C1, side = f.C1 - f.C4;
  const Real width = Length(top), height = Length(side);
  ASSERT_GT(height, 0);
  EXPECT_LT(std::fabs(width / height - request.Aspect), kShape * request.Aspect);
  EXPECT_LT(std::fabs(Dot(top, side) / (width * height)), kShape);
  EXPECT_LT(Length(f.C3 - (f.C2 - side)), kShape * width);
  EXPECT_LT(1 - Dot(Unit(side), Unit(up)), kShape) << "not upright";
  EXPECT_GT(Dot(Cross(top, side), eye - Centre(f)), 0) << "seen from behind: mirrored";
  EXPECT_FALSE(fails(f));
  EXPECT_FALSE(fails(Grown(f, 0.98_r / request.Fill)));
  EXPECT_TRUE(fails(Grown(f, 1.02_r / request.Fill)));
}

void ExpectCylinderFace(const Cylinder& cyl, Point3 eye, const FaceRequest& request, const Face& f) {
  const Real R = std::fabs(cyl.Radius);
  const auto fails = [&](const Face& g) { return Fails(cyl, g, eye, cyl.AxisPoint, R * kAutoFaceReach); };
  ExpectLargestUprightFace(f, eye, request, {0, 0, 1}, fails);
  // Through the axis, centred on it, across the plan direction to the eye.
  EXPECT_LT(Length(Flat(Centre(f) - cyl.AxisPoint)), kShape * R);
  EXPECT_LT(std::fabs(Dot(Unit(f.C2 - f.C1), Unit(Flat(eye - cyl.AxisPoint)))), kShape);
  // Past the largest it fails at other heights too: the height was chosen.
  for (const Real shift : {-0.2_r, -0.05_r, 0.05_r, 0.2_r})
    EXPECT_TRUE(fails(Grown(f, 1.02_r / request.Fill, {0, 0, shift * Length(f.C1 - f.C4) / request.Fill})));
}

void ExpectConeFace(const ConeMirror& cone, Point3 eye, const FaceRequest& request, const Face& f) {
  const Real R = std::fabs(cone.BaseRadius);
  // The cone as the cone program sets it up for each face.
  const auto fails = [&](const Face& g) {
    ConeMirror set = cone;
    set.AxisTolerance = Distance3(g.C1, g.C2) / 1000;
    return Fails(set, g, eye, cone.AxisPoint, R * kAutoFaceReach);
  };
  // Up is away from the eye in plan, +Y for an eye on the axis.
  const Point3 toAxis = Flat(cone.AxisPoint - eye);
  ExpectLargestUprightFace(f, eye, request, Length(toAxis) > 0 ? toAxis : Point3{0, 1, 0}, fails);
  const Real level = (cone.ConeHeight + eye.z) / 2;
  for (const Point3 p : {f.C1, f.C2, f.C3, f.C4}) EXPECT_LT(std::fabs(p.z - level), kShape * level);
  EXPECT_LT(Length(Flat(Centre(f) - cone.AxisPoint)), kShape * R);
}

// A mirror whose landing points are measured: the nearest and the farthest, in
// plan from (x, y).
template <class Mirror>
struct Ringed {
  const Mirror* mirror;
  Real x, y;
  Real *nearest, *farthest;
};

template <class Mirror>
bool ReflectRay(const Ringed<Mirror>& r, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses) {
  if (!ReflectRay(*r.mirror, centre, facePoint, result, misses)) return false;
  const Real d = Distance2(r.x, r.y, result.x, result.y);
  if (!(d <= *r.farthest)) *r.farthest = d;
  if (!(d >= *r.nearest)) *r.nearest = d;
  return true;
}

// Whether a ray of the scan misses the sheet, lands under the ball's outline
// or farther than the reach from the foot of its centre.
bool SphereFails(const SphereMirror& ball, const Face& face, Point3 eye) {
  const Real R = std::fabs(ball.Radius);
  Real nearest = 1e30_r, farthest = 0;
  MissRecord misses;
  ScanFace(Ringed<SphereMirror>{&ball, ball.Centre.x, ball.Centre.y, &nearest, &farthest}, face, eye, misses);
  return misses.MissCount > 0 || !(farthest <= R * kAutoFaceReach) || !(nearest >= R);
}

void ExpectSphereFace(const SphereMirror& ball, Point3 eye, const FaceRequest& request, const Face& f) {
  const Real R = std::fabs(ball.Radius);
  const auto fails = [&](const Face& g) { return SphereFails(ball, g, eye); };
  // Up is +Z square to the sight line through the centre, +Y from plumb above.
  const Point3 forward = Unit(ball.Centre - eye);
  const Point3 level = Point3{0, 0, 1} - forward.z * forward;
  const Point3 up = Length(level) > 1e-6_r ? Unit(level) : Point3{0, 1, 0};
  ExpectLargestUprightFace(f, eye, request, up, fails);
  // In the plane through the centre square to that line, on the vertical
  // line of the plane through the centre.
  for (const Point3 p : {f.C1, f.C2, f.C3, f.C4}) EXPECT_LT(std::fabs(Dot(p - ball.Centre, forward)), kShape * R);
  EXPECT_LT(std::fabs(Dot(Centre(f) - ball.Centre, Cross(forward, up))), kShape * R);
  // Past the largest it fails higher and lower too: the height was chosen.
  for (const Real shift : {-0.2_r, -0.05_r, 0.05_r, 0.2_r})
    EXPECT_TRUE(fails(Grown(f, 1.02_r / request.Fill, shift * Length(f.C1 - f.C4) / request.Fill * up)));
}

// Whether p lies in the convex quadrilateral q, in its plane, to tolerance.
bool InsideQuad(const Face& q, Point3 p, Real tolerance) {
  const Point3 c[4] = {q.C1, q.C2, q.C3, q.C4}, normal = Unit(Cross(q.C2 - q.C1, q.C3 - q.C1));
  for (int i = 0; i < 4; ++i) {
    const Point3 edge = c[(i + 1) % 4] - c[i];
    if (Length(edge) > 0 && Dot(Cross(edge, p - c[i]), normal) / Length(edge) < -tolerance) return false;
  }
  return true;
}

void ExpectPlaneFace(const Face& m, Point3 eye, const FaceRequest& request, const Face& f) {
  PlaneMirror mirror;
  mirror.MirrorPlane = PlaneFromPoints(m.C1, m.C2, m.C3);
  mirror.HasFace = true;
  const Real size = std::max(Distance3(m.C1, m.C3), Distance3(m.C2, m.C4)) / 2;
  // A face that leaves the mirror fails as well.
  const auto fails = [&](const Face& g) {
    for (const Point3 p : {g.C1, g.C2, g.C3, g.C4})
      if (!InsideQuad(m, p, kShape * size)) return true;
    return Fails(mirror, g, eye, Centre(m), size * kAutoFaceReach);
  };
  // Up is +Z in the mirror's plane, +Y on a horizontal mirror.
  const Point3 n = Normal(mirror.MirrorPlane), up = Point3{0, 0, 1} - n.z * n;
  ExpectLargestUprightFace(f, eye, request, Length(up) > 1e-6_r ? up : Point3{0, 1, 0}, fails);
  for (const Point3 p : {f.C1, f.C2, f.C3, f.C4})
    EXPECT_LT(std::fabs(SignedDistance(mirror.MirrorPlane, p)), kShape * size);
  EXPECT_LT(Distance3(Centre(f), Centre(m)), kShape * size);
}

// Uniform in [lo, hi), from a generator with a fixed seed.
struct Draw {
  std::mt19937 random;
  Real operator()(Real lo, Real hi) { return lo + (hi - lo) * std::uniform_real_distribution<double>(0, 1)(random); }
};

// The default scene, then random ones: radius, axis, eye distance, height and
// direction around the axis, aspect and fill.
TEST(AutoFace, CylinderScenesGiveTheLargestUprightFaceThroughTheAxis) {
  Draw draw{std::mt19937(20240611)};
  for (int n = 0; n < 7; ++n) {
    Cylinder cyl;
    cyl.Radius = 25;
    Point3 eye{0, -300, 250};
    FaceRequest request;
    if (n > 0) {
      const Real R = draw(5, 100), distance = R * draw(1.5_r, 30), angle = draw(0, 2 * std::numbers::pi);
      cyl.Radius = n == 3 ? -R : R;  // a negative radius reflects like its size
      cyl.AxisPoint = {draw(-200, 200), draw(-200, 200), 0};
      eye = {cyl.AxisPoint.x + distance * std::cos(angle), cyl.AxisPoint.y + distance * std::sin(angle),
             R * draw(0.5_r, 20)};
      request = {draw(0.5_r, 2), n == 2 ? 1 : draw(0.5_r, 1)};
    }
    SCOPED_TRACE("scene " + std::to_string(n));
    Face f;
    std::string why = "kept";
    ASSERT_TRUE(AutomaticCylinderFace(cyl, eye, request, f, why)) << why;
    EXPECT_EQ(why, "kept");
    ExpectCylinderFace(cyl, eye, request, f);
  }
}

TEST(AutoFace, ConeScenesGiveTheLargestLevelFaceOnTheAxis) {
  Draw draw{std::mt19937(977)};
  for (int n = 0; n < 10; ++n) {
    ConeMirror cone;
    cone.BaseRadius = 30;
    cone.ConeHeight = 60;
    Point3 eye{0, 0, 180};
    FaceRequest request;
    if (n > 0) {
      // Steeper than 56 degrees: a flatter cone sends rays from above upward.
      const Real R = draw(5, 100), H = R * draw(1.5_r, 4), e = H * draw(1.3_r, 8);
      cone.BaseRadius = R;
      cone.ConeHeight = H;
      cone.AxisPoint = {draw(-200, 200), draw(-200, 200), 0};
      // Within R (e - H) / (e + H) of the axis, the sight line through the axis
      // halfway up meets the far side of the cone above its base; every third
      // eye is on the axis.
      const Real d = n % 3 == 0 ? 0 : draw(0, 0.8_r) * R * (e - H) / (e + H), angle = draw(0, 2 * std::numbers::pi);
      eye = {cone.AxisPoint.x + d * std::cos(angle), cone.AxisPoint.y + d * std::sin(angle), e};
      request = {draw(0.5_r, 2), n == 2 ? 1 : draw(0.5_r, 1)};
    }
    SCOPED_TRACE("scene " + std::to_string(n));
    Face f;
    std::string why;
    ASSERT_TRUE(AutomaticConeFace(cone, eye, request, f, why)) << why;
    ExpectConeFace(cone, eye, request, f);
    // On the axis, as the cone's example face: C1 at -X, +Y.
    if (n % 3 == 0) {
      EXPECT_TRUE(f.C1.x < cone.AxisPoint.x && f.C1.y > cone.AxisPoint.y);
    }
  }
}

TEST(AutoFace, PlaneScenesGiveTheLargestUprightFaceOnTheMirror) {
  const Face wall{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};
  struct Scene {
    Face mirror;
    Point3 eye;
    FaceRequest request;
  };
  std::vector<Scene> scenes = {
      {wall, {0, -150, 120}, {}},  // the example scene; its reach, not the mirror, bounds the face
      {wall, {20, 150, 130}, {}},  // behind the wall the eye's left is +X
      {{{-50, -50, 100}, {50, -50, 100}, {50, 50, 100}, {-50, 50, 100}}, {10, -150, 40}, {}},   // a ceiling
      {{{-20, 10, 90}, {20, 10, 90}, {70, 0, 0}, {-70, 0, 0}}, {30, -200, 160}, {1.5_r, 0.8_r}},  // clockwise trapezoid
  };
  // Random walls leaning toward the eye by up to 20 degrees, the eye above their
  // top: the reflected rays come down more steeply than the sight lines.
  Draw draw{std::mt19937(31337)};
  for (int n = 0; n < 8; ++n) {
    const Real w = draw(20, 200), h = draw(20, 200), turn = draw(0, 2 * std::numbers::pi), lean = draw(0, 0.35_r);
    const Point3 across{std::cos(turn), std::sin(turn), 0}, front = Cross(across, {0, 0, 1});
    const Point3 base{draw(-100, 100), draw(-100, 100), draw(0, 50)};
    const Point3 rise = h * (std::cos(lean) * Point3{0, 0, 1} + std::sin(lean) * front);
    const Point3 a = base - (w / 2) * across, b = base + (w / 2) * across;
    const Real distance = std::max(w, h) * draw(1, 5), aside = w * draw(-0.3_r, 0.3_r), up = h * draw(1, 2);
    const Point3 eye = base + distance * front + aside * across + Point3{0, 0, up};
    scenes.push_back({{a, b, b + rise, a + rise}, eye, {draw(0.5_r, 2), draw(0.5_r, 1)}});
  }
  for (std::size_t n = 0; n < scenes.size(); ++n) {
    SCOPED_TRACE("scene " + std::to_string(n));
    Face f;
    std::string why;
    ASSERT_TRUE(AutomaticPlaneFace(scenes[n].mirror, scenes[n].eye, scenes[n].request, f, why)) << why;
    ExpectPlaneFace(scenes[n].mirror, scenes[n].eye, scenes[n].request, f);
    if (n == 0) {
      EXPECT_LT(Distance3(f.C1, f.C4) / 0.9_r, 89);  // 120 x 90 fits in the wall
    }
  }
}

// The example scene, an eye plumb above the ball, then random ones: radius,
// centre (standing on the sheet or raised), eye distance, height and direction,
// aspect and fill.
TEST(AutoFace, SphereScenesGiveTheLargestUprightFaceSquareToTheSightLine) {
  Draw draw{std::mt19937(4107)};
  for (int n = 0; n < 9; ++n) {
    SphereMirror ball{{0, 0, 40}, 40};
    Point3 eye{0, -300, 200};
    FaceRequest request;
    if (n == 1) eye = {0, 0, 400};
    if (n > 1) {
      const Real R = draw(5, 100), distance = R * draw(3, 20), angle = draw(0, 2 * std::numbers::pi);
      const Real elevation = draw(0.1_r, 1.2_r);  // radians above the level of the centre
      ball = {{draw(-200, 200), draw(-200, 200), n % 3 == 0 ? R * draw(1, 4) : R}, n == 4 ? -R : R};
      eye = ball.Centre + distance * Point3{std::cos(elevation) * std::cos(angle),
                                            std::cos(elevation) * std::sin(angle), std::sin(elevation)};
      request = {draw(0.5_r, 2), n == 2 ? 1 : draw(0.5_r, 1)};
    }
    SCOPED_TRACE("scene " + std::to_string(n));
    Face f;
    std::string why = "kept";
    ASSERT_TRUE(AutomaticSphereFace(ball, eye, request, f, why)) << why;
    EXPECT_EQ(why, "kept");
    ExpectSphereFace(ball, eye, request, f);
  }
}

// Where the largest face works over a range of heights, it sits in the middle
// of that range: the ends of the range, measured by bisection on a shift of
// the face just below the largest size, are as far above it as below.
TEST(AutoFace, CylinderFaceHasAsMuchRoomAboveAsBelow) {
  Cylinder cyl;
  cyl.Radius = 25;
  // The example eye, one low and near, one high and far.
  for (const Point3 eye : {Point3{0, -300, 250}, Point3{0, -120, 40}, Point3{-500, 0, 600}}) {
    Face f;
    std::string why;
    ASSERT_TRUE(AutomaticCylinderFace(cyl, eye, {}, f, why)) << why;
    const Face largest = Grown(f, (1 - 1e-6_r) / 0.9_r);
    // How far the face shifts up (sign 1) or down and still works, by
    // bisection; shifted by the eye's height it is above the eye or far below
    // the sheet.
    const auto room = [&](Real sign) {
      Real holds = 0, fails = sign * eye.z;
      for (int i = 0; i < 40; ++i) {
        const Real mid = (holds + fails) / 2;
        const bool fits = !Fails(cyl, Grown(largest, 1, {0, 0, mid}), eye, cyl.AxisPoint, cyl.Radius * kAutoFaceReach);
        (fits ? holds : fails) = mid;
      }
      return std::fabs(holds);
    };
    // 2% of the height: when the silhouette bounds the width, the rays there
    // graze and the ends of the range move fast with the size, yet 1e-6 below
    // the largest they lie within 0.1% of the height of those at the largest.
    EXPECT_NEAR(room(1), room(-1), 0.02_r * Distance3(f.C1, f.C4) / 0.9_r) << static_cast<double>(eye.z);
  }
}

TEST(AutoFace, ImpossibleScenesAndRequestsAreRefusedWithAReason) {
  Cylinder cyl, thin;
  cyl.AxisPoint = thin.AxisPoint = {10, 20, 0};
  cyl.Radius = 25;
  ConeMirror cone, flat;
  cone.AxisPoint = flat.AxisPoint = {5, 5, 0};
  cone.BaseRadius = flat.BaseRadius = 30;
  cone.ConeHeight = 60;
  const Face wall{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};
  const Face ceiling{{-50, -50, 100}, {50, -50, 100}, {50, 50, 100}, {-50, 50, 100}};
  const Face before{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  Face f = before;
  std::string why;
  // The answer is false and the reason holds the word.
  const auto refused = [&](bool answer, const char* word) {
    EXPECT_FALSE(answer) << word;
    EXPECT_NE(why.find(word), std::string::npos) << why;
    why.clear();
  };
  const FaceRequest r;
  refused(AutomaticCylinderFace(cyl, {35, 20, 100}, r, f, why), "inside");  // on the wall
  refused(AutomaticCylinderFace(cyl, {10, -280, 0}, r, f, why), "below");
  refused(AutomaticCylinderFace(thin, {10, -280, 100}, r, f, why), "radius");
  const SphereMirror ball{{10, 20, 30}, 30}, point{{10, 20, 30}, 0};
  refused(AutomaticSphereFace(ball, {10, 20, 60}, r, f, why), "inside");  // on the top
  refused(AutomaticSphereFace(ball, {10, 10, 40}, r, f, why), "inside");
  refused(AutomaticSphereFace(ball, {10, -280, 0}, r, f, why), "below");
  refused(AutomaticSphereFace(point, {10, -280, 100}, r, f, why), "radius");
  refused(AutomaticConeFace(cone, {5, 5, 60}, r, f, why), "below");  // level with the apex
  refused(AutomaticConeFace(flat, {5, 5, 180}, r, f, why), "height");
  // A cone as tall as its base radius, seen from its axis: the rays leave it level.
  ConeMirror low = cone;
  low.ConeHeight = 30;
  refused(AutomaticConeFace(low, {5, 5, 90}, r, f, why), "too low for an eye on its axis");
  low.ConeHeight = 40;
  std::string fine;
  EXPECT_TRUE(AutomaticConeFace(low, {5, 5, 120}, r, f, fine)) << fine;
  f = before;
  // Halfway up, at 120, the sight line through the axis meets the far side
  // above the base for an eye within R (e - H) / (e + H) = 15 of the axis.
  refused(AutomaticConeFace(cone, {5, -15, 180}, r, f, why), "axis");
  refused(AutomaticPlaneFace(wall, {0, 0, 150}, r, f, why), "plane");     // in the mirror's plane
  refused(AutomaticPlaneFace(wall, {0, -150, 20}, r, f, why), "sheet");   // below its middle: the rays rise
  refused(AutomaticPlaneFace(ceiling, {10, -150, 160}, r, f, why), "sheet");
  refused(AutomaticPlaneFace({{0, 0, 0}, {10, 0, 10}, {20, 0, 20}, {0, 0, 50}}, {0, -150, 100}, r, f, why), "area");
  refused(AutomaticPlaneFace({{-60, 0, 0}, {60, 0, 120}, {60, 0, 0}, {-60, 0, 120}}, {0, -150, 150}, r, f, why),
          "convex");  // crossed
  refused(AutomaticPlaneFace({{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {10, 0, 60}}, {0, -150, 150}, r, f, why),
          "convex");  // dented
  // Requests outside their range, on scenes that work.
  const struct {
    FaceRequest request;
    const char* word;
  } requests[] = {{{0, 0.9_r}, "aspect"}, {{NAN, 0.9_r}, "aspect"}, {{INFINITY, 0.9_r}, "aspect"},
                  {{1, 0}, "fill"},      {{1, 1.01_r}, "fill"},    {{1, NAN}, "fill"}};
  for (const auto& q : requests) {
    refused(AutomaticCylinderFace(cyl, {10, -280, 100}, q.request, f, why), q.word);
    refused(AutomaticConeFace(cone, {5, 5, 180}, q.request, f, why), q.word);
    refused(AutomaticPlaneFace(wall, {0, -150, 120}, q.request, f, why), q.word);
    refused(AutomaticSphereFace(ball, {10, -280, 100}, q.request, f, why), q.word);
  }
  EXPECT_TRUE(f.C1.x == before.C1.x && f.C3.z == before.C3.z) << "a refusal wrote the face";
}


FacetedMirror MeshOf(const std::vector<Face>& faces, bool smooth) {
  FacetedMirror m;
  for (const Face& f : faces) AddFace(m.Facets, f);
  BuildFacetIndex(m.Facets, m.Index);
  if (smooth) m.CornerNormals = ComputeCornerNormals(m.Facets, 60);
  return m;
}

// A square pyramid 60 wide and 60 high standing on the sheet, its sides only.
const std::vector<Face> kPyramid = {{{-30, -30, 0}, {30, -30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{30, -30, 0}, {30, 30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{30, 30, 0}, {-30, 30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{-30, 30, 0}, {-30, -30, 0}, {0, 0, 60}, {0, 0, 60}}};

// Whether a ray of the scan misses the sheet, lands farther than reach in
// plan from (x, y), or under the mesh: a facet straight above the landing,
// found by a search of the whole table (not the index the face search uses).
bool MeshFails(const FacetedMirror& mesh, const Face& face, Point3 eye, Point3 from, Real reach) {
  for (int i = 0; i <= 50; ++i) {
    for (int j = 0; j <= 50; ++j) {
      const Point3 p = face.C1 + (i / 50.0_r) * (face.C2 - face.C1) + (j / 50.0_r) * (face.C4 - face.C1);
      Point3 landing, above;
      MissRecord misses;
      if (!ReflectRay(mesh, eye, p, landing, misses) || !(Distance2(from.x, from.y, landing.x, landing.y) <= reach) ||
          NearestFacetByTable(mesh.Facets, landing, {0, 0, 1}, above) >= 0)
        return true;
    }
  }
  return false;
}

// A faceted and a smooth ball, and a cylinder of facets closed on top, each
// from the eye the mesh kind places (from the box's larger half side in plan
// and its middle): the largest upright face whose rays all come down to the
// sheet off the mirror and within the reach, square to the sight line through
// the box's middle and centred across on it.
TEST(AutoFace, MeshScenesGiveTheLargestUprightFaceWhoseRaysComeDownOffTheMirror) {
  std::vector<Face> cylinder = FacetedCylinderFaces(0, 0, 25, 0, 100, 48, 4);
  // The top, a fan of triangles round its rim (the top ring's corners C3).
  const Point3 rim0 = cylinder[144].C4;
  for (int k = 0; k + 1 < 48; ++k)
    cylinder.push_back({rim0, cylinder[144 + k].C3, cylinder[145 + k].C3, cylinder[145 + k].C3});
  const Real ballHalf = 40 * std::sin(std::numbers::pi_v<Real> * 7.5_r / 16);  // the widest of 16 rings
  const struct {
    std::vector<Face> faces;
    bool smooth;
    Real half, middle;
  } scenes[] = {{RingSphereFaces({0, 0, 40}, 40, 32), false, ballHalf, 40},
                {RingSphereFaces({0, 0, 40}, 40, 32), true, ballHalf, 40},
                {cylinder, false, 25, 50}};
  for (const auto& scene : scenes) {
    SCOPED_TRACE(std::string(scene.smooth ? "smooth " : "") + std::to_string(scene.faces.size()) + " faces");
    FacetedMirror mesh = MeshOf(scene.faces, scene.smooth);
    Point3 lo, hi;
    ASSERT_TRUE(MeshBoundsAboveSheet(mesh.Facets, lo, hi));
    EXPECT_NEAR(static_cast<double>(std::max(hi.x - lo.x, hi.y - lo.y) / 2 - scene.half), 0, 1e-9);
    EXPECT_NEAR(static_cast<double>((lo.z + hi.z) / 2 - scene.middle), 0, 1e-9);
    const Point3 middle{0, 0, scene.middle}, eye{0, -8 * scene.half, scene.middle + 4 * scene.half};
    Face f;
    std::string why;
    ASSERT_TRUE(AutomaticMeshFace(mesh, eye, {}, f, why)) << why;
    const Point3 forward = Unit(middle - eye), up = Unit(Point3{0, 0, 1} - forward.z * forward);
    ExpectLargestUprightFace(f, eye, {}, up, [&](const Face& g) {
      return MeshFails(mesh, g, eye, middle, scene.half * kAutoFaceReach);
    });
    for (const Point3 p : {f.C1, f.C2, f.C3, f.C4}) EXPECT_LT(std::fabs(Dot(p - middle, forward)), kShape * scene.half);
    EXPECT_LT(std::fabs(Dot(Centre(f) - middle, Cross(forward, up))), 1e-6_r * scene.half);
  }
}

// The smooth mesh of a ball gets nearly the ball's own face from nearly its
// eye; the pyramid in the vertical view-axis mode a level face centred on the
// eye's vertical line. A mesh that sends no ray down is refused with why.
TEST(AutoFace, ABallsMeshGetsTheBallsFaceAPyramidOneOnItsAxisAndAPlateNone) {
  FacetedMirror mesh = MeshOf(RingSphereFaces({0, 0, 40}, 40, 64), true);
  const Real half = 40 * std::sin(std::numbers::pi_v<Real> * 15.5_r / 32);
  Face meshFace, ballFace;
  std::string why;
  ASSERT_TRUE(AutomaticMeshFace(mesh, {0, -8 * half, 40 + 4 * half}, {}, meshFace, why)) << why;
  ASSERT_TRUE(AutomaticSphereFace({{0, 0, 40}, 40}, {0, -320, 200}, {}, ballFace, why)) << why;
  // The facets lie within 40 (1 - cos(pi / 64)) = 0.05 of the ball and the
  // eye 0.4 nearer: the corners agree to a few hundredths, within 0.1.
  for (const auto& [m, b] : {std::pair{meshFace.C1, ballFace.C1}, {meshFace.C3, ballFace.C3}})
    EXPECT_LT(Distance3(m, b), 0.1_r);

  FacetedMirror pyramid = MeshOf(kPyramid, false);
  pyramid.VerticalAxisMode = true;
  Face f;
  ASSERT_TRUE(AutomaticMeshFace(pyramid, {0, 0, 180}, {}, f, why)) << why;
  EXPECT_LT(Length(Flat(Centre(f))), kShape * 30);
  for (const Point3 p : {f.C1, f.C2, f.C3, f.C4}) EXPECT_EQ(p.z, 30);
  EXPECT_GT(f.C1.y, f.C4.y);  // its top is +Y for an eye plumb above
  EXPECT_EQ(pyramid.AxisTolerance, Distance3(f.C1, f.C2) / 1000);  // as the print sets it

  const auto refused = [&](bool answer, const char* words) {
    EXPECT_FALSE(answer) << words;
    EXPECT_NE(why.find(words), std::string::npos) << why;
    why.clear();
  };
  refused(AutomaticMeshFace(pyramid, {0, -240, 20}, {}, f, why), "above the middle");
  // A level plate facing up sends every sight ray to the sky.
  FacetedMirror plate = MeshOf({{{-30, -30, 10}, {30, -30, 10}, {30, 30, 10}, {-30, 30, 10}}}, false);
  refused(AutomaticMeshFace(plate, {0, -240, 130}, {}, f, why), "reflects no sight ray down to the sheet");
  FacetedMirror buried = MeshOf({{{-30, -30, -10}, {30, -30, -10}, {0, 30, -1}, {0, 30, -1}}}, false);
  refused(AutomaticMeshFace(buried, {0, -240, 130}, {}, f, why), "no triangle above the sheet");
}

}  // namespace

}  // namespace anamorfosi
