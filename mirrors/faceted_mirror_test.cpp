#include "mirrors/faceted_mirror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "testing/mesh_shapes.h"
#include "testing/physical_ray_test.h"

namespace anamorfosi {

namespace {

FacetedMirror MirrorOf(const std::vector<Face>& faces) {
  FacetedMirror m;
  for (const Face& f : faces) AddFace(m.Facets, f);
  BuildFacetIndex(m.Facets, m.Index);
  return m;
}

void AddTriangle(FacetedMirror& m, Point3 a, Point3 b, Point3 c) { ASSERT_TRUE(AddFacet(m.Facets, a, b, c)); }

// The index and the whole table give the same facet, and the same point, for
// the ray from eye toward target; hit tells whether there was one.
::testing::AssertionResult SameAnswer(const FacetedMirror& m, Point3 eye, Point3 target, bool& hit) {
  const Point3 d = UnitDirection(eye, target);
  Point3 h1{}, h2{};
  const int f1 = NearestFacet(m, eye, d, h1);
  const int f2 = NearestFacetByTable(m.Facets, eye, d, h2);
  hit = f1 >= 0;
  if (f1 != f2) return ::testing::AssertionFailure() << "index facet " << f1 << ", table facet " << f2;
  if (hit && !(h1.x == h2.x && h1.y == h2.y && h1.z == h2.z)) return ::testing::AssertionFailure() << "other hit point";
  return ::testing::AssertionSuccess();
}

// Where the line from a through b meets Z = 0.
Point3 GroundCrossing(Point3 a, Point3 b) {
  const Real t = a.z / (a.z - b.z);
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), 0};
}

TEST(FacetContains, InteriorEdgesCornersAndBox) {
  FacetedMirror m;
  AddTriangle(m, {0, 0, 0}, {10, 0, 0}, {0, 10, 0});
  const MirrorFacet& f = m.Facets.Facets[0];
  EXPECT_TRUE(FacetContains(f, {2, 2, 0}));
  // On an edge or a corner the projections refuse the point and the edge
  // distance accepts it.
  for (const Point3 p : {Point3{5, 0, 0}, Point3{10, 0, 0}, Point3{0, 0, 0}, Point3{5, 5, 0}}) {
    EXPECT_FALSE(PointInTriangle2D(f.Corner1, f.Corner2, f.Corner3, 1, 2, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_TRUE(FacetContains(f, p)) << p.x << "," << p.y;
  }
  // Within 1e-4 of the hypotenuse but outside the triangle, and farther.
  EXPECT_TRUE(FacetContains(f, {5 + 3e-5_r, 5 + 3e-5_r, 0}));
  EXPECT_FALSE(FacetContains(f, {5 + 2e-4_r, 5 + 2e-4_r, 0}));
  EXPECT_FALSE(FacetContains(f, {6, 6, 0}));
  // Below the bottom edge: inside the box margin, then outside it.
  EXPECT_TRUE(FacetContains(f, {5, -5e-5_r, 0}));
  EXPECT_FALSE(FacetContains(f, {5, -2e-4_r, 0}));
  EXPECT_TRUE(OutsideFacetBox({5, -2e-4_r, 0}, f));
  EXPECT_TRUE(OutsideFacetBox({NAN, 1, 0}, f));
  EXPECT_FALSE(OutsideFacetBox({1, 1, 1e-5_r}, f));
}

TEST(FacetContains, VerticalFacetIsDecidedByTheOtherProjections) {
  FacetedMirror m;
  AddTriangle(m, {3, 0, 0}, {3, 10, 0}, {3, 0, 10});  // in the plane x = 3
  AddTriangle(m, {0, 4, 0}, {10, 4, 0}, {0, 4, 10});  // in the plane y = 4
  const MirrorFacet& fx = m.Facets.Facets[0];
  const MirrorFacet& fy = m.Facets.Facets[1];
  EXPECT_FALSE(PointInTriangle2D(fx.Corner1, fx.Corner2, fx.Corner3, 1, 2, 3, 2));
  EXPECT_TRUE(PointInTriangle2D(fx.Corner1, fx.Corner2, fx.Corner3, 2, 3, 2, 2));
  EXPECT_TRUE(FacetContains(fx, {3, 2, 2}));
  EXPECT_FALSE(FacetContains(fx, {3, 8, 8}));
  EXPECT_TRUE(FacetContains(fy, {2, 4, 2}));  // only (x, z) sees this one
  EXPECT_FALSE(FacetContains(fy, {8, 4, 8}));
}

TEST(DistanceToSegment, EndsFootAndPoint) {
  const Point3 a{0, 0, 0}, b{10, 0, 0};
  EXPECT_NEAR(static_cast<double>(DistanceToSegment(a, b, {-3, 4, 0})), 5, 1e-15);
  EXPECT_NEAR(static_cast<double>(DistanceToSegment(a, b, {13, 0, 4})), 5, 1e-15);
  EXPECT_NEAR(static_cast<double>(DistanceToSegment(a, b, {4, 3, 4})), 5, 1e-15);
  EXPECT_NEAR(static_cast<double>(DistanceToSegment(a, a, {0, 3, 4})), 5, 1e-15);
}

TEST(ReflectRay, AgreesWithTheMirrorImageOnTiltedFacets) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> tilt(-0.6, 0.6);
  for (int k = 0; k < 50; ++k) {
    // A large facet through (0, 0, 40) facing the eye, tilted at random.
    Point3 n = {tilt(rng), -1, tilt(rng)};
    n = (1 / std::sqrt(Dot(n, n))) * n;
    const Point3 centre{0, 0, 40};
    Point3 u = Cross(n, {0, 0, 1});
    u = (1 / std::sqrt(Dot(u, u))) * u;
    const Point3 v = Cross(n, u);
    FacetedMirror m;
    AddTriangle(m, centre + (-200 * u - 200 * v), centre + (200 * u - 200 * v), centre + 300 * v);
    BuildFacetIndex(m.Facets, m.Index);
    const Point3 eye{tilt(rng) * 20, -150, 60 + tilt(rng) * 20};
    const Point3 q{tilt(rng) * 30, 80, 20 + tilt(rng) * 20};
    // The reflected ray runs from the hit toward the mirror image of q.
    const Real t = Dot(n, centre - eye) / Dot(n, q - eye);
    const Point3 hit = eye + t * (q - eye);
    const Point3 image = q - (2 * Dot(n, q - centre)) * n;
    MissRecord misses;
    Point3 r;
    const bool ok = ReflectRay(m, eye, q, r, misses);
    if (!(hit.z > image.z)) {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok) << k;
    const Point3 expected = GroundCrossing(hit, image);
    EXPECT_NEAR(static_cast<double>(r.x), static_cast<double>(expected.x), 1e-9) << k;
    EXPECT_NEAR(static_cast<double>(r.y), static_cast<double>(expected.y), 1e-9) << k;
    EXPECT_NEAR(static_cast<double>(r.z), 0, 1e-12);
    // The result may be the face point itself.
    Point3 p = q;
    ReflectRay(m, eye, p, p, misses);
    EXPECT_EQ(p.x, r.x);
    EXPECT_EQ(p.y, r.y);
    EXPECT_FALSE(misses.RayError);
  }
}

TEST(ReflectRay, MissesAreFullAndCounted) {
  FacetedMirror m;
  // A floor facet at z = 10 below the eye, seen at right angles: the ray goes
  // back up to the eye.
  AddTriangle(m, {-50, -50, 10}, {50, -50, 10}, {0, 50, 10});
  BuildFacetIndex(m.Facets, m.Index);
  MissRecord misses;
  Point3 r{1, 2, 3};
  EXPECT_FALSE(ReflectRay(m, {0, 0, 100}, {0, 0, 50}, r, misses));
  EXPECT_TRUE(IsMiss(r));
  EXPECT_TRUE(misses.RayError);
  EXPECT_EQ(misses.MissCount, 1);
  // A slanted view of the floor also rises after the reflection.
  EXPECT_FALSE(ReflectRay(m, {0, -40, 100}, {0, 0, 50}, r, misses));
  // Looking away from every facet.
  EXPECT_FALSE(ReflectRay(m, {0, 0, 100}, {0, 0, 150}, r, misses));
  EXPECT_EQ(misses.MissCount, 3);
  EXPECT_TRUE(IsMiss(r));
}

TEST(ReflectRay, VerticalAxisShortcut) {
  FacetedMirror m;  // no facets at all
  m.AxisTolerance = 0.5_r;
  const Point3 eye{10, 20, 300};
  MissRecord misses;
  Point3 r;
  m.VerticalAxisMode = true;
  ASSERT_TRUE(ReflectRay(m, eye, {10.3_r, 19.6_r, 50}, r, misses));
  EXPECT_EQ(r.x, 10.3_r);
  EXPECT_EQ(r.y, 19.6_r);
  EXPECT_EQ(r.z, 0);
  EXPECT_FALSE(misses.RayError);
  // The tolerance is strict, and the other mode has no shortcut.
  EXPECT_FALSE(ReflectRay(m, eye, {10.5_r, 20, 50}, r, misses));
  m.VerticalAxisMode = false;
  EXPECT_FALSE(ReflectRay(m, eye, {10.3_r, 19.6_r, 50}, r, misses));
  EXPECT_EQ(misses.MissCount, 2);
}

TEST(NearestFacet, ClosedMeshSeenFromOutsideAndInside) {
  std::vector<Face> faces = FacetedCylinderFaces(0, 0, 25, 0, 60, 64, 4);
  for (int reversed = 0; reversed < 2; ++reversed) {
    if (reversed) std::reverse(faces.begin(), faces.end());
    FacetedMirror m = MirrorOf(faces);
    // A facet behind the eye, stored first, must not catch the ray.
    FacetedMirror withBehind;
    AddFace(withBehind.Facets, {{-100, -400, 0}, {100, -400, 0}, {100, -400, 200}, {-100, -400, 200}});
    for (const Face& f : faces) AddFace(withBehind.Facets, f);
    BuildFacetIndex(withBehind.Facets, withBehind.Index);
    for (const FacetedMirror* mirror : {&m, &withBehind}) {
      // The sight line meets the front wall on the vertical edge at (0, -25).
      Point3 hit;
      const Point3 eye{0, -300, 80}, q{0, 0, 37};
      const int f = NearestFacet(*mirror, eye, UnitDirection(eye, q), hit);
      ASSERT_GE(f, 0);
      EXPECT_NEAR(static_cast<double>(hit.y), -25, 1e-9) << reversed;
      EXPECT_EQ(f, NearestFacetByTable(mirror->Facets, eye, UnitDirection(eye, q), hit));
      // The front wall sends the ray back down in front of the mirror.
      MissRecord misses;
      Point3 r;
      ASSERT_TRUE(ReflectRay(*mirror, eye, q, r, misses));
      EXPECT_LT(r.y, -25);
      // From inside, the wall ahead is hit, not the one behind the eye.
      const Point3 inside{0, 5, 30};
      ASSERT_GE(NearestFacet(*mirror, inside, UnitDirection(inside, {0, 20, 30}), hit), 0);
      EXPECT_GT(hit.y, 24);
    }
  }
}

TEST(NearestFacet, TiesGoToTheLowerNumber) {
  // Two triangles of one square share the diagonal (0,0)-(10,10); a line
  // through a point of it meets both at the same point.
  const Point3 a{0, 0, 0}, b{10, 0, 0}, c{10, 10, 0}, d{0, 10, 0};
  const Point3 eye{2, 7, 50};
  for (int order = 0; order < 2; ++order) {
    FacetedMirror m;
    if (order == 0) {
      AddTriangle(m, a, b, c);
      AddTriangle(m, c, d, a);
    } else {
      AddTriangle(m, c, d, a);
      AddTriangle(m, a, b, c);
    }
    BuildFacetIndex(m.Facets, m.Index);
    Point3 hit, hit2;
    const Point3 dir = UnitDirection(eye, {4, 4, 0});
    EXPECT_EQ(NearestFacet(m, eye, dir, hit), 0) << order;
    EXPECT_EQ(NearestFacetByTable(m.Facets, eye, dir, hit2), 0) << order;
  }
  // A ridge: two slopes meeting at x = 0, z = 10, seen along the ridge line.
  FacetedMirror ridge;
  AddTriangle(ridge, {0, -50, 10}, {0, 50, 10}, {-20, 0, 0});
  AddTriangle(ridge, {0, 50, 10}, {0, -50, 10}, {20, 0, 0});
  BuildFacetIndex(ridge.Facets, ridge.Index);
  Point3 hit;
  const Point3 eye2{0, -3, 60};
  EXPECT_EQ(NearestFacet(ridge, eye2, UnitDirection(eye2, {0, 1, 10}), hit), 0);
  // Many coincident facets (more than the index keeps at once) and one farther.
  FacetedMirror stack;
  for (int i = 0; i < 3; ++i) AddTriangle(stack, {-5, -5, -1}, {5, -5, -1}, {0, 5, -1});
  for (int i = 0; i < 12; ++i) AddTriangle(stack, {-5, -5, 2}, {5, -5, 2}, {0, 5, 2});
  BuildFacetIndex(stack.Facets, stack.Index);
  EXPECT_EQ(NearestFacet(stack, {0, 0, 20}, {0, 0, -1}, hit), 3);
  EXPECT_EQ(NearestFacetByTable(stack.Facets, {0, 0, 20}, {0, 0, -1}, hit), 3);
}

// The index must give the very facet (and hit point) that a search of the
// whole table gives, on closed meshes, soups of crossing triangles and
// coincident copies, from outside and from inside, along axes too.
TEST(NearestFacet, IndexAgreesWithTableSearchOnRandomRays) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::vector<FacetedMirror> mirrors;
  {
    std::vector<Face> faces = FacetedCylinderFaces(0, 0, 25, 0, 60, 200, 6);
    const std::vector<Face> cone = FacetedConeFaces(60, 10, 20, 40, 90, 5);
    faces.insert(faces.end(), cone.begin(), cone.end());
    mirrors.push_back(MirrorOf(faces));
  }
  {
    FacetedMirror soup;
    for (int i = 0; i < 1500; ++i) {
      const Point3 c{50 * unit(rng), 50 * unit(rng), 50 + 50 * unit(rng)};
      const Real s = 1 + 15 * (unit(rng) + 1);
      Point3 p[3];
      for (Point3& q : p) q = c + s * Point3{unit(rng), unit(rng), unit(rng)};
      // Some facets lie in axis planes, some are repeated.
      if (i % 7 == 0) p[0].z = p[1].z = p[2].z = c.z;
      if (i % 11 == 0) p[0].x = p[1].x = p[2].x = c.x;
      if (IsDegenerateTriangle(p[0], p[1], p[2])) continue;
      AddFacet(soup.Facets, p[0], p[1], p[2]);
      if (i % 13 == 0) AddFacet(soup.Facets, p[0], p[1], p[2]);
    }
    BuildFacetIndex(soup.Facets, soup.Index);
    mirrors.push_back(std::move(soup));
  }
  for (const FacetedMirror& m : mirrors) {
    int hits = 0;
    const int rays = 4000;
    for (int k = 0; k < rays; ++k) {
      const Real reach = k % 2 ? 400 : 60;  // eyes far away, and among the facets
      const Point3 eye{reach * unit(rng), reach * unit(rng), 50 + reach * unit(rng)};
      Point3 target{40 * unit(rng), 40 * unit(rng), 40 + 40 * unit(rng)};
      if (k % 10 == 0) target.x = eye.x;
      if (k % 20 == 0) target.y = eye.y;
      bool hit = false;
      ASSERT_TRUE(SameAnswer(m, eye, target, hit)) << "ray " << k;
      hits += hit;
    }
    EXPECT_GT(hits, rays / 4);
    EXPECT_LT(hits, rays);
  }
}

// The sizes of scanned meshes: a million triangles of a cylinder and a cone
// side by side, and a mesh whose facets crowd into a few tiny clusters among
// large ones; the index answers as the whole table does, and stays within the
// depth its walk has room for.
TEST(NearestFacet, IndexAgreesWithTableSearchOnAMillionFacets) {
  FacetedMirror m;
  m.Facets.Limit = 2000000;
  std::vector<Face> faces = FacetedCylinderFaces(0, 0, 25, 0, 60, 1000, 401);
  const std::vector<Face> cone = FacetedConeFaces(60, 10, 20, 40, 500, 200);
  faces.insert(faces.end(), cone.begin(), cone.end());
  for (const Face& f : faces) AddFace(m.Facets, f);
  std::vector<Face>().swap(faces);
  ASSERT_GT(m.Facets.FacetCount, 1000000);
  ASSERT_FALSE(m.Facets.FacetOverflow);
  BuildFacetIndex(m.Facets, m.Index);
  EXPECT_LE(m.Index.Depth, FacetIndexMaxDepth);

  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> unit(-1, 1);
  int hits = 0;
  const int rays = 60;
  for (int k = 0; k < rays; ++k) {
    // Eyes far away, and inside the cylinder looking at its wall.
    const Point3 eye = k % 3 ? Point3{300 * unit(rng), 300 * unit(rng), 150 + 100 * unit(rng)}
                             : Point3{10 * unit(rng), 10 * unit(rng), 30 + 20 * unit(rng)};
    const Point3 target{30 + 50 * unit(rng), 10 + 30 * unit(rng), 30 + 30 * unit(rng)};
    bool hit = false;
    ASSERT_TRUE(SameAnswer(m, eye, target, hit)) << "ray " << k;
    hits += hit;
  }
  EXPECT_GT(hits, rays / 3);
  EXPECT_LT(hits, rays);
}

TEST(BuildFacetIndex, StaysWithinItsDepthOnClusteredMillions) {
  // 1.2 million facets: 40 clusters of 30000 coincident tiny triangles, each
  // cluster twice as far out as the one before.
  FacetedMirror m;
  m.Facets.Limit = 2000000;
  for (int g = 0; g < 40; ++g) {
    const Real x = std::ldexp(1.0_r, g % 20) * (g < 20 ? 1 : -1);
    for (int i = 0; i < 30000; ++i) AddFacet(m.Facets, {x, 0, 1}, {x + 0.01_r, 0, 1}, {x, 0.01_r, 1});
  }
  BuildFacetIndex(m.Facets, m.Index);
  EXPECT_LE(m.Index.Depth, FacetIndexMaxDepth);
  Point3 hit;
  // The first facet of the cluster at x = 8 (g = 3) is the lowest number there.
  EXPECT_EQ(NearestFacet(m, {8.002_r, 0.002_r, 5}, {0, 0, -1}, hit), 3 * 30000);
  EXPECT_EQ(NearestFacet(m, {-8.002_r, 0.002_r, 5}, {0, 0, -1}, hit), -1);
  EXPECT_EQ(NearestFacet(m, {-7.998_r, 0.002_r, 5}, {0, 0, -1}, hit), 23 * 30000);
}

TEST(BuildFacetIndex, StaysShallowOnCoincidentFacetsAndEmptySets) {
  FacetedMirror same;
  for (int i = 0; i < 5000; ++i) AddFacet(same.Facets, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  BuildFacetIndex(same.Facets, same.Index);
  EXPECT_LT(same.Index.Depth, FacetIndexStackSize);
  EXPECT_EQ(same.Index.Items.size(), 5000u);
  Point3 hit;
  EXPECT_EQ(NearestFacet(same, {0.2_r, 0.2_r, 5}, {0, 0, -1}, hit), 0);

  FacetedMirror none;
  BuildFacetIndex(none.Facets, none.Index);
  EXPECT_TRUE(none.Index.Nodes.empty());
  EXPECT_EQ(NearestFacet(none, {0, 0, 5}, {0, 0, -1}, hit), -1);
}

}  // namespace

}  // namespace anamorfosi

namespace anamorfosi {

// A sphere mesh reflecting about its interpolated normals lands sight rays
// where the round sphere does, far nearer than its flat facets do; the flat
// default is untouched by the normals' absence.
TEST(ReflectRay, SmoothSphereMeshAgreesWithTheRoundSphere) {
  const Point3 centre{0, 0, 40}, eye{0, -300, 200};
  for (const int segments : {64, 256}) {
    FacetedMirror flat;
    for (const Face& f : RingSphereFaces(centre, 40, segments)) AddFace(flat.Facets, f);
    BuildFacetIndex(flat.Facets, flat.Index);
    FacetedMirror smooth = flat;
    smooth.CornerNormals = ComputeCornerNormals(smooth.Facets, DefaultCreaseDegrees);
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1, 1);
    Real worstFlat = 0, worstSmooth = 0;
    int traced = 0;
    for (int i = 0; i < 3000; ++i) {
      // Points of a face below the centre, whose rays land within 200 of the
      // sphere (higher ones go on to the horizon).
      const Point3 face{20 * u(gen), 0, 8 + 8 * u(gen)};
      const auto round = TracePhysicalSphereRay(centre, 40, eye, face);
      ASSERT_TRUE(round);
      MissRecord misses;
      Point3 a, b;
      ASSERT_TRUE(ReflectRay(flat, eye, face, a, misses));
      ASSERT_TRUE(ReflectRay(smooth, eye, face, b, misses));
      worstFlat = std::max(worstFlat, Distance3(a, round->Ground));
      worstSmooth = std::max(worstSmooth, Distance3(b, round->Ground));
      ++traced;
    }
    EXPECT_GT(traced, 2000);
    // Drawing units on the sheet. The flat facets tilt the normal by up to
    // half the angle between neighbours; the smooth mesh errs by what its
    // surface over the facet misses of the sphere, a small part of the facets'
    // depth below it (0.048 at 64 segments, 16 times less at 256), which the
    // farthest landings stretch about 13 times. Measured: 11.7 flat against
    // 0.34 smooth at 64 (0.64 reflecting at the flat hit), 4.3 against 0.023
    // at 256.
    EXPECT_GT(static_cast<double>(worstFlat), 10 * static_cast<double>(worstSmooth)) << segments;
    EXPECT_LT(static_cast<double>(worstSmooth), segments == 64 ? 0.5 : 0.04) << segments;
  }
}

// The smooth reflection, which finds a facet's frame once and each point's
// barycentric coordinates once, lands where the steps written with the
// surface point and the normal found apart land, to the last bit.
TEST(ReflectRay, SmoothStepsLandWhereTheSurfacePointAndNormalApartSendThem) {
  const Point3 centre{0, 0, 40}, eye{0, -300, 200};
  FacetedMirror smooth;
  for (const Face& f : RingSphereFaces(centre, 40, 32)) AddFace(smooth.Facets, f);
  BuildFacetIndex(smooth.Facets, smooth.Index);
  smooth.CornerNormals = ComputeCornerNormals(smooth.Facets, DefaultCreaseDegrees);
  // The three steps onto the smooth surface as ReflectOnSmoothFacet takes them.
  auto apart = [&](const MirrorFacet& facet, const FacetNormals& normals, Point3 hit, Point3& result) {
    const Point3 d = UnitDirection(eye, hit);
    const Point3 plane = Normal(facet.Plane);
    Point3 over = hit, at = hit;
    for (int step = 0; step < 3; ++step) {
      const Point3 n = InterpolatedNormal(facet, normals, over);
      const Point3 surface = SmoothSurfacePoint(facet, normals, over);
      const Real across = Dot(d, n);
      if (!(std::fabs(across) > 1e-7_r)) break;
      at = eye + (Dot(surface - eye, n) / across) * d;
      over = at - (Dot(at - facet.Corner1, plane)) * plane;
    }
    const Point3 n = InterpolatedNormal(facet, normals, over);
    MissRecord misses;
    return ReflectOnPlane(at, Plane{n.x, n.y, n.z, -Dot(n, at)}, eye, result, misses);
  };
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1, 1);
  int landed = 0;
  for (int i = 0; i < 2000; ++i) {
    const Point3 face{25 * u(gen), 0, 15 + 15 * u(gen)};
    Point3 hit;
    const int f = NearestFacet(smooth, eye, UnitDirection(eye, face), hit);
    if (f < 0) continue;
    Point3 a, b;
    MissRecord misses;
    const bool ok = ReflectRay(smooth, eye, face, a, misses);
    ASSERT_EQ(ok, apart(smooth.Facets.Facets[f], smooth.CornerNormals[f], hit, b)) << i;
    if (!ok) continue;
    ASSERT_TRUE(a.x == b.x && a.y == b.y && a.z == b.z) << i;
    ++landed;
  }
  EXPECT_GT(landed, 1000);
}

}  // namespace anamorfosi

namespace anamorfosi {

namespace {

FacetedMirror Indexed(const std::vector<Face>& faces) {
  FacetedMirror m;
  for (const Face& f : faces) AddFace(m.Facets, f);
  BuildFacetIndex(m.Facets, m.Index);
  return m;
}

}  // namespace

TEST(HullOf, ConvexMeshesAndTheSideOfTheEye) {
  const Point3 eye{0, -300, 200};
  const std::vector<Face> sphere = RingSphereFaces({0, 0, 40}, 40, 32);
  const FacetedMirror ball = Indexed(sphere);
  const MeshHull hull = HullOf(ball);
  EXPECT_TRUE(hull.Convex);
  // The eye outside the facet it sees first, not outside one at the back nor
  // when it is inside the ball.
  Point3 hit;
  const int front = NearestFacet(ball, eye, UnitDirection(eye, {0, 0, 40}), hit);
  ASSERT_GE(front, 0);
  EXPECT_TRUE(OnOuterSide(hull, ball.Facets.Facets[front], eye));
  const int back = NearestFacet(ball, {0, 300, 40}, UnitDirection({0, 300, 40}, {0, 0, 40}), hit);
  ASSERT_GE(back, 0);
  EXPECT_FALSE(OnOuterSide(hull, ball.Facets.Facets[back], eye));
  EXPECT_FALSE(OnOuterSide(hull, ball.Facets.Facets[front], {1, 2, 45}));
  // Its corners rounded to floats, as an STL stores them, and the top's fan
  // left out (a bowl, whose inner facets an eye above sees from inside): still on the hull.
  std::vector<Face> rounded = sphere;
  for (Face& f : rounded)
    for (Point3* p : {&f.C1, &f.C2, &f.C3, &f.C4})
      *p = {static_cast<float>(p->x), static_cast<float>(p->y), static_cast<float>(p->z)};
  EXPECT_TRUE(HullOf(Indexed(rounded)).Convex);
  const FacetedMirror bowl = Indexed({sphere.begin() + 30, sphere.end()});
  const MeshHull bowlHull = HullOf(bowl);
  EXPECT_TRUE(bowlHull.Convex);
  const int inner = NearestFacet(bowl, {0, 0, 300}, {0, 0, -1}, hit);
  ASSERT_GE(inner, 0);
  EXPECT_FALSE(OnOuterSide(bowlHull, bowl.Facets.Facets[inner], {0, 0, 300}));
  // Dented: one corner of the ball pushed in by a tenth of the radius.
  std::vector<Face> dented = sphere;
  const Point3 corner = sphere[100].C1, in = corner + 0.1_r * (Point3{0, 0, 40} - corner);
  for (Face& f : dented)
    for (Point3* p : {&f.C1, &f.C2, &f.C3, &f.C4})
      if (p->x == corner.x && p->y == corner.y && p->z == corner.z) *p = in;
  EXPECT_FALSE(HullOf(Indexed(dented)).Convex);
  // A flat mesh, and no facets at all.
  EXPECT_FALSE(HullOf(Indexed({{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}})).Convex);
  EXPECT_FALSE(HullOf(FacetedMirror{}).Convex);
}

}  // namespace anamorfosi

#include "core/lattice.h"
#include "mirrors/mirror_model.h"

namespace anamorfosi {

namespace {

// The smooth mesh print's setting: the ball of radius 40 on the sheet seen
// from (0, -300, 200), a picture of 480 x 360 pixels on the face below its
// centre, the samples of a 300 dpi print with 2 x 2 samples a cell.
MappingSetup BallPrint(int accuracy) {
  MappingSetup s;
  s.PictureFace = {{-15, 0, 20.5_r}, {15, 0, 20.5_r}, {15, 0, -2}, {-15, 0, -2}};
  s.ProjectionCentre = {0, -300, 200};
  s.Accuracy = accuracy;
  s.FaceStep = 30.0_r / 480;
  s.FaceSubStep = s.FaceStep / accuracy;
  s.Window.CellSize = 25.4_r / 300 / 2;
  return s;
}

// Lines 150 to 156 of the face traced point by point (traced) and again with
// a quarter of the rays along each line (fewer), with the same hits.
struct LatticePair {
  MappingSetup Setup;
  Lattice Traced, Fewer;
  long Interpolated = 0;  // points of fewer that differ from traced
  long Between = 0;       // points a quarter of the rays leave untraced
};
void TraceBoth(const FacetedMirror& mirror, int accuracy, LatticePair& p) {
  p.Setup = BallPrint(accuracy);
  for (Lattice* l : {&p.Traced, &p.Fewer}) {
    PlaceLatticeColumns(*l, p.Setup, 480);
    StartLattice(*l, accuracy, 151, 156, 1, 480);
  }
  for (long t = 0; t < LatticeTraceTasks(p.Traced); ++t) TraceLatticeTask(mirror, p.Setup, p.Traced, t);
  p.Setup.InterpolateAlong = true;
  for (long t = 0; t < LatticeTraceTasks(p.Fewer); ++t) TraceLatticeTask(mirror, p.Setup, p.Fewer, t);
  for (std::size_t i = 0; i < p.Traced.Along.size(); ++i) {
    ASSERT_EQ(p.Fewer.AlongHit[i], p.Traced.AlongHit[i]) << i;
    if (i % p.Traced.LinePoints() % 4 != 0) ++p.Between;
    const Point2 a = p.Traced.Along[i], b = p.Fewer.Along[i];
    if (a.x != b.x || a.y != b.y) ++p.Interpolated;
  }
}

}  // namespace

// A smooth mesh lets the lattice interpolate along its lines; flat facets and
// the vertical mode do not. On the ball's mesh of 256 segments most points
// between the traced ones are interpolated, and they land no farther from
// where the round ball sends their rays than the traced points do (the traced
// points stray from the ball by what the mesh's surface misses of it, and now
// and then by a few samples where a ray grazes an edge; the cubic strays by
// less). On the mesh of 64 segments with a crease of 0, every corner its own
// facet's normal, so that the reflection jumps at every edge, the fourth
// difference makes the points near each edge traced: the others stay within
// kInterpolationStray of a sample of the traced ones.
TEST(SmoothReflection, SmoothMeshInterpolatesAlongTheLatticeOnlyWhereItHolds) {
  const Point3 centre{0, 0, 40};
  FacetedMirror flat;
  for (const Face& f : RingSphereFaces(centre, 40, 256)) AddFace(flat.Facets, f);
  BuildFacetIndex(flat.Facets, flat.Index);
  FacetedMirror smooth = flat, vertical;
  smooth.CornerNormals = ComputeCornerNormals(smooth.Facets, DefaultCreaseDegrees);
  vertical.CornerNormals = smooth.CornerNormals;
  vertical.VerticalAxisMode = true;
  EXPECT_TRUE(ReflectsSmoothly(smooth));
  // As the print asks it, of the model in the scene's variant.
  EXPECT_TRUE(std::visit([](const auto& m) { return ReflectsSmoothly(m); }, AnyMirrorModel(smooth)));
  EXPECT_FALSE(ReflectsSmoothly(flat));
  EXPECT_FALSE(ReflectsSmoothly(vertical));

  long interpolated = 0, between = 0;
  for (const int accuracy : {1, 2, 4}) {
    LatticePair p;
    TraceBoth(smooth, accuracy, p);
    interpolated += p.Interpolated;
    between += p.Between;
    // How much farther from the round ball's landing each point lands than
    // its traced self, in samples.
    Real excess = 0;
    const Face& f = p.Setup.PictureFace;
    for (int line = 150; line <= 156; ++line) {
      const Point3 E = PointToward(f.C2, f.C3, line * RowStepOf(p.Setup));
      for (long k = 0; k < static_cast<long>(p.Traced.LinePoints()); ++k) {
        const auto round =
            TracePhysicalSphereRay(centre, 40, p.Setup.ProjectionCentre, LatticeAlongPoint(p.Setup, p.Traced, line, k, E));
        ASSERT_TRUE(round);
        const std::size_t at = p.Traced.AlongAt(line, static_cast<int>(k));
        const Point2 a = p.Traced.Along[at], b = p.Fewer.Along[at];
        excess = std::max(excess, std::hypot(b.x - round->Ground.x, b.y - round->Ground.y) -
                                      std::hypot(a.x - round->Ground.x, a.y - round->Ground.y));
      }
    }
    // Measured: 0.0004 at accuracy 1 and 2, 0.00025 at 4; the traced points
    // themselves stray up to 0.54 samples from the ball.
    EXPECT_LE(excess / p.Setup.Window.CellSize, kInterpolationStray) << "accuracy " << accuracy;
  }
  // Measured: 13125 of 17640 (1087 of 2520 at accuracy 1, 8509 of 10080 at 4).
  EXPECT_GT(interpolated * 3, between * 2) << interpolated << " of " << between;

  FacetedMirror creased;
  for (const Face& f : RingSphereFaces(centre, 40, 64)) AddFace(creased.Facets, f);
  BuildFacetIndex(creased.Facets, creased.Index);
  creased.CornerNormals = ComputeCornerNormals(creased.Facets, 0);
  for (const int accuracy : {1, 4}) {
    LatticePair p;
    TraceBoth(creased, accuracy, p);
    Real worst = 0;
    long traced = 0;
    for (std::size_t i = 0; i < p.Traced.Along.size(); ++i) {
      const Point2 a = p.Traced.Along[i], b = p.Fewer.Along[i];
      worst = std::max(worst, std::hypot(a.x - b.x, a.y - b.y) / p.Setup.Window.CellSize);
      if (i % p.Traced.LinePoints() % 4 != 0 && a.x == b.x && a.y == b.y) ++traced;
    }
    EXPECT_LE(worst, kInterpolationStray) << "accuracy " << accuracy;
    // Some points between the traced ones were traced too, round the edges.
    EXPECT_GT(traced, 0) << "accuracy " << accuracy;
  }
}

}  // namespace anamorfosi
