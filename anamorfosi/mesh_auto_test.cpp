// A mesh mirror without --face and --eye, and the close-up of the mirror,
// as a user meets them: the built command run on files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/wait.h>

#include "picture/picture_file.h"
#include "pipeline/scene.h"
#include "testing/mesh_samples.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

std::string Q(const std::string& s) { return "'" + s + "'"; }

struct Ran {
  int Status = -1;
  std::string Out, Err;
};

Ran Anamorfosi(const TempDir& dir, const std::string& args) {
  const std::string command = Q(ANAMORFOSI_BINARY) + " " + args + " > " + Q(dir.File("out.txt")) + " 2> " +
                              Q(dir.File("err.txt"));
  Ran r;
  r.Status = std::system(command.c_str());
  r.Out = ReadBytes(dir.File("out.txt"));
  r.Err = ReadBytes(dir.File("err.txt"));
  return r;
}

// A square pyramid 60 wide and 60 high standing on the sheet, its sides only.
const std::vector<Face> kPyramid = {{{-30, -30, 0}, {30, -30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{30, -30, 0}, {30, 30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{30, 30, 0}, {-30, 30, 0}, {0, 0, 60}, {0, 0, 60}},
                                    {{-30, 30, 0}, {-30, -30, 0}, {0, 0, 60}, {0, 0, 60}}};

}  // namespace

// Round its vertical axis the pyramid takes the eye above it and a face of
// its own; the report and the scene file say which, and the scene's run makes
// the same print. The close-up is written beside the view, at its size.
TEST(MeshAutomatic, APyramidInTheVerticalModeNeedsNeitherFaceNorEye) {
  TempDir dir;
  dir.Write("p.obj", ObjOfFaces(kPyramid));
  const std::string base = "generico " + Q(std::string(EXAMPLES_DIR) + "/foto.png") + " --mirror " +
                           Q(dir.File("p.obj")) + " --dpi 60 --threads 2 -o " + Q(dir.File("p.png"));
  const Ran made = Anamorfosi(dir, base + " --vertical-axis --save-scene " + Q(dir.File("p.json")) + " --preview " +
                                       Q(dir.File("v.png")) + " --preview-closeup " + Q(dir.File("c.png")) +
                                       " --size 240");
  ASSERT_EQ(made.Status, 0) << made.Err;
  EXPECT_NE(made.Out.find("eye: (0, 0, 180) (above the middle of the mirror, at 3 times its height)"),
            std::string::npos) << made.Out;
  EXPECT_NE(made.Out.find("(automatic, fill 0.9)"), std::string::npos) << made.Out;
  EXPECT_NE(made.Out.find("fidelity: 100.0% within 8 levels"), std::string::npos) << made.Out;
  const Scene scene = ReadSceneFile(dir.File("p.json"));
  EXPECT_TRUE(scene.Eye.x == 0 && scene.Eye.y == 0 && scene.Eye.z == 180);
  EXPECT_EQ(scene.PictureFace.C3.z, 30);  // level at the pyramid's middle height
  const Ran again = Anamorfosi(dir, "run " + Q(dir.File("p.json")) + " --quiet -o " + Q(dir.File("q.png")));
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(ReadBytes(dir.File("p.png")), ReadBytes(dir.File("q.png")));

  const Picture view = ReadPictureFile(dir.File("v.png")), close = ReadPictureFile(dir.File("c.png"));
  EXPECT_EQ(close.Width, 240);
  EXPECT_EQ(close.Height, view.Height);
  EXPECT_NE(close.Rgb, view.Rgb);
  EXPECT_NE(made.Out.find("close-up: " + dir.File("c.png") + ", 240 x " + std::to_string(view.Height)),
            std::string::npos) << made.Out;
}

// From the front the pyramid's front side sends the middle of the picture to
// the sky: one line says no face works, and nothing is written. A close-up
// named as the print is refused before any work.
TEST(MeshAutomatic, NoFaceFromTheEyeIsOneLineAndNoFile) {
  TempDir dir;
  dir.Write("p.obj", ObjOfFaces(kPyramid));
  const std::string base = "generico " + Q(std::string(EXAMPLES_DIR) + "/foto.png") + " --mirror " +
                           Q(dir.File("p.obj")) + " --dpi 60 -o " + Q(dir.File("p.png"));
  const Ran front = Anamorfosi(dir, base + " --preview " + Q(dir.File("v.png")));
  EXPECT_EQ(WEXITSTATUS(front.Status), 1);
  EXPECT_EQ(front.Err.rfind("anamorfosi: no picture face works for this mirror and eye: ", 0), 0u) << front.Err;
  EXPECT_EQ(std::count(front.Err.begin(), front.Err.end(), '\n'), 1) << front.Err;
  EXPECT_FALSE(FileExists(dir.File("p.png")));
  EXPECT_FALSE(FileExists(dir.File("v.png")));
  const Ran same = Anamorfosi(dir, base + " --vertical-axis --preview-closeup " + Q(dir.File("p.png")));
  EXPECT_EQ(WEXITSTATUS(same.Status), 2);
  EXPECT_NE(same.Err.find("--preview-closeup: must be a file of its own"), std::string::npos) << same.Err;
  EXPECT_FALSE(FileExists(dir.File("p.png")));
}

}  // namespace anamorfosi
