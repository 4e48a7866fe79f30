#include "mirrors/facets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <string>
#include <vector>

#include "core/errors.h"
#include "meshes/mesh_file.h"
#include "testing/mesh_shapes.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

// A lean DXF of many faces (the loader only needs the 3DFACE groups).
std::string ManyQuads(int count, Real z = 0) {
  std::string s = "0\nSECTION\n2\nENTITIES\n";
  const std::string zs = std::to_string(static_cast<double>(z));
  for (int i = 0; i < count; ++i) {
    const std::string x0 = std::to_string(i), x1 = std::to_string(i + 1);
    s += "0\n3DFACE\n8\n0\n10\n" + x0 + "\n20\n0\n30\n" + zs + "\n11\n" + x1 + "\n21\n0\n31\n" + zs + "\n12\n" + x1 +
         "\n22\n1\n32\n" + zs + "\n13\n" + x0 + "\n23\n1\n33\n" + zs + "\n";
  }
  return s + "0\nENDSEC\n0\nEOF\n";
}

bool Same(Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST(LoadMirrorFacets, SplitsQuadrilateralsAlongTheThirdToFirstDiagonalInFileOrder) {
  TempDir dir;
  const Face q1{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  const Face q2{{0, 0, 5}, {0, 10, 5}, {-10, 10, 5}, {-10, 0, 5}};
  FacetSet set;
  LoadMirrorFacets(dir.Write("m.dxf", DxfWithFaces({q1, q2})), set);
  ASSERT_EQ(set.FacetCount, 4);
  ASSERT_EQ(set.Facets.size(), 4u);
  EXPECT_FALSE(set.FacetOverflow);
  const Face* faces[2] = {&q1, &q2};
  for (int k = 0; k < 2; ++k) {
    const Face& q = *faces[k];
    const MirrorFacet& first = set.Facets[2 * k];
    const MirrorFacet& second = set.Facets[2 * k + 1];
    EXPECT_TRUE(Same(first.Corner1, q.C1) && Same(first.Corner2, q.C2) && Same(first.Corner3, q.C3)) << k;
    EXPECT_TRUE(Same(second.Corner1, q.C3) && Same(second.Corner2, q.C4) && Same(second.Corner3, q.C1)) << k;
  }
  // The plane is normalised, and a facet in z = 5 has a box 1e-4 thick about it.
  const Plane& p = set.Facets[2].Plane;
  EXPECT_NEAR(static_cast<double>(std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz)), 1.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(p.nz * 5 + p.d), 0.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(set.Facets[2].BoxMin.z), 5 - 1e-4, 1e-12);
  EXPECT_NEAR(static_cast<double>(set.Facets[2].BoxMax.z), 5 + 1e-4, 1e-12);
  EXPECT_NEAR(static_cast<double>(set.Facets[2].BoxMin.x), -10 - 1e-4, 1e-12);
  EXPECT_NEAR(static_cast<double>(set.Facets[2].BoxMax.y), 10 + 1e-4, 1e-12);
}

TEST(LoadMirrorFacets, DropsTrianglesWithoutArea) {
  TempDir dir;
  const Face triangle{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 10, 0}};
  const Face onALine{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  // Corners 1, 2, 3 on one line, corner 4 off it: only (3, 4, 1) remains.
  const Face firstFlat{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 5, 0}};
  FacetSet set;
  LoadMirrorFacets(dir.Write("m.dxf", DxfWithFaces({triangle, onALine, firstFlat, triangle})), set);
  ASSERT_EQ(set.FacetCount, 3);
  EXPECT_TRUE(Same(set.Facets[0].Corner3, triangle.C3));
  EXPECT_TRUE(Same(set.Facets[1].Corner1, firstFlat.C3) && Same(set.Facets[1].Corner2, firstFlat.C4) &&
              Same(set.Facets[1].Corner3, firstFlat.C1));
  EXPECT_TRUE(Same(set.Facets[2].Corner2, triangle.C2));
}

TEST(LoadMirrorFacets, FileWithoutFacesLeavesAnEmptySetAndReloadingReplaces) {
  TempDir dir;
  FacetSet set;
  LoadMirrorFacets(dir.Write("a.dxf", DxfWithFaces({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}})), set);
  ASSERT_EQ(set.FacetCount, 2);
  LoadMirrorFacets(dir.Write("b.dxf", "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLINE\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n"),
                   set);
  EXPECT_EQ(set.FacetCount, 0);
  EXPECT_TRUE(set.Facets.empty());
  EXPECT_FALSE(set.FacetOverflow);
  EXPECT_THROW(LoadMirrorFacets(dir.File("missing.dxf"), set), RuntimeFailure);
}

TEST(LoadMirrorFacets, TableLimitAndOverflow) {
  TempDir dir;
  FacetSet full;
  LoadMirrorFacets(dir.Write("full.dxf", ManyQuads(25000)), full);
  EXPECT_EQ(full.FacetCount, MaxFacets);
  EXPECT_FALSE(full.FacetOverflow);
  EXPECT_LE(full.Facets.capacity(), static_cast<std::size_t>(MaxFacets));

  // One quadrilateral more: nothing is added, the overflow is set, and the scan
  // stops there (the broken number after it is never read).
  const std::string more = ManyQuads(25001);
  const std::string broken = more.substr(0, more.size() - std::string("0\nENDSEC\n0\nEOF\n").size()) +
                             "0\n3DFACE\n10\nnot-a-number\n20\n0\n0\nEOF\n";
  FacetSet over;
  LoadMirrorFacets(dir.Write("over.dxf", broken), over);
  EXPECT_EQ(over.FacetCount, MaxFacets);
  EXPECT_EQ(over.Facets.size(), static_cast<std::size_t>(MaxFacets));
  EXPECT_TRUE(over.FacetOverflow);
  EXPECT_TRUE(Same(over.Facets.back().Corner1, Point3{24999 + 1, 1, 0}));

  // A degenerate face after a full table adds nothing and is no overflow.
  FacetSet flat;
  std::string withFlat = ManyQuads(25000);
  withFlat.insert(withFlat.size() - std::string("0\nENDSEC\n0\nEOF\n").size(),
                  "0\n3DFACE\n10\n0\n20\n0\n11\n1\n21\n0\n12\n2\n22\n0\n13\n3\n23\n0\n");
  LoadMirrorFacets(dir.Write("flat.dxf", withFlat), flat);
  EXPECT_EQ(flat.FacetCount, MaxFacets);
  EXPECT_FALSE(flat.FacetOverflow);
}

TEST(AddFacet, RefusesBeyondTheLimit) {
  FacetSet set;
  for (int i = 0; i < MaxFacets; ++i) ASSERT_TRUE(AddFacet(set, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  EXPECT_FALSE(set.FacetOverflow);
  EXPECT_FALSE(AddFacet(set, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  EXPECT_TRUE(set.FacetOverflow);
  EXPECT_EQ(set.FacetCount, MaxFacets);
}

TEST(IsDegenerateTriangle, AreaThresholdAndRoundingBelowZero) {
  EXPECT_FALSE(IsDegenerateTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  // Area 5e-6 (below 1e-5) and 2e-5 (above).
  EXPECT_TRUE(IsDegenerateTriangle({0, 0, 0}, {1, 0, 0}, {0, 1e-5_r, 0}));
  EXPECT_FALSE(IsDegenerateTriangle({0, 0, 0}, {1, 0, 0}, {0, 4e-5_r, 0}));
  EXPECT_TRUE(IsDegenerateTriangle({0, 0, 0}, {0, 0, 0}, {0, 0, 0}));
  // Three points on one line whose Heron product rounds below zero: its square
  // root would be undefined, and the triangle has no area. Which points round
  // so depends on Real: B at 1/k of the direction from A, the first k from 7 on
  // (7 in extended precision, 13 in double).
  const Point3 a{0.3_r, 0.7_r, 1.1_r}, dir{1, 2, 3};
  const auto heron = [&](int k) {
    const Point3 b = a + (1 / Real(k)) * dir, c = a + (1 / Real(k) + 5 / 3.0_r) * dir;
    const Real ab = Distance3(a, b), bc = Distance3(b, c), ca = Distance3(c, a), s = (ab + bc + ca) / 2;
    return (s - ab) * s * (s - bc) * (s - ca);
  };
  int k = 7;
  while (k < 100 && !(heron(k) < 0)) ++k;
  const Point3 b = a + (1 / Real(k)) * dir, c = a + (1 / Real(k) + 5 / 3.0_r) * dir;
  ASSERT_LT(heron(k), 0) << "the case no longer rounds below zero";
  EXPECT_TRUE(IsDegenerateTriangle(a, b, c));
}

}  // namespace

TEST(LoadMirrorFacets, ADxfInAnotherUnitIsScaledOnlyWhenAskedTo) {
  TempDir dir;
  const Face q{{0, 0, 0}, {10, 0, 0}, {10, 10, 3}, {0, 10, 3}};
  const std::string file = dir.Write("m.dxf", DxfWithFaces({q}));
  // A DXF in cm read into mm drawing units: every corner ten times as far.
  FacetLoadOptions cm;
  cm.DrawingUnitMm = 1;
  cm.DxfUnitMm = 10;
  FacetSet set;
  LoadMirrorFacets(file, set, cm);
  ASSERT_EQ(set.FacetCount, 2);
  EXPECT_TRUE(Same(set.Facets[0].Corner2, {100, 0, 0}));
  EXPECT_TRUE(Same(set.Facets[1].Corner1, {100, 100, 30}));
  EXPECT_NEAR(static_cast<double>(set.Facets[1].BoxMax.z), 30 + 1e-4, 1e-12);
  // The program's reading (no drawing unit) and a file in the drawing unit keep the numbers.
  for (const FacetLoadOptions& keep : {FacetLoadOptions{MaxFacets, 0, 10}, FacetLoadOptions{MaxFacets, 10, 10}}) {
    LoadMirrorFacets(file, set, keep);
    ASSERT_EQ(set.FacetCount, 2);
    EXPECT_TRUE(Same(set.Facets[0].Corner2, q.C2));
    EXPECT_TRUE(Same(set.Facets[1].Corner1, q.C3));
  }
}

}  // namespace anamorfosi

namespace anamorfosi {

namespace {

FacetSet SetOf(const std::vector<Face>& faces) {
  FacetSet set;
  for (const Face& f : faces) AddFace(set, f);
  return set;
}

// In degrees, from the sine and the cosine together, which keeps every digit
// near 0 (acos there keeps only half of them: a double's 1e-8 rad).
Real Angle(Point3 a, Point3 b) {
  const Point3 c = Cross(a, b);
  return std::atan2(std::sqrt(Dot(c, c)), Dot(a, b)) * 180 / std::numbers::pi_v<Real>;
}

// The six faces of a cube of side 2 round the origin, wound outward.
std::vector<Face> CubeFaces() {
  const Point3 p[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                       {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
  return {{p[0], p[3], p[2], p[1]}, {p[4], p[5], p[6], p[7]}, {p[0], p[1], p[5], p[4]},
          {p[2], p[3], p[7], p[6]}, {p[1], p[2], p[6], p[5]}, {p[3], p[0], p[4], p[7]}};
}

// The four sides of a low pyramid over the square of half side 1, each
// tilted 30 degrees: neighbours are 41.4 degrees apart, opposite sides 60.
std::vector<Face> LowPyramidFaces() {
  const Point3 apex{0, 0, std::tan(std::numbers::pi_v<Real> / 6)};
  const Point3 ring[4] = {{1, 1, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
  std::vector<Face> faces;
  for (int k = 0; k < 4; ++k) faces.push_back({ring[k], ring[(k + 1) % 4], apex, apex});
  return faces;
}

}  // namespace

// Max's weights make the normal exact where a vertex and its neighbours lie on
// a sphere, however unequal the facets round it (the rings of a sphere mesh
// are narrower toward its poles); a plain mean of the facets' normals is off.
TEST(ComputeCornerNormals, RadialOnASphereMesh) {
  const Point3 centre{3, -2, 40};
  for (const int segments : {7, 16, 64}) {
    const FacetSet set = SetOf(RingSphereFaces(centre, 40, segments));
    // Seven segments put 51 degrees between neighbours: all of them are averaged.
    const std::vector<FacetNormals> normals = ComputeCornerNormals(set, segments == 7 ? 89 : DefaultCreaseDegrees);
    ASSERT_EQ(normals.size(), set.Facets.size());
    Real worst = 0, worstMean = 0;
    for (std::size_t f = 0; f < set.Facets.size(); ++f) {
      const MirrorFacet& m = set.Facets[f];
      const Point3 corners[3] = {m.Corner1, m.Corner2, m.Corner3};
      const Point3 got[3] = {normals[f].N1, normals[f].N2, normals[f].N3};
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(static_cast<double>(Dot(got[c], got[c])), 1, 1e-12);
        // Outward, as the facets are wound.
        EXPECT_GT(Dot(got[c], Normal(m.Plane)), 0);
        worst = std::max(worst, Angle(got[c], corners[c] - centre));
      }
    }
    // The plain mean over the same facets, for comparison.
    for (std::size_t f = 0; f < set.Facets.size(); ++f) {
      Point3 sum{0, 0, 0};
      for (const MirrorFacet& o : set.Facets)
        for (const Point3& p : {o.Corner1, o.Corner2, o.Corner3})
          if (p.x == set.Facets[f].Corner1.x && p.y == set.Facets[f].Corner1.y && p.z == set.Facets[f].Corner1.z)
            sum = sum + Normal(o.Plane);
      worstMean = std::max(worstMean, Angle(sum, set.Facets[f].Corner1 - centre));
    }
    // Degrees: far above the rounding of either precision of Real, far below
    // the plain mean's error.
    EXPECT_LT(static_cast<double>(worst), 1e-6) << segments;
    EXPECT_GT(static_cast<double>(worstMean), 0.1) << segments;
  }
}

TEST(ComputeCornerNormals, CreaseAngleKeepsSharpEdgesAndWindingDoesNotMatter) {
  // The cube's faces are 90 degrees apart: at any crease each corner keeps its face's plane.
  const FacetSet cube = SetOf(CubeFaces());
  for (const Real crease : {0.0_r, 60.0_r, 89.0_r, 400.0_r}) {
    const std::vector<FacetNormals> n = ComputeCornerNormals(cube, crease);
    for (std::size_t f = 0; f < cube.Facets.size(); ++f) {
      const Point3 plane = Normal(cube.Facets[f].Plane);
      for (const Point3& c : {n[f].N1, n[f].N2, n[f].N3}) EXPECT_LT(static_cast<double>(Angle(c, plane)), 1e-6) << f;
    }
  }
  // The low pyramid's sides: kept sharp at 40, at 59 the apex averages each
  // side with its neighbours only, at 61 with all four into the vertical.
  std::vector<Face> faces = LowPyramidFaces();
  const FacetSet set = SetOf(faces);
  ASSERT_EQ(set.Facets.size(), 4u);
  for (const Real crease : {40.0_r, 59.0_r, 61.0_r}) {
    const std::vector<FacetNormals> n = ComputeCornerNormals(set, crease);
    for (std::size_t f = 0; f < set.Facets.size(); ++f) {
      const Point3 plane = Normal(set.Facets[f].Plane);
      const Real apexTilt = Angle(n[f].N3, {0, 0, 1});
      EXPECT_GT(Dot(plane, {0, 0, 1}), 0);
      if (crease < 41) {
        for (const Point3& c : {n[f].N1, n[f].N2, n[f].N3}) EXPECT_LT(static_cast<double>(Angle(c, plane)), 1e-6);
      } else {
        // A base corner joins its two sides: between them, less tilted than either.
        EXPECT_GT(static_cast<double>(Angle(n[f].N1, plane)), 10) << f;
        EXPECT_NEAR(static_cast<double>(apexTilt), crease < 60 ? 30 * 0.5 : 0, crease < 60 ? 15 : 1e-6) << f;
      }
    }
  }
  // Two sides wound inward (as a DXF's 3DFACEs may be): they seem to face
  // away by more than 90 degrees and are left out, so no normal turns inside
  // out: each stays within the crease of its own facet's plane, and the sides
  // wound alike still average.
  for (std::size_t k = 0; k < faces.size(); k += 2) std::swap(faces[k].C1, faces[k].C2);
  const FacetSet mixed = SetOf(faces);
  const std::vector<FacetNormals> round = ComputeCornerNormals(mixed, 89);
  int averaged = 0;
  for (std::size_t f = 0; f < mixed.Facets.size(); ++f) {
    const Point3 plane = Normal(mixed.Facets[f].Plane);
    for (const Point3& r : {round[f].N1, round[f].N2, round[f].N3}) {
      EXPECT_LT(static_cast<double>(Angle(r, plane)), 61) << f;
      averaged += Angle(r, plane) > 1;
    }
  }
  EXPECT_GT(averaged, 0);
}

// A vertex is the corners at the same point to the last bit, whatever their
// sign of zero: two roofs of two triangles each, their ridges' ends at points
// that differ in the last bit of Real (the same double), are smoothed each on
// its own, as each alone is; a roof whose corners meet at -0 and +0 is
// smoothed as one.
TEST(ComputeCornerNormals, AVertexIsOnePointToTheLastBitAndBothZeros) {
  auto roof = [](Point3 a, Point3 b, Real tilt) {
    // The ridge from a to b (along x), its sides falling toward -y and +y.
    return std::vector<Face>{{a, b, b + Point3{0, -1, -tilt}, b + Point3{0, -1, -tilt}},
                             {b, a, a + Point3{0, 1, -tilt}, a + Point3{0, 1, -tilt}}};
  };
  const Real x = 3, nearX = std::nextafter(x, Real{4});
  ASSERT_NE(x, nearX);
  const std::vector<Face> first = roof({x, 0, 0}, {x + 1, 0, 0}, 0.5_r);
  // Wound as the first, its sides within the crease of the first's.
  const std::vector<Face> second = roof({nearX - 1, 0, 0}, {nearX, 0, 0}, 0.8_r);
  std::vector<Face> both = first;
  both.insert(both.end(), second.begin(), second.end());
  const std::vector<FacetNormals> together = ComputeCornerNormals(SetOf(both), DefaultCreaseDegrees);
  const std::vector<FacetNormals> a = ComputeCornerNormals(SetOf(first), DefaultCreaseDegrees);
  const std::vector<FacetNormals> b = ComputeCornerNormals(SetOf(second), DefaultCreaseDegrees);
  ASSERT_EQ(together.size(), 4u);
  auto same = [](const FacetNormals& p, const FacetNormals& q) {
    for (const auto& [u, v] : {std::pair{p.N1, q.N1}, std::pair{p.N2, q.N2}, std::pair{p.N3, q.N3}})
      if (!(u.x == v.x && u.y == v.y && u.z == v.z)) return false;
    return true;
  };
  for (std::size_t f = 0; f < 2; ++f) {
    EXPECT_TRUE(same(together[f], a[f])) << f;
    EXPECT_TRUE(same(together[f + 2], b[f])) << f;
  }
  // The ridge's corners are shared: their normals lean off each side's plane.
  const FacetSet firstSet = SetOf(first);
  EXPECT_GT(static_cast<double>(Angle(a[0].N1, Normal(firstSet.Facets[0].Plane))), 10);
  // The same ridge with one end at -0 in one triangle and +0 in the other.
  const std::vector<Face> zeros{{{-0.0_r, 0, 0}, {1, 0, 0}, {1, -1, -0.5_r}, {1, -1, -0.5_r}},
                                {{1, 0, 0}, {0.0_r, 0, 0}, {0, 1, -0.5_r}, {0, 1, -0.5_r}}};
  ASSERT_TRUE(std::signbit(zeros[0].C1.x));
  const FacetSet zeroSet = SetOf(zeros);
  const std::vector<FacetNormals> z = ComputeCornerNormals(zeroSet, DefaultCreaseDegrees);
  EXPECT_GT(static_cast<double>(Angle(z[0].N1, Normal(zeroSet.Facets[0].Plane))), 10);
  EXPECT_GT(static_cast<double>(Angle(z[1].N2, Normal(zeroSet.Facets[1].Plane))), 10);
  EXPECT_TRUE(z[0].N1.x == z[1].N2.x && z[0].N1.y == z[1].N2.y && z[0].N1.z == z[1].N2.z);
}

// Over a sphere mesh's facets the smooth surface lies on the sphere to a
// small part of the facets' depth below it, and neighbouring facets give the
// same point on the edge they share.
TEST(SmoothSurfacePoint, LiesNearTheSphereAndAgreesAcrossEdges) {
  const Point3 centre{0, 0, 40};
  const FacetSet set = SetOf(RingSphereFaces(centre, 40, 64));
  const std::vector<FacetNormals> normals = ComputeCornerNormals(set, DefaultCreaseDegrees);
  Real flatDepth = 0, smoothDepth = 0;
  for (std::size_t f = 0; f < set.Facets.size(); ++f) {
    const MirrorFacet& m = set.Facets[f];
    for (const Point3 b : {Point3{1, 1, 1}, Point3{4, 1, 1}, Point3{1, 1, 0}, Point3{2, 1, 3}}) {
      const Point3 h = (1 / (b.x + b.y + b.z)) * (b.x * m.Corner1 + b.y * m.Corner2 + b.z * m.Corner3);
      flatDepth = std::max(flatDepth, 40 - Distance3(h, centre));
      smoothDepth = std::max(smoothDepth, std::fabs(40 - Distance3(SmoothSurfacePoint(m, normals[f], h), centre)));
    }
  }
  // The facets reach 0.048 below the sphere; the surface over them errs at
  // least 20 times less.
  EXPECT_GT(static_cast<double>(flatDepth), 0.03);
  EXPECT_LT(static_cast<double>(smoothDepth), static_cast<double>(flatDepth) / 20);
  // The two triangles of a ring's quadrilateral share its diagonal: the same
  // surface point over its middle from either.
  const std::size_t first = 62;  // past the top's fan of 62 triangles
  const MirrorFacet& a = set.Facets[first];
  const MirrorFacet& b = set.Facets[first + 1];
  const Point3 mid = 0.5_r * (a.Corner1 + a.Corner3);
  EXPECT_LT(static_cast<double>(Distance3(SmoothSurfacePoint(a, normals[first], mid),
                                          SmoothSurfacePoint(b, normals[first + 1], mid))),
            1e-12);
  // A facet's corners stay where they are.
  EXPECT_LT(static_cast<double>(Distance3(SmoothSurfacePoint(a, normals[first], a.Corner2), a.Corner2)), 1e-12);
}

// The normal and the surface point from one finding of the barycentric
// coordinates, with the facet's frame found once, are those of the two
// functions on their own to the last bit: inside, on the edges, just outside
// them and far outside (clamped), and on a facet whose corners' normals cancel.
TEST(SmoothAt, SameBitsAsTheSurfacePointAndTheNormalApart) {
  const FacetSet set = SetOf(RingSphereFaces({0, 0, 40}, 40, 16));
  const std::vector<FacetNormals> normals = ComputeCornerNormals(set, DefaultCreaseDegrees);
  auto same = [](Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
  int checked = 0;
  for (std::size_t f = 0; f < set.Facets.size(); ++f) {
    const MirrorFacet& m = set.Facets[f];
    const FacetFrame frame = FrameOf(m);
    for (const Point3 b : {Point3{1, 1, 1}, Point3{4, 1, 1}, Point3{1, 1, 0}, Point3{1, 0, 0}, Point3{-1e-6_r, 1, 1},
                           Point3{-2, 1, 5}}) {
      const Point3 h = (1 / (b.x + b.y + b.z)) * (b.x * m.Corner1 + b.y * m.Corner2 + b.z * m.Corner3);
      for (const FacetNormals& n : {normals[f], FacetNormals{{1, 0, 0}, {-1, 0, 0}, {0, 0, 0}}}) {
        const SmoothSample at = SmoothAt(m, frame, n, h);
        ASSERT_TRUE(same(at.Surface, SmoothSurfacePoint(m, n, h))) << f;
        ASSERT_TRUE(same(at.Normal, InterpolatedNormal(m, n, h))) << f;
        ASSERT_TRUE(same(InterpolatedNormal(m, frame, n, h), InterpolatedNormal(m, n, h))) << f;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(InterpolatedNormal, CornersCentreAndPointsJustOutside) {
  FacetSet set;
  ASSERT_TRUE(AddFacet(set, {0, 0, 0}, {10, 0, 0}, {0, 10, 0}));
  const MirrorFacet& f = set.Facets[0];
  const Real s = 1 / std::sqrt(2.0_r);
  const FacetNormals n{{0, 0, 1}, {s, 0, s}, {0, s, s}};
  auto near = [](Point3 a, Point3 b) { return Distance3(a, b) < 1e-15_r; };
  EXPECT_TRUE(near(InterpolatedNormal(f, n, f.Corner1), n.N1));
  EXPECT_TRUE(near(InterpolatedNormal(f, n, f.Corner2), n.N2));
  EXPECT_TRUE(near(InterpolatedNormal(f, n, f.Corner3), n.N3));
  // Halfway along the second edge: the mean of its ends' normals.
  const Point3 half = InterpolatedNormal(f, n, {5, 5, 0});
  EXPECT_TRUE(near(half, (1 / std::sqrt(Dot(n.N2 + n.N3, n.N2 + n.N3))) * (n.N2 + n.N3)));
  // Just beyond that edge (within the facet's tolerance) it stays the edge's.
  EXPECT_TRUE(near(InterpolatedNormal(f, n, {5 + 3e-5_r, 5 + 3e-5_r, 0}), half));
  // Beyond the first corner: that corner's normal, not an extrapolation past it.
  EXPECT_TRUE(near(InterpolatedNormal(f, n, {-5e-5_r, -5e-5_r, 0}), n.N1));
  // Opposite normals that cancel at the centre give the plane's.
  const FacetNormals cancel{{1, 0, 0}, {-1, 0, 0}, {0, 0, 0}};
  const Point3 mid = InterpolatedNormal(f, cancel, {5, 0, 0});
  EXPECT_TRUE(near(mid, Normal(f.Plane)));
}

}  // namespace anamorfosi
