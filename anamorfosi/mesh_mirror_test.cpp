// Mirror meshes end to end: a faceted cylinder and a faceted cone saved as
// DXF, binary and ASCII STL, OBJ and PLY give the same bytes from generico and
// from the anamorfosi command; bad meshes stop both with one line and no file;
// the command takes more triangles than the program's table, up to what its
// memory allows.
#include <gtest/gtest.h>

#include <sstream>

#include "anamorfosi/command.h"
#include "generico/generico_program.h"
#include "testing/mesh_archive_samples.h"
#include "testing/mesh_samples.h"
#include "testing/mesh_shapes.h"
#include "pipeline/pipeline_files.h"
#include "pipeline/print.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

struct Saved {
  std::string Name, Text;
};

// The mirror in every format, coordinates on the float grid.
std::vector<Saved> EveryFormat(const std::vector<Face>& faces) {
  const std::vector<MeshTriangle> tri = TrianglesOfFaces(faces);
  return {{"m.dxf", DxfWithFaces(faces)},         {"m.stl", BinaryStl(tri)},
          {"ascii.stl", AsciiStl(tri)},           {"m.obj", ObjOfFaces(faces)},
          {"m.ply", PlyOfFaces(faces, false)},    {"binary.ply", PlyOfFaces(faces, true)},
          {"m.off", CoffOfFaces(faces)}};
}

struct Scene {
  std::vector<Face> Mirror;
  Face PictureFace;
  std::string Eye;  // "X Y Z"
  bool Vertical;
};

std::string Commas(std::string s) {
  for (char& c : s) {
    if (c == ' ') c = ',';
  }
  return s;
}

int Command(const std::vector<std::string>& args, std::string& err, std::string* said = nullptr) {
  std::vector<const char*> argv = {"anamorfosi"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, e;
  const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, e, false);
  err = e.str();
  if (said) *said = out.str();
  return status;
}

class MeshMirror : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
    dir.Write("f.dxf", DxfWithFaces({scene.PictureFace}));
  }
  RunResult Program(const std::string& mirror, const std::string& output) {
    const std::string params =
        dir.Write("p.txt", mirror + "\r\n" + dir.File("f.dxf") + "\r\n" + dir.File("in.ppm") + "\r\n" + output +
                               "\r\n" + scene.Eye + "\r\n260\r\n2\r\n" + (scene.Vertical ? "1" : "0") + "\r\n");
    return RunInProcess(GenericoProgram(), FacetedMirror{}, params + "\n");
  }
  std::vector<std::string> CommandArgs(const std::string& mirror, const std::string& output) {
    std::vector<std::string> a = {"generico", dir.File("in.ppm"), "--mirror", mirror, "--face", dir.File("f.dxf"),
                                  "--eye", Commas(scene.Eye), "--pixels", "260", "--accuracy", "2", "--quiet",
                                  "-o", output};
    if (scene.Vertical) a.push_back("--vertical-axis");
    return a;
  }
  // Every format's outputs, program and command (its own window, with the
  // footprint drawn), against the DXF's.
  void ExpectSameBytes() {
    std::string programDxf, commandDxf;
    for (const Saved& s : EveryFormat(scene.Mirror)) {
      SCOPED_TRACE(s.Name);
      const std::string mirror = dir.Write(s.Name, s.Text);
      const RunResult run = Program(mirror, dir.File("prog.ppm"));
      ASSERT_EQ(run.Status, 0) << run.Transcript;
      std::string err;
      // Written (3: with a fidelity warning, which this coarse cone earns).
      const int status = Command(CommandArgs(mirror, dir.File("cmd.ppm")), err);
      ASSERT_TRUE(status == 0 || status == 3) << err;
      const std::string program = ReadBytes(dir.File("prog.ppm")), command = ReadBytes(dir.File("cmd.ppm"));
      ASSERT_GT(program.size(), 1000u);
      if (programDxf.empty()) {
        programDxf = program;
        commandDxf = command;
        continue;
      }
      EXPECT_TRUE(program == programDxf) << "generico's output differs from the DXF's";
      EXPECT_TRUE(command == commandDxf) << "the command's output differs from the DXF's";
    }
  }
  TempDir dir;
  Scene scene{OnFloatGrid(FacetedCylinderFaces(0, 0, 25, 0, 60, 72, 6)),
              {{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}}, "0 -300 250", false};
};

TEST_F(MeshMirror, AFacetedCylinderGivesTheSameBytesInEveryFormat) { ExpectSameBytes(); }

TEST_F(MeshMirror, AFacetedConeGivesTheSameBytesInEveryFormat) {
  scene = {OnFloatGrid(FacetedConeFaces(0, 0, 50, 100, 72, 4)),
           {{-30, 30, 0}, {30, 30, 0}, {30, -30, 0}, {-30, -30, 0}}, "0 0 400", true};
  SetUp();
  ExpectSameBytes();
}

TEST_F(MeshMirror, BadMeshesStopWithOneLineAndNoFile) {
  const std::vector<MeshTriangle> tri = TrianglesOfFaces(scene.Mirror);
  const std::string stl = BinaryStl(tri);
  for (const Saved& bad : std::vector<Saved>{
           {"cut.stl", stl.substr(0, stl.size() - 20)},
           {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"},
           {"counts.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                          "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                          "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
           {"empty.obj", "v 0 0 0\n"},
           {"wrapped.off", "OFF\n4 1 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\nx\nfoo\n"},
           {"nan.obj", "v 0 0 0\nv 1 nan 0\nv 0 1 0\nf 1 2 3\n"},
           // A glTF nested too deep for its reader, one whose geometry is in
           // another file, and a format a mirror is not read from.
           {"deep.gltf", R"({"asset":{"version":"2.0"},"extras":)" + std::string(100000, '[') + "}"},
           {"beside.gltf", GltfOfTriangles(tri, "m.bin")},
           {"m.fbx", "Kaydara FBX Binary"}}) {
    SCOPED_TRACE(bad.Name);
    const std::string mirror = dir.Write(bad.Name, bad.Text);
    const RunResult run = Program(mirror, dir.File("prog.ppm"));
    EXPECT_EQ(run.Status, 1);
    const std::vector<std::string> lines = ConsoleLines(run.Transcript);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("ERRORE: il file " + mirror, 0), 0u) << run.Transcript;
    std::string err;
    EXPECT_EQ(Command(CommandArgs(mirror, dir.File("cmd.png")), err), 1);
    EXPECT_EQ(err.rfind("anamorfosi: " + mirror + ": ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(FileExists(dir.File("prog.ppm")));
    EXPECT_FALSE(FileExists(dir.File("cmd.png")));
  }
}

// A plane mirror, and a picture face, are one 3DFACE of a DXF: a mesh given
// for either is named as a mesh, and the mirror's points to generico.
TEST_F(MeshMirror, AMeshGivenForAPlaneMirrorOrAFaceIsNamed) {
  const std::string mesh = dir.Write("m.stl", BinaryStl(TrianglesOfFaces(scene.Mirror)));
  std::string err;
  EXPECT_EQ(Command({"specchio", dir.File("in.ppm"), "--mirror", mesh, "-o", dir.File("s.png")}, err), 1);
  EXPECT_EQ(err, "anamorfosi: " + mesh + ": holds no 3DFACE for the mirror: it is a mesh (STL), and the mirror is "
                 "one 3DFACE of a DXF (a mirror of triangles goes to anamorfosi generico)\n");
  EXPECT_EQ(Command({"cilindro", dir.File("in.ppm"), "--radius", "25", "--face", mesh, "-o", dir.File("s.png")}, err), 1);
  EXPECT_EQ(err, "anamorfosi: " + mesh + ": holds no 3DFACE for the picture face: it is a mesh (STL), and the "
                 "picture face is one 3DFACE of a DXF\n");
  EXPECT_FALSE(FileExists(dir.File("s.png")));
}

TEST_F(MeshMirror, TheCommandTakesMoreTrianglesThanTheProgramUpToItsMemory) {
  // 30000 quadrilaterals: 60000 triangles.
  const std::string mirror = dir.Write(
      "big.stl", BinaryStl(TrianglesOfFaces(OnFloatGrid(FacetedCylinderFaces(0, 0, 25, 0, 60, 600, 50)))));
  const RunResult run = Program(mirror, dir.File("prog.ppm"));
  EXPECT_NE(run.Transcript.find("Ho caricato 50000 facce dal file " + mirror + "\r\nERRORE\r\n"
                                "Numero facce specchio maggiore del massimo (50000)"),
            std::string::npos)
      << run.Transcript;
  std::string err, said;
  // Written (3: with a fidelity warning, which a 100-cell print of it earns).
  const int status = Command({"generico", dir.File("in.ppm"), "--mirror", mirror, "--face", dir.File("f.dxf"),
                              "--eye", "0,-300,250", "--pixels", "100", "-o", dir.File("cmd.png")},
                             err, &said);
  ASSERT_TRUE(status == 0 || status == 3) << err;
  EXPECT_NE(said.find("mesh mirror, 60000 triangles, from " + mirror), std::string::npos) << said;

  // Above what memory allows: one line saying so.
  anamorfosi::Scene scene;
  scene.Mirror.Kind = "generico";
  scene.Mirror.File = mirror;
  FacetedMirror loaded;
  PrintReport report;
  try {
    LoadMeshMirror(scene, loaded, report, 59999ULL * FacetBytesEach);
    ADD_FAILURE() << "60000 triangles fitted in the memory of 59999";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(mirror + ": more than 59999 triangles, more than memory allows", 0), 0u)
        << e.what();
  }
  LoadMeshMirror(scene, loaded, report, 60000ULL * FacetBytesEach);
  EXPECT_EQ(report.FacetCount, 60000);
}

}  // namespace

}  // namespace anamorfosi
