#include "mirrors/facets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/errors.h"
#include "meshes/mesh_file.h"
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
