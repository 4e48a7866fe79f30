// Hostile mirror meshes given to the built command, as the page's jobs give
// them: each is refused with one line and status 1, nothing written; and no
// file but the ones named on the command line is opened (strace).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "testing/mesh_archive_samples.h"
#include "testing/mesh_shapes.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

struct Ran {
  int Status = -1;
  std::string Out, Err;
};

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

class HostileMesh : public ::testing::Test {
 protected:
  void SetUp() override {
    picture = dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
    face = dir.Write("f.dxf", DxfWithFaces({{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}}}));
  }
  // The command on the mirror, under prefix (strace ...) when given.
  Ran Run(const std::string& mirror, const std::string& prefix = "") {
    const std::string command = prefix + Quoted(ANAMORFOSI_BINARY) + " generico " + Quoted(picture) + " --mirror " +
                                Quoted(mirror) + " --face " + Quoted(face) + " --eye 0,-300,250 --pixels 100 -o " +
                                Quoted(output) + " > " + Quoted(dir.File("out.txt")) + " 2> " +
                                Quoted(dir.File("err.txt"));
    Ran r;
    const int status = std::system(command.c_str());
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.Out = ReadBytes(dir.File("out.txt"));
    r.Err = ReadBytes(dir.File("err.txt"));
    return r;
  }
  void ExpectRefused(const std::string& mirror, const std::string& why) {
    SCOPED_TRACE(mirror);
    const Ran r = Run(mirror);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Err.rfind("anamorfosi: " + mirror + ": " + why, 0), 0u) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_FALSE(FileExists(output));
  }
  TempDir dir;
  std::string picture, face, output = dir.File("print.png");
  const std::vector<MeshTriangle> one = {{{0, 0, 0}, {2, 0, 0}, {0, 3, 1}}};
};

TEST_F(HostileMesh, FilesMadeToCrashHangOrFillTheReaderAreRefusedInOneLine) {
  // 20000 nodes nested in one another.
  std::string nodes = GltfOfTriangles(one);
  std::string chain = "\"nodes\":[";
  for (int i = 0; i < 20000; ++i) chain += "{\"children\":[" + std::to_string(i + 1) + "]},";
  chain += "{\"mesh\":0}]";
  const std::string oneNode = "\"nodes\":[{\"mesh\":0}]";
  nodes.replace(nodes.find(oneNode), oneNode.size(), chain);
  ExpectRefused(dir.Write("nodes.gltf", nodes), "the mesh reader failed on this GLTF file (it crashed");
  // 200000 nested arrays, as text and as a binary glTF.
  const std::string arrays = R"({"asset":{"version":"2.0"},"extras":)" + std::string(200000, '[') + "}";
  ExpectRefused(dir.Write("arrays.gltf", arrays), "not a readable GLTF mesh (its JSON nests 200001 levels deep");
  ExpectRefused(dir.Write("arrays.glb", GlbOf(arrays)), "not a readable GLB mesh (its JSON nests 200001 levels");
  // A 3MF of a few hundred kilobytes whose model expands to 300 MiB.
  WriteThreeMf(dir.File("bomb.3mf"), one, "millimeter", 300ULL << 20);
  ExpectRefused(dir.File("bomb.3mf"), "not a readable 3MF mesh (its zip entries expand to more than ");
  // A 3MF whose directory declares 4 GiB for its model.
  WriteThreeMf(dir.File("small.3mf"), one);
  ExpectRefused(dir.Write("huge.3mf", WithDeclaredSize(ReadBytes(dir.File("small.3mf")), "3D/3dmodel.model", 0xFFFFFFFFu)),
                "not a readable 3MF mesh (its zip entries expand to more than ");
  // A glTF and a binary glTF whose buffer is a file elsewhere.
  for (const std::string name : {"passwd.gltf", "passwd.glb"}) {
    const std::string uri = "../../../../../../etc/passwd";
    ExpectRefused(dir.Write(name, name.ends_with(".glb") ? GlbOfTriangles(one, uri) : GltfOfTriangles(one, uri)),
                  "its geometry lies in another file (\"../../../../../../etc/passwd\"), which is not read");
  }
  // A well formed 3MF: read.
  WriteThreeMf(dir.File("fine.3mf"), TrianglesOfFaces(OnFloatGrid(FacetedCylinderFaces(0, 0, 25, 0, 60, 72, 6))));
  const Ran fine = Run(dir.File("fine.3mf"));
  EXPECT_TRUE(fine.Status == 0 || fine.Status == 3) << fine.Err;
  EXPECT_TRUE(FileExists(output));
}

TEST_F(HostileMesh, NoFileButTheNamedOnesIsOpened) {
  if (std::system("command -v strace > /dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  // Secret files beside the mesh and above it.
  const std::string secret = dir.Write("secret.txt", "mirror 1 2 3\n");
  std::filesystem::create_directory(dir.File("sub"));
  const std::string obj = "mtllib ../secret.txt\nmtllib " + secret + "\n" + ObjOfFaces(OnFloatGrid(FacetedCylinderFaces(0, 0, 25, 0, 60, 72, 6)));
  const std::vector<std::string> mirrors = {dir.Write("sub/m.obj", obj),
                                            dir.Write("sub/m.gltf", GltfOfTriangles(one, "../secret.txt")),
                                            dir.Write("sub/m.glb", GlbOfTriangles(one, secret))};
  for (const std::string& mirror : mirrors) {
    SCOPED_TRACE(mirror);
    const std::string log = dir.File("trace.txt");
    // LeakSanitizer (a sanitizer build) refuses to run under ptrace.
    const Ran r = Run(mirror, "ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" strace -f -qq -e trace=%file -o " +
                                  Quoted(log) + " ");
    // The OBJ is read without its materials; the glTFs are refused.
    EXPECT_EQ(r.Status == 1, !mirror.ends_with(".obj")) << r.Err;
    const std::string trace = ReadBytes(log);
    ASSERT_NE(trace.find(mirror), std::string::npos) << "strace saw no file";
    EXPECT_EQ(trace.find("secret"), std::string::npos) << trace;
    // Every name in the scratch folder that the processes asked about.
    std::set<std::string> asked;
    const std::string root = dir.path().string();
    for (std::size_t at = trace.find(root); at != std::string::npos; at = trace.find(root, at + 1)) {
      asked.insert(trace.substr(at, trace.find('"', at) - at));
    }
    for (const std::string& name : asked) {
      EXPECT_TRUE(name == root || name == picture || name == face || name == mirror || name == output ||
                  name.rfind(output, 0) == 0 || name == dir.File("out.txt") || name == dir.File("err.txt") ||
                  name == log)
          << name;
    }
  }
}

}  // namespace

}  // namespace anamorfosi
