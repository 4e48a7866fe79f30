// A mesh given as arrays (the page's reader) fills the facet table as the
// command's reader fills it from the same file: the same triangles, corner
// for corner and bit for bit, the same normals kept, the same refusals.
#include "pipeline/mesh_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "meshes/dxf_facets.h"
#include "meshes/mesh_file.h"
#include "pipeline/print.h"
#include "testing/mesh_shapes.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

void ExpectSameTables(const FacetSet& a, const FacetSet& b) {
  ASSERT_EQ(a.FacetCount, b.FacetCount);
  ASSERT_EQ(a.Facets.size(), b.Facets.size());
  for (std::size_t i = 0; i < a.Facets.size(); ++i) {
    const MirrorFacet &x = a.Facets[i], &y = b.Facets[i];
    for (const auto& [p, q] : {std::pair{x.Corner1, y.Corner1}, {x.Corner2, y.Corner2}, {x.Corner3, y.Corner3}}) {
      EXPECT_EQ(p.x, q.x) << "facet " << i;
      EXPECT_EQ(p.y, q.y) << "facet " << i;
      EXPECT_EQ(p.z, q.z) << "facet " << i;
    }
  }
  ASSERT_EQ(a.FileNormals.size(), b.FileNormals.size());
  for (std::size_t i = 0; i < a.FileNormals.size(); ++i) {
    EXPECT_EQ(a.FileNormals[i].N1.x, b.FileNormals[i].N1.x);
    EXPECT_EQ(a.FileNormals[i].N2.y, b.FileNormals[i].N2.y);
    EXPECT_EQ(a.FileNormals[i].N3.z, b.FileNormals[i].N3.z);
  }
  EXPECT_EQ(a.FileUnitMm, b.FileUnitMm);
}

FacetSet CommandsTable(const std::string& file, bool normals) {
  FacetLoadOptions options;
  options.MeshInProcess = true;
  options.Normals = normals;
  FacetSet set;
  LoadMirrorFacets(file, set, options);
  return set;
}

FacetSet ArraysTable(const MeshArrays& mesh, bool normals, int limit = MaxFacets) {
  FacetLoadOptions options;
  options.Normals = normals;
  options.Limit = limit;
  FacetSet set;
  FacetsOfMeshArrays(mesh, "m.obj", set, options);
  return set;
}

std::string RefusalOf(const MeshArrays& mesh) {
  try {
    ArraysTable(mesh, false);
  } catch (const PrintError& e) {
    EXPECT_EQ(e.Field, "mirror");
    return e.what();
  }
  return "";
}

// Four vertices whose numbers single precision rounds, a convex quadrilateral,
// a triangle and a triangle without area, with a normal at every vertex.
constexpr const char* kObj =
    "v 0.1 0.2 0.3\nv 10.123456789 0.7 1.1\nv 9.9 8.3 2.05\nv 0.33 9.1 3.7\nv 5 5 5.000001\n"
    "vn 0 -1 0.1\nvn 0.2 -1 0\nvn 1 0 0\nvn 0 0 1\nvn 0.3 0.3 1\n"
    "f 1//1 2//2 3//3 4//4\nf 2//2 3//3 5//5\nf 1//1 1//1 2//2\n";

MeshArrays ObjArrays() {
  MeshArrays m;
  m.Format = "OBJ";
  m.Vertices = {0.1f, 0.2f, 0.3f, 10.123456789f, 0.7f, 1.1f, 9.9f, 8.3f, 2.05f, 0.33f, 9.1f, 3.7f, 5.f, 5.f, 5.000001f};
  m.Normals = {0.f, -1.f, 0.1f, 0.2f, -1.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.3f, 0.3f, 1.f};
  m.Corners = {0, 1, 2, 3, 1, 2, 4, 0, 0, 1};
  m.Sizes = {4, 3, 3};
  return m;
}

}  // namespace

TEST(MeshArrays, FillTheTableAsTheCommandsReaderDoesFromTheSameFile) {
  TempDir dir;
  const std::string obj = dir.Write("m.obj", kObj);
  // The quadrilateral split from its third corner to its first, the
  // triangle without area dropped, the normals kept for a smooth mirror.
  const FacetSet command = CommandsTable(obj, true), arrays = ArraysTable(ObjArrays(), true);
  EXPECT_EQ(command.FacetCount, 3);
  EXPECT_EQ(command.FileNormals.size(), 3u);
  ExpectSameTables(command, arrays);
  ExpectSameTables(CommandsTable(obj, false), ArraysTable(ObjArrays(), false));

  // An STL's normals are its facets' own: never kept.
  const std::string stl = dir.Write("m.stl",
                                    "solid m\nfacet normal 0 0 1\nouter loop\nvertex 0.1 0.2 0.3\n"
                                    "vertex 10.123456789 0.7 1.1\nvertex 9.9 8.3 2.05\nendloop\nendfacet\nendsolid m\n");
  MeshArrays m;
  m.Format = "STL";
  m.Vertices = {0.1f, 0.2f, 0.3f, 10.123456789f, 0.7f, 1.1f, 9.9f, 8.3f, 2.05f};
  m.Normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
  m.Corners = {0, 1, 2};
  m.Sizes = {3};
  ExpectSameTables(CommandsTable(stl, true), ArraysTable(m, true));
}

TEST(MeshArrays, RefuseWhatTheCommandRefusesInItsWords) {
  MeshArrays m = ObjArrays();
  m.Corners[5] = 9;
  EXPECT_EQ(RefusalOf(m), "m.obj: face 2 names vertex 10 of a mesh of 5 vertices");
  m = ObjArrays();
  m.Vertices[4] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(RefusalOf(m), "m.obj: face 1 has a corner whose coordinates are not all numbers");
  m = ObjArrays();
  m.Corners = {0, 0, 1};
  m.Sizes = {3};
  // A triangle without area is a triangle: the table is left empty, for the
  // print to refuse as it refuses the command's.
  EXPECT_EQ(RefusalOf(m), "");
  m.Corners.clear();
  m.Sizes.clear();
  EXPECT_EQ(RefusalOf(m), "m.obj: holds no triangle");
  m = ObjArrays();
  m.Sizes = {4, 3, 4};
  EXPECT_EQ(RefusalOf(m), "m.obj: face 3 was not given whole");
}

TEST(MeshArrays, KeepTheLimitAndScaleATurnedGltfIntoDrawingUnits) {
  const FacetSet two = ArraysTable(ObjArrays(), false, 2);
  EXPECT_EQ(two.FacetCount, 2);
  EXPECT_TRUE(two.FacetOverflow);
  EXPECT_FALSE(ArraysTable(ObjArrays(), false, 3).FacetOverflow);

  MeshArrays m = ObjArrays();
  m.Format = "GLB";
  m.FileUnitMm = 1000;
  m.YUp = true;
  FacetLoadOptions options;
  options.DrawingUnitMm = 10;
  FacetSet set;
  FacetsOfMeshArrays(m, "m.glb", set, options);
  ASSERT_EQ(set.FacetCount, 3);
  EXPECT_EQ(set.FileUnitMm, 1000);
  // Metres into centimetres, +Y up turned into +Z up: (x, y, z) -> 100 (x, -z, y).
  const Point3 first = set.Facets[0].Corner1;
  EXPECT_EQ(first.x, static_cast<Real>(0.1f) * 100);
  EXPECT_EQ(first.y, -static_cast<Real>(0.3f) * 100);
  EXPECT_EQ(first.z, static_cast<Real>(0.2f) * 100);
}

TEST(MeshArrays, ReadADxfsFacesAsTheCommandDoes) {
  TempDir dir;
  const std::string dxf = dir.Write("m.dxf", DxfWithFaces(FacetedCylinderFaces(3, -2, 25, 0, 40, 24, 1)));
  FacetLoadOptions options;
  options.DrawingUnitMm = 10;
  options.DxfUnitMm = 25.4;
  FacetSet command, page;
  LoadMirrorFacets(dxf, command, options);
  LoadDxfFacets(dxf, page, options);
  EXPECT_EQ(command.FacetCount, 48);
  ExpectSameTables(command, page);
  options.Limit = 5;
  LoadDxfFacets(dxf, page, options);
  EXPECT_EQ(page.FacetCount, 5);
  EXPECT_TRUE(page.FacetOverflow);
}

}  // namespace anamorfosi
