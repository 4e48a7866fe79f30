#include "meshes/mesh_input.h"

#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <string>
#include <vector>

#include "testing/mesh_archive_samples.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

const std::vector<MeshTriangle> kTriangles = {{{0, 0, 0}, {4, 0, 0}, {4, 4, 1}}, {{4, 4, 1}, {0, 4, 1}, {0, 0, 0}}};

// Reads text through the IO system as Assimp would, under name; answers the
// names it refused.
std::vector<std::string> RefusedWhileReading(const std::string& name, const std::string& text, unsigned& meshes) {
  Assimp::Importer importer;
  auto* own = new OwnBytesIOSystem(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  importer.SetIOHandler(own);
  const aiScene* scene = importer.ReadFile(name, 0);
  meshes = scene ? scene->mNumMeshes : 0;
  return own->Refused();
}

bool Holds(const std::vector<std::string>& names, const std::string& part) {
  for (const std::string& n : names) {
    if (n.find(part) != std::string::npos) return true;
  }
  return false;
}

TEST(OwnBytesIOSystem, ServesItsOwnBytesAndRefusesEveryOtherName) {
  TempDir dir;
  // Files that exist beside the mesh and elsewhere: none may be read.
  const std::string secret = dir.Write("secret.bin", std::string(4096, 'S'));
  unsigned meshes = 0;
  // An OBJ's material libraries carry no geometry: refused, the mesh read.
  const std::string obj = "mtllib " + secret + "\nmtllib ../x.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n";
  std::vector<std::string> refused = RefusedWhileReading("mesh.obj", obj, meshes);
  EXPECT_EQ(meshes, 1u);
  EXPECT_TRUE(Holds(refused, secret));
  EXPECT_TRUE(Holds(refused, "x.mtl"));
  // A glTF's buffer named by a path: refused, and the file not read.
  refused = RefusedWhileReading("mesh.gltf", GltfOfTriangles(kTriangles, secret), meshes);
  EXPECT_EQ(meshes, 0u);
  EXPECT_TRUE(Holds(refused, secret));
  refused = RefusedWhileReading("mesh.glb", GlbOfTriangles(kTriangles, "../../etc/passwd"), meshes);
  EXPECT_EQ(meshes, 0u);
  EXPECT_TRUE(Holds(refused, "etc/passwd"));
  // Embedded in the file: read, nothing else asked for.
  refused = RefusedWhileReading("mesh.gltf", GltfOfTriangles(kTriangles), meshes);
  EXPECT_EQ(meshes, 1u);
  EXPECT_EQ(refused, std::vector<std::string>{});

  // Its own name only, and only for reading.
  const std::string text = "abc";
  OwnBytesIOSystem own("m.stl", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  EXPECT_TRUE(own.Exists("m.stl"));
  EXPECT_FALSE(own.Exists(secret.c_str()));
  EXPECT_EQ(own.Open("./m.stl"), nullptr);
  EXPECT_EQ(own.Open("m.stl", "wb"), nullptr);
  Assimp::IOStream* s = own.Open("m.stl", "rb");
  ASSERT_NE(s, nullptr);
  char got[8] = {};
  EXPECT_EQ(s->Read(got, 1, sizeof got), 3u);
  EXPECT_EQ(std::string(got), "abc");
  own.Close(s);
  EXPECT_EQ(own.Refused(), (std::vector<std::string>{secret, "./m.stl", "m.stl"}));
}

TEST(JsonNestingProblem, CountsTheNestingOfArraysAndObjectsOutsideStrings) {
  const std::string deep = std::string(101, '[') + std::string(101, ']');
  EXPECT_EQ(JsonNestingProblem(deep.data(), deep.size(), false),
            "its JSON nests 101 levels deep, and a glTF is read to 100 levels");
  const std::string fine = "{\"a\":[" + std::string(98, '{') + std::string(98, '}') + "]}";
  EXPECT_EQ(JsonNestingProblem(fine.data(), fine.size(), false), "");
  // Brackets in strings, escaped quotes included, are text.
  const std::string quoted = "{\"a\":\"\\\"" + std::string(500, '[') + "\"}";
  EXPECT_EQ(JsonNestingProblem(quoted.data(), quoted.size(), false), "");
  // A binary glTF: its first chunk is the JSON, the rest is data.
  const std::string glb = GlbOf("{\"a\":" + std::string(200, '[') + "}");
  EXPECT_NE(JsonNestingProblem(glb.data(), glb.size(), true), "");
  const std::string data = GlbOf("{}") + std::string(200, '[');
  EXPECT_EQ(JsonNestingProblem(data.data(), data.size(), true), "");
  const std::string shortGlb = "glTF";
  EXPECT_EQ(JsonNestingProblem(shortGlb.data(), shortGlb.size(), true), "");
}

TEST(ZipExpansionProblem, AddsWhatTheEntriesDeclare) {
  TempDir dir;
  WriteThreeMf(dir.File("m.3mf"), kTriangles, "millimeter", 3 << 20);
  const std::string zip = ReadBytes(dir.File("m.3mf"));
  auto problem = [](const std::string& z, unsigned long long bound, unsigned long long& expanded) {
    return ZipExpansionProblem(reinterpret_cast<const std::uint8_t*>(z.data()), z.size(), bound, expanded);
  };
  unsigned long long expanded = 0;
  EXPECT_EQ(problem(zip, 4 << 20, expanded), "");
  EXPECT_GT(expanded, 3ULL << 20);
  EXPECT_LT(expanded, (3ULL << 20) + 4096);
  EXPECT_EQ(problem(zip, 3 << 20, expanded), "its zip entries expand to more than 3 MiB");
  // A directory that declares 4 GiB for a small entry.
  EXPECT_EQ(problem(WithDeclaredSize(zip, "3D/3dmodel.model", 0xFFFFFFFFu), 1ULL << 30, expanded),
            "its zip entries expand to more than 1024 MiB");
  // An entry whose bytes are damaged (its check sum), or that is longer than
  // its directory says: Assimp stops on an assertion at either.
  std::string damaged = zip;
  damaged[damaged.find("_rels/.rels") + 11 + 40] ^= 0x10;
  EXPECT_EQ(problem(damaged, 4 << 20, expanded), "its zip entry \"_rels/.rels\" is damaged");
  EXPECT_EQ(problem(WithDeclaredSize(zip, "_rels/.rels", 20), 4 << 20, expanded),
            "its zip entry \"_rels/.rels\" is damaged");
  // Its model part named otherwise than _rels/.rels says (Assimp's assertion again).
  std::string renamed = zip;
  for (std::size_t at = renamed.find("3D/3dmodel.model"); at != std::string::npos; at = renamed.find("3D/3dmodel.model"))
    renamed.replace(at, 16, "3D/3dmodel.modex");
  EXPECT_EQ(problem(renamed, 4 << 20, expanded),
            "its model part \"3D/3dmodel.model\", named in _rels/.rels, is not in it");
  // Not a zip, or one cut short before its directory.
  EXPECT_EQ(problem("PK\3\4 not really", 1 << 20, expanded), "its zip directory cannot be read");
  EXPECT_EQ(problem(zip.substr(0, zip.size() - 30), 1 << 20, expanded), "its zip directory cannot be read");
}

TEST(ThreeMfUnitMm, TheModelsUnitAttribute) {
  EXPECT_EQ(ThreeMfUnitMm(ThreeMfModelHead("centimeter")), 10);
  EXPECT_EQ(ThreeMfUnitMm(ThreeMfModelHead("inch")), 25.4_r);
  EXPECT_EQ(ThreeMfUnitMm(ThreeMfModelHead("micron")), 0.001_r);
  EXPECT_EQ(ThreeMfUnitMm(ThreeMfModelHead("")), 1);
  EXPECT_EQ(ThreeMfUnitMm(ThreeMfModelHead("furlong")), 0);
  // Another attribute ending in "unit", and the <models> of another element, are not it.
  EXPECT_EQ(ThreeMfUnitMm("<models unit=\"inch\"/><model myunit=\"inch\" unit = 'meter'>"), 1000);
}

TEST(PrintableName, OneShortLine) {
  EXPECT_EQ(PrintableName("a\nb\x1b"), "a?b?");
  EXPECT_EQ(PrintableName(std::string(100, 'x')), std::string(80, 'x') + "...");
}

}  // namespace

}  // namespace anamorfosi
