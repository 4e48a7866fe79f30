// The fidelity score tells right from wrong: the engine's own print restores
// the picture, a print mirrored, shifted or made for another eye does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

#include "command.h"
#include "picture_file.h"
#include "png_file.h"
#include "scene.h"
#include "test_support.h"

namespace {

std::string Anamorfosi(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"anamorfosi"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err, false);
  EXPECT_EQ(status, 0) << err.str();
  return out.str();
}

// The first figure of the fidelity line: the share within 8 levels, in percent.
double Within(const std::string& line) {
  double within = -1;
  const std::size_t at = line.find("fidelity: ");
  EXPECT_NE(at, std::string::npos) << line;
  if (at != std::string::npos) std::sscanf(line.c_str() + at, "fidelity: %lf%%", &within);
  return within;
}

double ScoreOf(const TempDir& dir, const std::vector<std::string>& scene, const std::string& name) {
  std::vector<std::string> args = scene;
  for (const std::string& a : {std::string("--quiet"), std::string("--save-scene"), dir.File(name + ".json"),
                               std::string("-o"), dir.File(name + ".png")})
    args.push_back(a);
  Anamorfosi(args);
  return Within(Anamorfosi({"vista", dir.File(name + ".json")}));
}

Picture ReadPng(const std::string& path) { return ReadPictureFile(path); }

}  // namespace

TEST(Vista, TheEnginesOwnPrintRestoresThePicture) {
  TempDir dir;
  const std::string card = EXAMPLES_DIR "/cartello.ppm";
  const std::string photo = EXAMPLES_DIR "/foto.png";
  EXPECT_GE(ScoreOf(dir, {"cilindro", card, "--radius", "25"}, "cil"), 99);
  EXPECT_GE(ScoreOf(dir, {"cono", photo, "--base-radius", "30", "--height", "60"}, "cono"), 99);
  EXPECT_GE(ScoreOf(dir, {"specchio", card, "--mirror", EXAMPLES_DIR "/specchio/specchio.dxf", "--dpi", "100"}, "spe"), 99);
  EXPECT_GE(ScoreOf(dir, {"generico", card, "--mirror", EXAMPLES_DIR "/generico/cono.dxf", "--face",
                          EXAMPLES_DIR "/generico/faccia.dxf", "--eye", "0,0,400", "--vertical-axis", "--dpi", "150"},
                    "gen"),
            99);
  // Seeded scenes: the radius, the eye's distance and height, its side of the axis.
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int k = 0; k < 3; ++k) {
    const double r = 10 + 30 * unit(rng), angle = 6.283 * unit(rng);
    const double far = r * (8 + 8 * unit(rng)), up = r * (6 + 6 * unit(rng));
    std::ostringstream eye;
    eye << far * std::cos(angle) << "," << far * std::sin(angle) << "," << up;
    SCOPED_TRACE("cylinder r " + std::to_string(r) + " eye " + eye.str());
    EXPECT_GE(ScoreOf(dir, {"cilindro", card, "--radius", std::to_string(r), "--eye", eye.str()},
                      "rc" + std::to_string(k)),
              99);
  }
  for (int k = 0; k < 2; ++k) {
    const double r = 15 + 30 * unit(rng), h = r * (1.5 + 1.5 * unit(rng)), z = h * (2.5 + 2 * unit(rng));
    SCOPED_TRACE("cone r " + std::to_string(r) + " h " + std::to_string(h));
    EXPECT_GE(ScoreOf(dir, {"cono", photo, "--base-radius", std::to_string(r), "--height", std::to_string(h), "--eye",
                            "0,0," + std::to_string(z)},
                      "ro" + std::to_string(k)),
              99);
  }
}

TEST(Vista, AWrongPrintScoresFarLower) {
  TempDir dir;
  const std::string card = EXAMPLES_DIR "/cartello.ppm";
  const std::vector<std::string> scene = {"cilindro", card, "--radius", "25", "--dpi", "150"};
  ASSERT_GE(ScoreOf(dir, scene, "right"), 99);
  const Picture print = ReadPng(dir.File("right.png"));
  // Mirrored left to right, and shifted right by 3 % of its width (paper coming in).
  Picture mirrored = print, shifted = print;
  const int shift = print.Width * 3 / 100;
  for (int y = 0; y < print.Height; ++y) {
    for (int x = 0; x < print.Width; ++x) {
      const std::size_t to = (static_cast<std::size_t>(y) * print.Width + x) * 3;
      const std::size_t flip = (static_cast<std::size_t>(y) * print.Width + (print.Width - 1 - x)) * 3;
      for (int k = 0; k < 3; ++k) {
        mirrored.Rgb[to + k] = print.Rgb[flip + k];
        shifted.Rgb[to + k] = x < shift ? 255 : print.Rgb[to - static_cast<std::size_t>(shift) * 3 + k];
      }
    }
  }
  WritePngFile(dir.File("mirrored.png"), mirrored);
  WritePngFile(dir.File("shifted.png"), shifted);
  EXPECT_LT(Within(Anamorfosi({"vista", dir.File("right.json"), "--print", dir.File("mirrored.png")})), 80);
  EXPECT_LT(Within(Anamorfosi({"vista", dir.File("right.json"), "--print", dir.File("shifted.png")})), 80);
  // Made for an eye 20 % higher (the same face), laid where its own scene says.
  dir.Write("face.dxf", DxfWithFaces({ReadSceneFile(dir.File("right.json")).PictureFace}));
  Anamorfosi({"cilindro", card, "--radius", "25", "--dpi", "150", "--eye", "0,-300,300", "--face",
              dir.File("face.dxf"), "--quiet", "-o", dir.File("higher.png")});
  EXPECT_LT(Within(Anamorfosi({"vista", dir.File("right.json"), "--print", dir.File("higher.png")})), 80);
}
