#include "meshes/mesh_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "meshes/child_process.h"
#include "core/errors.h"
#include "testing/mesh_archive_samples.h"
#include "testing/mesh_samples.h"
#include "testing/mesh_shapes.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

bool Same(Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// A faceted cylinder and a faceted cone on the float grid, quadrilaterals and
// the cone's triangles at its apex.
std::vector<Face> Mirrors() {
  std::vector<Face> faces = FacetedCylinderFaces(0, 0, 25, 0, 60, 24, 3);
  const std::vector<Face> cone = FacetedConeFaces(70, 5, 30, 50, 20, 3);
  faces.insert(faces.end(), cone.begin(), cone.end());
  return OnFloatGrid(faces);
}

FacetSet Load(const std::string& file, const FacetLoadOptions& options = {}) {
  FacetSet set;
  LoadMirrorFacets(file, set, options);
  return set;
}

void ExpectSameTable(const FacetSet& a, const FacetSet& b) {
  ASSERT_EQ(a.FacetCount, b.FacetCount);
  for (int i = 0; i < a.FacetCount; ++i) {
    const MirrorFacet &f = a.Facets[i], &g = b.Facets[i];
    ASSERT_TRUE(Same(f.Corner1, g.Corner1) && Same(f.Corner2, g.Corner2) && Same(f.Corner3, g.Corner3)) << "facet " << i;
    ASSERT_TRUE(f.Plane.nx == g.Plane.nx && f.Plane.ny == g.Plane.ny && f.Plane.nz == g.Plane.nz && f.Plane.d == g.Plane.d);
  }
}

TEST(MeshFileKindOf, BytesFirstThenTheName) {
  TempDir dir;
  const std::vector<MeshTriangle> tri = TrianglesOfFaces(Mirrors());
  // Content wins over a misleading name, a binary STL whose header says "solid" included.
  EXPECT_EQ(MeshFileKindOf(dir.Write("a.obj", BinaryStl(tri))).Format, MeshFormat::kStl);
  EXPECT_EQ(MeshFileKindOf(dir.Write("b.dxf", BinaryStl(tri, "solid but binary"))).Format, MeshFormat::kStl);
  EXPECT_EQ(MeshFileKindOf(dir.Write("c.txt", AsciiStl(tri))).Format, MeshFormat::kStl);
  EXPECT_EQ(MeshFileKindOf(dir.Write("d.stl", PlyOfFaces(Mirrors(), true))).Format, MeshFormat::kPly);
  EXPECT_EQ(MeshFileKindOf(dir.Write("e.stl", DxfWithFaces(Mirrors()))).Format, MeshFormat::kDxf);
  // No telling bytes: the extension, when Assimp reads it and it is not .dxf.
  const MeshFileKind obj = MeshFileKindOf(dir.Write("f.OBJ", ObjOfFaces(Mirrors())));
  EXPECT_EQ(obj.Format, MeshFormat::kObj);
  EXPECT_FALSE(obj.ByContent);
  EXPECT_EQ(MeshFileKindOf(dir.Write("g.txt", ObjOfFaces(Mirrors()))).Format, MeshFormat::kDxf);
  EXPECT_EQ(MeshFileKindOf(dir.Write("h.dxf", "3DFACE\r\n")).Format, MeshFormat::kDxf);
  // A missing file goes by its name, and its reader reports it.
  EXPECT_EQ(MeshFileKindOf(dir.File("missing.ply")).Format, MeshFormat::kPly);
  FacetSet set;
  try {
    LoadMirrorFacets(dir.File("missing.ply"), set);
    ADD_FAILURE() << "a missing file was read";
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kFileNotFound);
  }
}

TEST(LoadMeshFacets, EveryFormatGivesTheTableOfTheDxf) {
  TempDir dir;
  const std::vector<Face> faces = Mirrors();
  const std::vector<MeshTriangle> tri = TrianglesOfFaces(faces);
  const FacetSet dxf = Load(dir.Write("m.dxf", DxfWithFaces(faces)));
  ASSERT_EQ(dxf.FacetCount, 24 * 3 * 2 + 20 * 2 * 2 + 20);
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"m.stl", BinaryStl(tri)},
           {"ascii.stl", AsciiStl(tri)},
           {"m.obj", ObjOfFaces(faces)},
           {"m.ply", PlyOfFaces(faces, false)},
           {"binary.ply", PlyOfFaces(faces, true) + "\n"},
           {"m.off", CoffOfFaces(faces)},
           {"stl_named.obj", BinaryStl(tri)}}) {
    SCOPED_TRACE(name);
    const FacetSet mesh = Load(dir.Write(name, text));
    ExpectSameTable(dxf, mesh);
    EXPECT_EQ(mesh.FileUnitMm, 0);
  }
}

TEST(LoadMeshFacets, QuadrilateralsAndPolygonsAreTriangulatedKeepingTheirTurn) {
  TempDir dir;
  const std::string obj =
      "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 0 4 0\n"            // convex: split 3 to 1
      "v 10 0 0\nv 11 3 0\nv 14 0 0\nv 11 8 0\n"        // bent in at its second corner
      "v 20 0 0\nv 22 0 0\nv 23 2 0\nv 22 4 0\nv 20 4 0\nv 19 2 0\n"  // hexagon
      "f 1 2 3 4\nf 5 6 7 8\nf 9 10 11 12 13 14\nf 1 2 3\n";
  const FacetSet set = Load(dir.Write("p.obj", obj));
  ASSERT_EQ(set.FacetCount, 2 + 2 + 4 + 1);
  const auto& f = set.Facets;
  // The convex quadrilateral as a 3DFACE: (1, 2, 3) and (3, 4, 1).
  EXPECT_TRUE(Same(f[0].Corner1, {0, 0, 0}) && Same(f[0].Corner2, {4, 0, 0}) && Same(f[0].Corner3, {4, 4, 0}));
  EXPECT_TRUE(Same(f[1].Corner1, {4, 4, 0}) && Same(f[1].Corner2, {0, 4, 0}) && Same(f[1].Corner3, {0, 0, 0}));
  // Bent in at (11, 3): the diagonal runs from it, (2, 3, 4) and (4, 1, 2).
  EXPECT_TRUE(Same(f[2].Corner1, {11, 3, 0}) && Same(f[2].Corner2, {14, 0, 0}) && Same(f[2].Corner3, {11, 8, 0}));
  EXPECT_TRUE(Same(f[3].Corner1, {11, 8, 0}) && Same(f[3].Corner2, {10, 0, 0}) && Same(f[3].Corner3, {11, 3, 0}));
  // Every triangle turns as its polygon does (counterclockwise from +z), and
  // the hexagon's four cover its area, 12, with corners of its own.
  Real hexagonArea = 0;
  for (int i = 0; i < set.FacetCount; ++i) {
    const Point3 a = f[i].Corner1, b = f[i].Corner2, c = f[i].Corner3;
    const Real turn = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    EXPECT_GT(turn, 0) << "facet " << i;
    if (i >= 4 && i < 8) {
      hexagonArea += turn / 2;
      for (const Point3& p : {a, b, c}) EXPECT_TRUE(p.x >= 19 && p.x <= 23) << "facet " << i;
    }
  }
  EXPECT_NEAR(static_cast<double>(hexagonArea), 12.0, 1e-9);
  // The triangle face comes last, as in the file.
  EXPECT_TRUE(Same(f[8].Corner1, {0, 0, 0}) && Same(f[8].Corner3, {4, 4, 0}));
}

// A regression from the fuzzer: Assimp splits this bent pentagon into one
// triangle, not three, so the walk beside the original faces would take the
// quadrilateral's triangles for the pentagon's and read the quadrilateral's
// from the points after it, past their one corner. The triangles Assimp made
// are kept as they are instead.
TEST(LoadMeshFacets, TrianglesThatDoNotFollowTheFacesAreKeptAsMade) {
  TempDir dir;
  const FacetSet set = Load(dir.Write("bent.obj", "v 0 4 9\nv 4 0 0\nv 4 4 1\nv 0 4 1\nv 1 1 0\n"
                                                  "f 1 2 3 4 5\nf 1 5 3 4\nf 1\nf 1\n"));
  ASSERT_EQ(set.FacetCount, 3);
  const auto& f = set.Facets;
  EXPECT_TRUE(Same(f[0].Corner1, {1, 1, 0}) && Same(f[0].Corner2, {0, 4, 9}) && Same(f[0].Corner3, {4, 0, 0}));
  EXPECT_TRUE(Same(f[1].Corner1, {0, 4, 9}) && Same(f[1].Corner2, {1, 1, 0}) && Same(f[1].Corner3, {4, 4, 1}));
  EXPECT_TRUE(Same(f[2].Corner1, {0, 4, 9}) && Same(f[2].Corner2, {4, 4, 1}) && Same(f[2].Corner3, {0, 4, 1}));
}

TEST(LoadMeshFacets, TheTablesLimitHoldsForMeshesToo) {
  TempDir dir;
  // 25001 quadrilaterals: 50002 triangles, two more than the program's table.
  std::vector<Face> faces = OnFloatGrid(FacetedCylinderFaces(0, 0, 1000, 0, 60, 25001, 1));
  const std::string stl = dir.Write("big.stl", BinaryStl(TrianglesOfFaces(faces)));
  const FacetSet capped = Load(stl);
  EXPECT_EQ(capped.FacetCount, MaxFacets);
  EXPECT_TRUE(capped.FacetOverflow);
  FacetLoadOptions open;
  open.Limit = 100000;
  const FacetSet whole = Load(stl, open);
  EXPECT_EQ(whole.FacetCount, 50002);
  EXPECT_FALSE(whole.FacetOverflow);
}

// What a refused file gives: the problem, and one line naming the file.
MeshProblem Refusal(const std::string& file) {
  FacetSet set;
  try {
    LoadMirrorFacets(file, set);
  } catch (const MeshError& e) {
    const std::string line = e.what();
    EXPECT_NE(line.find(file), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    return e.Problem;
  }
  ADD_FAILURE() << file << " was read, " << set.FacetCount << " triangles";
  return MeshProblem::kNotRead;
}

TEST(LoadMeshFacets, BadFilesAreRefusedNamingThem) {
  TempDir dir;
  const std::vector<Face> faces = Mirrors();
  const std::string stl = BinaryStl(TrianglesOfFaces(faces));
  const std::string ascii = AsciiStl(TrianglesOfFaces(faces));
  const std::string ply = PlyOfFaces(faces, false), binaryPly = PlyOfFaces(faces, true);
  EXPECT_EQ(Refusal(dir.Write("cut.stl", stl.substr(0, stl.size() - 7))), MeshProblem::kNotRead);
  EXPECT_EQ(Refusal(dir.Write("cut_ascii.stl", ascii.substr(0, ascii.size() / 2))), MeshProblem::kNotRead);
  EXPECT_EQ(Refusal(dir.Write("index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n")), MeshProblem::kNotRead);
  EXPECT_EQ(Refusal(dir.Write("index.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                           "property float y\nproperty float z\nelement face 1\n"
                                           "property list uchar int vertex_indices\nend_header\n"
                                           "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n")),
            MeshProblem::kBadIndex);
  // PLYs whose headers count more faces, or fewer vertices, than they hold.
  const std::size_t faceCount = ply.find("element face ") + 13;
  const std::string moreFaces = ply.substr(0, faceCount) + "1" + ply.substr(faceCount);
  EXPECT_EQ(Refusal(dir.Write("more_faces.ply", moreFaces)), MeshProblem::kBadCounts);
  const std::size_t vertexCount = ply.find("element vertex ") + 15;
  const std::string fewerVertices = ply.substr(0, vertexCount) + "1" + ply.substr(ply.find('\n', vertexCount));
  EXPECT_EQ(Refusal(dir.Write("fewer_vertices.ply", fewerVertices)), MeshProblem::kBadCounts);
  EXPECT_EQ(Refusal(dir.Write("cut.ply", binaryPly.substr(0, binaryPly.size() - 3))), MeshProblem::kBadCounts);
  EXPECT_EQ(Refusal(dir.Write("long.ply", binaryPly + "\x03\x01")), MeshProblem::kBadCounts);
  // Headers with lines PLY has not: a second format line kept Assimp busy
  // for good (a regression from the fuzzer), and so did stray words.
  const std::size_t header = ply.find('\n') + 1;
  EXPECT_EQ(Refusal(dir.Write("two_formats.ply", ply.substr(0, header) + "format ascii 1.0\n" + ply.substr(header))),
            MeshProblem::kBadCounts);
  EXPECT_EQ(Refusal(dir.Write("stray.ply", ply.substr(0, header) + "EC\r\n" + ply.substr(header))),
            MeshProblem::kBadCounts);
  EXPECT_EQ(Refusal(dir.Write("format.ply", "ply\nformat binary_little_endiaflo 0\nend_header\n")),
            MeshProblem::kBadCounts);
  // No triangle at all.
  EXPECT_EQ(Refusal(dir.Write("none.stl", BinaryStl({}))), MeshProblem::kNotRead);
  EXPECT_EQ(Refusal(dir.Write("none.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n")), MeshProblem::kNoTriangles);
  // Coordinates that are not numbers.
  EXPECT_EQ(Refusal(dir.Write("nan.obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n")), MeshProblem::kNotFinite);
  std::vector<MeshTriangle> infinite = TrianglesOfFaces(faces);
  infinite[7].B.z = std::numeric_limits<Real>::infinity();
  EXPECT_EQ(Refusal(dir.Write("inf.stl", BinaryStl(infinite))), MeshProblem::kNotFinite);
}

// Assimp reads an OFF line by line with no check of its counts: a face
// count beyond the faces there are, or a face without a corner count, drop
// faces or (a regression from the fuzzer, two such lines) wrap its face count
// and crash; a missing or out-of-range vertex number becomes vertex 0 or the
// last vertex. Each is refused before Assimp reads the file.
TEST(LoadMeshFacets, OffFilesAreCheckedLineByLine) {
  TempDir dir;
  const std::string square = "OFF\n4 1 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\n";
  auto problem = [&](const std::string& text) {
    const std::string file = dir.Write("m.off", text);
    FacetSet set;
    try {
      LoadMirrorFacets(file, set);
    } catch (const MeshError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(file + ": OFF: ", 0), 0u) << e.what();
      return e.Problem == MeshProblem::kBadCounts ? e.Detail : "not a count problem: " + e.Detail;
    }
    return std::string("read, ") + std::to_string(set.FacetCount) + " facets";
  };
  EXPECT_EQ(problem(square + "4 0 1 2 3\n"), "read, 2 facets");
  EXPECT_EQ(problem("\xEF\xBB\xBF# a quad\nNOFF 4 1 0 0 0 0 0 0 1\n4 0 0 0 0 1\n4 4 1 0 0 1\n0 4 1 0 0 1 # c\n"
                    "4 0 1 2 3\n\n\n"),
            "read, 2 facets");
  EXPECT_EQ(problem("OFF\n4 1 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\nrd\005_nt vertex 5\nproperty float x\n"
                    "propnd_head2 3\n"),
            "OFF: face 0 does not start with a count of corners from 1 to 9");
  EXPECT_EQ(problem(square + "x\nfoo\n"), "OFF: face 0 does not start with a count of corners from 1 to 9");
  EXPECT_EQ(problem(square + "10 0 1 2 3 0 1 2 3 0 1\n"), "OFF: face 0 does not start with a count of corners from 1 to 9");
  EXPECT_EQ(problem(square + "3 0 1\n"), "OFF: face 0 has fewer vertex numbers than its count");
  EXPECT_EQ(problem(square + "3 0 1 4\n"), "OFF: face 0 names vertex 4 of 4");
  EXPECT_EQ(problem(square + "3 0 1 2\n3 0 2 3\n"), "OFF: its data goes on past the 4 vertices and 1 face its header declares");
  EXPECT_EQ(problem("OFF\n4 2 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\n3 0 1 2\n"),
            "OFF: its data ends before the 4 vertices and 2 faces its header declares");
  EXPECT_EQ(problem("OFF\n4 1 0\n0 0 0\n4 0\n4 4 1\n0 4 1\n3 0 1 2\n"), "OFF: vertex 1 does not start with 3 numbers");
  EXPECT_EQ(problem("OFF\n4 1 0\n0 0 0\n# c\n4 0 0\n4 4 1\n0 4 1\n3 0 1 2\n"), "OFF: vertex 1 does not start with 3 numbers");
  EXPECT_EQ(problem("OFF\n4 1 0\n0 0 0\n4 0 0\n" + std::string(5000, ' ') + "4 4 1\n0 4 1\n3 0 1 2\n"),
            "OFF: its data line 3 is longer than 4000 characters");
  EXPECT_EQ(problem("4 1 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\n3 0 1 2\n"), "OFF: it does not begin with the word OFF");
  EXPECT_EQ(problem("OFF\n4000000000 1 0\n0 0 0\n"), "OFF: its header does not give the counts of vertices, faces and edges as whole numbers");
  EXPECT_EQ(problem("OFF\n400000000 1 0\n0 0 0\n"), "OFF: its data ends before the 400000000 vertices and 1 face its header declares");
  EXPECT_EQ(problem(square.substr(0, 12) + std::string("\0", 1) + square.substr(12) + "3 0 1 2\n"),
            "OFF: it holds a NUL byte: not a text OFF file");
}

TEST(LoadMeshFacets, AFormatsStatedUnitIsScaledIntoDrawingUnits) {
  TempDir dir;
  // One triangle of a glTF (metres and +Y up by the format's definition):
  // three float corners and three byte indices in a buffer embedded in it
  // (a buffer in a file beside it is not read, below).
  const float corners[9] = {0, 0, 0, 0.5f, 0, 0, 0, 0.25f, 0.125f};
  const std::string buffer = std::string(reinterpret_cast<const char*>(corners), sizeof corners) + std::string("\0\1\2", 3);
  dir.Write("mirror.bin", buffer);
  const std::string gltf =
      R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
      R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"mode":4}]}],)"
      R"("buffers":[{"byteLength":39,"uri":"data:application/octet-stream;base64,)" +
      Base64(buffer) + R"("}],)"
      R"("bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":3}],)"
      R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[0.5,0.25,0.125]},)"
      R"({"bufferView":1,"componentType":5121,"count":3,"type":"SCALAR"}]})";
  const std::string file = dir.Write("mirror.gltf", gltf);
  FacetLoadOptions cm;
  cm.DrawingUnitMm = 10;
  const FacetSet inCm = Load(file, cm);
  ASSERT_EQ(inCm.FacetCount, 1);
  EXPECT_EQ(inCm.FileUnitMm, 1000);
  // Its up, +Y, turned to the sheet's +Z.
  EXPECT_TRUE(Same(inCm.Facets[0].Corner2, {50, 0, 0}));
  EXPECT_TRUE(Same(inCm.Facets[0].Corner3, {0, -12.5_r, 25}));
  // Without drawing units (the program) the numbers keep their size.
  const FacetSet asIs = Load(file);
  EXPECT_TRUE(Same(asIs.Facets[0].Corner3, {0, -0.125_r, 0.25_r}));
  // An STL states none: the drawing units apply.
  const FacetSet stl = Load(dir.Write("m.stl", BinaryStl({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}})), cm);
  EXPECT_EQ(stl.FileUnitMm, 0);
  EXPECT_TRUE(Same(stl.Facets[0].Corner2, {1, 0, 0}));
  // A 3MF names its unit, millimetres when it does not.
  const std::vector<MeshTriangle> one = {{{0, 0, 0}, {2, 0, 0}, {0, 3, 1}}};
  WriteThreeMf(dir.File("inch.3mf"), one, "inch");
  const FacetSet inch = Load(dir.File("inch.3mf"), cm);
  EXPECT_EQ(inch.FileUnitMm, 25.4_r);
  ASSERT_EQ(inch.FacetCount, 1);
  EXPECT_TRUE(Same(inch.Facets[0].Corner2, {2 * (25.4_r / 10), 0, 0}));
  WriteThreeMf(dir.File("plain.3mf"), one, "");
  EXPECT_EQ(Load(dir.File("plain.3mf"), cm).FileUnitMm, 1);
  // The same glTF with its buffer in the file beside it: refused.
  const std::string beside = gltf.substr(0, gltf.find("data:")) + "mirror.bin" + gltf.substr(gltf.find("\"}]"));
  EXPECT_EQ(Refusal(dir.Write("beside.gltf", beside)), MeshProblem::kOtherFile);
}

TEST(LoadMeshFacets, GltfAnd3mfGiveTheirTriangles) {
  TempDir dir;
  const std::vector<Face> faces = Mirrors();
  const std::vector<MeshTriangle> tri = TrianglesOfFaces(faces);
  const FacetSet dxf = Load(dir.Write("m.dxf", DxfWithFaces(faces)));
  WriteThreeMf(dir.File("m.3mf"), tri);
  ExpectSameTable(dxf, Load(dir.File("m.3mf")));
  // A glTF's +Y up is turned to +Z: (x, y, z) is read as (x, -z, y).
  std::vector<MeshTriangle> yUp = tri;
  for (MeshTriangle& t : yUp) {
    for (Point3* p : {&t.A, &t.B, &t.C}) *p = {p->x, p->z, -p->y};
  }
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"m.gltf", GltfOfTriangles(yUp)}, {"m.glb", GlbOfTriangles(yUp)}, {"glb_named.stl", GlbOfTriangles(yUp)}}) {
    SCOPED_TRACE(name);
    ExpectSameTable(dxf, Load(dir.Write(name, text)));
  }
}

// The table a child process sends is the table read in this process: every
// corner to the last bit, the limit and the unit.
TEST(LoadMeshFacets, TheReadersChildGivesTheTableReadInProcess) {
  TempDir dir;
  const std::vector<Face> faces = OnFloatGrid(FacetedCylinderFaces(0, 0, 100, 0, 60, 4000, 3));
  const std::string gltf = dir.Write("m.gltf", GltfOfTriangles(TrianglesOfFaces(faces)));
  for (const int limit : {100000, 10001}) {
    FacetLoadOptions options;
    options.Limit = limit;
    options.DrawingUnitMm = 25.4_r;
    const FacetSet child = Load(gltf, options);
    options.MeshInProcess = true;
    const FacetSet here = Load(gltf, options);
    ExpectSameTable(here, child);
    EXPECT_EQ(child.FacetCount, std::min(limit, 24000));
    EXPECT_EQ(child.FacetOverflow, limit < 24000);
    EXPECT_EQ(here.FacetOverflow, child.FacetOverflow);
    EXPECT_EQ(child.FileUnitMm, 1000);
  }
  // A refusal travels whole too.
  const std::string bad = dir.Write("index.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                                 "property float y\nproperty float z\nelement face 1\n"
                                                 "property list uchar int vertex_indices\nend_header\n"
                                                 "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n");
  FacetSet set;
  try {
    LoadMirrorFacets(bad, set);
    ADD_FAILURE() << "read";
  } catch (const MeshError& e) {
    EXPECT_EQ(std::string(e.what()), bad + ": face 1 names vertex 4 of a mesh of 3 vertices");
    EXPECT_EQ(e.Problem, MeshProblem::kBadIndex);
  }
}

// A glTF's buffer, an OBJ's material library: other files, never read, and
// the message the same whether they exist or not.
TEST(LoadMeshFacets, AMeshReadsNothingButItsOwnBytes) {
  TempDir dir;
  const std::vector<MeshTriangle> one = {{{0, 0, 0}, {2, 0, 0}, {0, 3, 1}}};
  dir.Write("there.bin", std::string(1 << 12, '\1'));
  for (int exists = 0; exists < 2; ++exists) {
    const std::string uri = exists ? "there.bin" : "not_there.bin";
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"m.gltf", GltfOfTriangles(one, uri)}, {"m.glb", GlbOfTriangles(one, uri)}}) {
      FacetSet set;
      const std::string file = dir.Write(name, text);
      try {
        LoadMirrorFacets(file, set);
        ADD_FAILURE() << name << " was read";
      } catch (const MeshError& e) {
        EXPECT_EQ(e.Problem, MeshProblem::kOtherFile);
        EXPECT_EQ(std::string(e.what()), file + ": its geometry lies in another file (\"" + uri +
                                             "\"), which is not read: a mirror file must hold all its data (a "
                                             "glTF's buffers as data: URIs, or a .glb)");
      }
    }
  }
  // An OBJ's materials carry no geometry: the mesh is read without them.
  const std::string obj = dir.Write("m.obj", "mtllib there.bin\nmtllib /etc/passwd\nv 0 0 0\nv 2 0 0\nv 0 3 1\n"
                                             "usemtl x\nf 1 2 3\n");
  EXPECT_EQ(Load(obj).FacetCount, 1);
}

TEST(LoadMeshFacets, FormatsAMirrorIsNotReadFromAreRefused) {
  TempDir dir;
  for (const std::string name : {"m.fbx", "m.dae", "m.3ds", "m.blend"}) {
    const std::string file = dir.Write(name, "solid? no: any bytes");
    EXPECT_EQ(MeshFileKindOf(file).Format, MeshFormat::kRefused) << name;
    EXPECT_EQ(Refusal(file), MeshProblem::kNotAccepted) << name;
  }
  FacetSet set;
  try {
    LoadMirrorFacets(dir.File("m.fbx"), set);
  } catch (const MeshError& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("m.fbx") + ": a mirror is not read from FBX files, only from a DXF "
                                                          "of 3DFACEs or an STL, OBJ, PLY, OFF, glTF, GLB or 3MF mesh");
  }
  // A name Assimp does not read is a DXF, as always.
  EXPECT_EQ(MeshFileKindOf(dir.Write("m.txt", "0\nEOF\n")).Format, MeshFormat::kDxf);
}

// What a refusal of the reader's says: the file, and how the reader ended.
std::string ReaderRefusal(const std::string& file) {
  FacetSet set;
  try {
    LoadMirrorFacets(file, set);
  } catch (const MeshError& e) {
    const std::string line = e.what();
    EXPECT_EQ(line.rfind(file + ": ", 0), 0u) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    EXPECT_EQ(set.FacetCount, 0);
    return e.Detail;
  }
  return "read, " + std::to_string(set.FacetCount) + " triangles";
}

// Files made to crash Assimp, overflow its stack or fill the memory: each is
// refused in one line, and the process that asked goes on.
TEST(LoadMeshFacets, HostileFilesAreRefusedInOneLine) {
  TempDir dir;
  const std::vector<MeshTriangle> one = {{{0, 0, 0}, {2, 0, 0}, {0, 3, 1}}};
  // 20000 nodes, each the child of the one before: Assimp recurses down them.
  std::string gltf = GltfOfTriangles(one);
  std::string nodes = "\"nodes\":[";
  for (int i = 0; i < 20000; ++i) nodes += "{\"children\":[" + std::to_string(i + 1) + "]},";
  nodes += "{\"mesh\":0}]";
  const std::string oneNode = "\"nodes\":[{\"mesh\":0}]";
  gltf.replace(gltf.find(oneNode), oneNode.size(), nodes);
  EXPECT_EQ(ReaderRefusal(dir.Write("nodes.gltf", gltf)).rfind("the mesh reader failed on this GLTF file (it crashed", 0),
            0u);
  // 200000 nested arrays: Assimp's JSON parser recurses once a level.
  const std::string arrays = "{\"asset\":{\"version\":\"2.0\"},\"extras\":" + std::string(200000, '[') + "}";
  EXPECT_EQ(ReaderRefusal(dir.Write("arrays.gltf", arrays)),
            "its JSON nests 200001 levels deep, and a glTF is read to 100 levels");
  EXPECT_EQ(ReaderRefusal(dir.Write("arrays.glb", GlbOf(arrays))),
            "its JSON nests 200001 levels deep, and a glTF is read to 100 levels");
  // A 3MF whose model expands from a few hundred kilobytes to 200 MiB.
  WriteThreeMf(dir.File("bomb.3mf"), one, "millimeter", 200ULL << 20);
  EXPECT_LT(ReadBytes(dir.File("bomb.3mf")).size(), 1u << 20);
  EXPECT_EQ(ReaderRefusal(dir.File("bomb.3mf")).rfind("its zip entries expand to more than ", 0), 0u);
  // A 3MF whose directory declares an entry of 4 GiB.
  WriteThreeMf(dir.File("small.3mf"), one);
  const std::string small = ReadBytes(dir.File("small.3mf"));
  EXPECT_EQ(ReaderRefusal(dir.Write("huge.3mf", WithDeclaredSize(small, "3D/3dmodel.model", 0xFFFFFFFFu)))
                .rfind("its zip entries expand to more than ", 0),
            0u);
  // A 3MF of 44 MiB of vertices, within what its entries may declare (the
  // file is 100 kB), whose parsing runs out of the reader's memory.
  if (ChildMemoryBoundApplies()) {
    WriteThreeMf(dir.File("vertices.3mf"), one, "millimeter", 44ULL << 20, "<vertex x=\"0\" y=\"0\" z=\"0\"/>");
    EXPECT_EQ(ReaderRefusal(dir.File("vertices.3mf")),
              "the mesh reader failed on this 3MF file (it ran out of the 192 MiB of memory it may use)");
  }
  // Every byte of its directory and of its model's local header changed in
  // turn: a table, or one line.
  const std::size_t directory = small.find("PK\1\2");
  const std::size_t local = small.find("PK\3\4", small.find("3D/3dmodel.model") - 40);
  ASSERT_NE(directory, std::string::npos);
  int refused = 0, read = 0;
  for (const std::size_t from : {local, directory}) {
    for (std::size_t at = from; at < std::min(small.size(), from + 120); ++at) {
      std::string bad = small;
      bad[at] = static_cast<char>(bad[at] ^ 0xA5);
      const std::string said = ReaderRefusal(dir.Write("bad.3mf", bad));
      (said.rfind("read, ", 0) == 0 ? read : refused)++;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(read + refused, 200);
}

}  // namespace

}  // namespace anamorfosi

namespace anamorfosi {

// The normals an OBJ stores at its corners come with their triangles, in the
// order the quadrilaterals are split, read in the child or in this process;
// only when asked for, and never an STL's, which are its facets' own.
TEST(LoadMeshFacets, TheNormalsAFileStoresComeWithTheirCorners) {
  TempDir dir;
  const std::string obj = dir.Write("n.obj",
                                    "v 0 0 0\nv 10 0 0\nv 10 10 1\nv 0 10 1\nv 20 0 0\n"
                                    "vn 0 0 2\nvn 0 0.6 0.8\nvn 0.6 0 0.8\nvn 0 -0.6 0.8\nvn -0.6 0 0.8\n"
                                    "f 1//1 2//2 3//3 4//4\nf 2//2 5//5 3//3\n");
  FacetLoadOptions asked;
  asked.Normals = true;
  const Point3 n[5] = {{0, 0, 1}, {0, 0.6_r, 0.8_r}, {0.6_r, 0, 0.8_r}, {0, -0.6_r, 0.8_r}, {-0.6_r, 0, 0.8_r}};
  auto near = [](Point3 a, Point3 b) { return Distance3(a, b) < 1e-7_r; };  // the file's floats
  for (const bool inProcess : {false, true}) {
    SCOPED_TRACE(inProcess ? "in process" : "in the child");
    asked.MeshInProcess = inProcess;
    const FacetSet set = Load(obj, asked);
    ASSERT_EQ(set.FacetCount, 3);
    ASSERT_EQ(set.FileNormals.size(), 3u);
    // The quadrilateral as corners 1 2 3 and 3 4 1, then the triangle; each made a unit vector.
    const int corners[3][3] = {{0, 1, 2}, {2, 3, 0}, {1, 4, 2}};
    for (int f = 0; f < 3; ++f) {
      EXPECT_TRUE(near(set.FileNormals[f].N1, n[corners[f][0]])) << f;
      EXPECT_TRUE(near(set.FileNormals[f].N2, n[corners[f][1]])) << f;
      EXPECT_TRUE(near(set.FileNormals[f].N3, n[corners[f][2]])) << f;
    }
  }
  EXPECT_TRUE(Load(obj).FileNormals.empty());
  // An OBJ without them, and an STL of the same triangles.
  EXPECT_TRUE(Load(dir.Write("plain.obj", "v 0 0 0\nv 10 0 0\nv 10 10 1\nf 1 2 3\n"), asked).FileNormals.empty());
  const FacetSet stl =
      Load(dir.Write("n.stl", BinaryStl({{{0, 0, 0}, {10, 0, 0}, {10, 10, 1}}})), asked);
  EXPECT_EQ(stl.FacetCount, 1);
  EXPECT_TRUE(stl.FileNormals.empty());
}

}  // namespace anamorfosi
