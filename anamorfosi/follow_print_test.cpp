// A picture much larger than its print is read smaller and walked round with
// fewer rays, and the print is as faithful: sight rays traced here through
// points of the picture land on cells of the right colour, and the fidelity
// score is within a point of the print that maps every pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "anamorfosi/command.h"
#include "mirrors/cylinder.h"
#include "pipeline/follow_print.h"
#include "picture/picture_file.h"
#include "testing/picture_samples.h"
#include "pipeline/pipeline_files.h"
#include "pipeline/print.h"
#include "pipeline/restore.h"
#include "pipeline/scene.h"
#include "testing/test_support.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

constexpr int kColumns = 8, kRows = 6, kSide = 128;  // blocks of kSide pixels (a multiple of JPEG's 8)

// The colour of block (bx, by): far apart from its neighbours in every channel.
Rgb BlockColour(int bx, int by) {
  return {static_cast<std::uint8_t>(30 + 200 * ((bx + by) % 2)), static_cast<std::uint8_t>(20 + 30 * bx),
          static_cast<std::uint8_t>(240 - 35 * by)};
}

// A 1024 x 768 picture of coloured blocks, written as a JPEG stored turned a
// quarter with EXIF orientation 6, as a phone held upright writes it.
std::string WriteBlocksPhoto(const TempDir& dir) {
  Picture small;
  small.Width = kColumns;
  small.Height = kRows;
  for (int by = 0; by < kRows; ++by)
    for (int bx = 0; bx < kColumns; ++bx) {
      const Rgb c = BlockColour(bx, by);
      small.Rgb.insert(small.Rgb.end(), {c.r, c.g, c.b});
    }
  JpegSample sample;
  sample.Quality = 100;
  sample.Orientation = 6;
  // Orientation 8 turns the other way: what orientation 6 turns upright.
  const std::vector<std::uint8_t> bytes = WriteJpegSample(Orient(Blocks(small, kSide), 8), sample);
  return dir.Write("blocks.jpg", std::string(bytes.begin(), bytes.end()));
}

// The scene of the command for that photo on a 25 mm cylinder at dpi.
Scene CylinderScene(const TempDir& dir, const std::string& photo, const std::string& dpi) {
  const char* argv[] = {"anamorfosi", "cilindro", photo.c_str(), "--radius", "25", "--dpi", dpi.c_str(), "--quiet",
                        "--save-scene", nullptr, "-o", nullptr};
  const std::string json = dir.File("scene" + dpi + ".json"), png = dir.File("print" + dpi + ".png");
  argv[9] = json.c_str();
  argv[11] = png.c_str();
  std::ostringstream out, err;
  EXPECT_EQ(RunCommand(12, argv, out, err, false), 0) << err.str();
  return ReadSceneFile(json);
}

Print Make(const Scene& s, bool follow, int threads = 2) {
  PrintSettings settings;
  settings.Threads = threads;
  settings.FollowPrint = follow;
  return MakePrint(s, settings);
}

double WithinShare(const Fidelity& f) { return 100.0 * f.Within / std::max<long long>(1, f.Samples); }

}  // namespace

TEST(FollowPrint, ALargePhotoIsReadSmallerAndItsSightRaysLandOnItsColours) {
  TempDir dir;
  const Scene s = CylinderScene(dir, WriteBlocksPhoto(dir), "20");
  const Print made = Make(s, true);
  const PrintReport& r = made.Report;
  // Upright, whole, then read smaller with fewer rays a pixel.
  EXPECT_EQ(r.PictureWidth, kColumns * kSide);
  EXPECT_EQ(r.PictureHeight, kRows * kSide);
  EXPECT_GE(r.Reduction.Across * r.Reduction.Down, 4);
  EXPECT_EQ(made.Source.Width, (kColumns * kSide + r.Reduction.Across - 1) / r.Reduction.Across);
  EXPECT_EQ(made.Source.Height, (kRows * kSide + r.Reduction.Down - 1) / r.Reduction.Down);
  EXPECT_LT(r.Accuracy, s.Accuracy);

  // Sight rays through points of each block, traced here through the
  // cylinder's own reflection, land on cells of the block's colour. The points
  // stay a quarter block from its edges, far beyond a cell's blur.
  const Cylinder cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius};
  MappingSetup setup;
  setup.PictureFace = s.PictureFace;
  setup.FaceStep = Distance3(s.PictureFace.C1, s.PictureFace.C2) / r.PictureWidth;
  MissRecord misses;
  int checked = 0, right = 0;
  for (int by = 0; by < kRows; ++by) {
    for (int bx = 0; bx < kColumns; ++bx) {
      const Rgb want = BlockColour(bx, by);
      for (int j = 0; j < 5; ++j) {
        for (int i = 0; i < 5; ++i) {
          const Real u = (bx + 0.25_r + 0.125_r * i) * kSide, v = (by + 0.25_r + 0.125_r * j) * kSide;
          Point3 p = FacePointAt(setup, u, v);
          ASSERT_TRUE(ReflectRay(cylinder, s.Eye, p, p, misses));
          int col = 0, row = 0;
          CellOf(r.Window, p.x, p.y, col, row);
          ASSERT_NE(col, OutsideCell);
          ASSERT_NE(row, OutsideCell);
          const std::uint8_t* c = &made.Cells.Rgb[(static_cast<std::size_t>(row - 1) * made.Cells.Width + col - 1) * 3];
          ++checked;
          // 8 levels: JPEG's rounding of a plain block and the averaging of the reduction.
          right += std::abs(c[0] - want.r) <= 8 && std::abs(c[1] - want.g) <= 8 && std::abs(c[2] - want.b) <= 8;
        }
      }
    }
  }
  EXPECT_EQ(right, checked);
}

// A reduced pixel may be any whole number of pixels long, up to one cell.
TEST(FollowPrint, ReadsSmallerByTheLargestWholeFactorThatKeepsAPixelWithinACell) {
  // A cylinder crushes a 24 MP photo's column to 0.38 of a sample: at two
  // samples a cell five rows make one (1.9 samples), six would not (2.28).
  EXPECT_EQ(ReductionAlong(0.38_r, 2), 5);
  EXPECT_EQ(ReductionAlong(0.3_r, 3), 10);
  EXPECT_EQ(ReductionAlong(0.5_r, 2), 4);  // exactly a cell
  EXPECT_EQ(ReductionAlong(1.2_r, 2), 1);
  EXPECT_EQ(ReductionAlong(2.5_r, 2), 1);
  EXPECT_EQ(ReductionAlong(0.001_r, 2), 64);
  const PictureFactors f = ReductionFor(PixelStretch{.Probes = 9, .Across = 0.7_r, .Down = 0.33_r}, 2);
  EXPECT_EQ(f.Across, 2);
  EXPECT_EQ(f.Down, 6);
}

TEST(FollowPrint, TheScoreStaysWithinAPointOfEveryPixelMapped) {
  TempDir dir;
  const std::string photo = WriteBlocksPhoto(dir);
  for (const char* dpi : {"20", "60"}) {
    SCOPED_TRACE(std::string("dpi ") + dpi);
    const Scene s = CylinderScene(dir, photo, dpi);
    const Print fast = Make(s, true), full = Make(s, false);
    EXPECT_EQ(full.Report.Reduction.Across * full.Report.Reduction.Down, 1);
    EXPECT_EQ(full.Report.Accuracy, s.Accuracy);
    EXPECT_EQ(full.Source.Width, kColumns * kSide);
    const VistaResult a = RestoreScene(s, fast, SheetOf(fast, nullptr), 1, 2);
    const VistaResult b = RestoreScene(s, full, SheetOf(full, nullptr), 1, 2);
    EXPECT_NEAR(WithinShare(a.Score), WithinShare(b.Score), 1.0);
    EXPECT_GE(WithinShare(a.Score), 97);
    // The score follows the print: at most one pixel of the picture as read
    // for 2 x 2 cells, every step-th of every step-th row.
    const long long cells = static_cast<long long>(fast.Report.Window.Width) * fast.Report.Window.Height;
    const int step = RestoreStep(fast.Source.Width, fast.Source.Height, cells);
    const long long scored = static_cast<long long>((fast.Source.Width + step - 1) / step) *
                             ((fast.Source.Height + step - 1) / step);
    EXPECT_EQ(a.Score.Samples, scored);
    EXPECT_LE(scored * 4, cells);
    // The whole picture restored when it is wanted.
    EXPECT_EQ(RestoreScene(s, fast, SheetOf(fast, nullptr), 1, 2, 1).Score.Samples,
              static_cast<long long>(fast.Source.Width) * fast.Source.Height);
  }
}

TEST(FollowPrint, TheSamePrintWhateverTheThreadsAndEveryPixelForTheProgramsWindow) {
  TempDir dir;
  Scene s = CylinderScene(dir, WriteBlocksPhoto(dir), "20");
  const Print one = Make(s, true, 1), three = Make(s, true, 3);
  EXPECT_EQ(one.Cells.Rgb, three.Cells.Rgb);
  EXPECT_EQ(one.Report.Reduction.Down, three.Report.Reduction.Down);
  // The programs' window reproduces a program's run: every pixel, at the scene's accuracy.
  s.ProgramWindow = true;
  s.Pixels = 300;
  s.Window.reset();
  const Print program = Make(s, true);
  EXPECT_EQ(program.Report.Reduction.Across * program.Report.Reduction.Down, 1);
  EXPECT_EQ(program.Report.Accuracy, s.Accuracy);
  EXPECT_EQ(program.Source.Width, kColumns * kSide);
}

TEST(FollowPrint, TheCommandSaysWhatItReadAndItsSceneMakesTheSameBytes) {
  TempDir dir;
  const std::string photo = WriteBlocksPhoto(dir);
  auto run = [&](const std::string& args, const std::string& name) {
    const std::string command = std::string("'") + ANAMORFOSI_BINARY + "' " + args + " > '" + dir.File(name + ".out") +
                                "' 2> '" + dir.File(name + ".err") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream out(dir.File(name + ".out")), err(dir.File(name + ".err"));
    return std::pair{std::string(std::istreambuf_iterator<char>(out), {}),
                     std::string(std::istreambuf_iterator<char>(err), {})};
  };
  const std::string scene = "cilindro '" + photo + "' --radius 25 --dpi 20 --threads 2";
  const auto [out, err] = run(scene + " -o '" + dir.File("a.png") + "' --save-scene '" + dir.File("a.json") +
                                  "' --preview '" + dir.File("v.png") + "'",
                              "a");
  // The phone's photo upright, read smaller, and scored.
  EXPECT_NE(err.find("note: the picture (1024 x 768 pixels) was read at "), std::string::npos) << err;
  double within = 0;
  const std::size_t at = out.find("fidelity: ");
  ASSERT_NE(at, std::string::npos) << out;
  std::sscanf(out.c_str() + at, "fidelity: %lf%%", &within);
  EXPECT_GE(within, 97) << out;
  // The scene file makes the same print again, byte for byte.
  run("run '" + dir.File("a.json") + "' -o '" + dir.File("b.png") + "' --quiet", "b");
  EXPECT_EQ(ReadFileBytes(dir.File("a.png"), 1 << 26), ReadFileBytes(dir.File("b.png"), 1 << 26));
  // Every pixel mapped: nothing read smaller, and the same score within a point.
  const auto [everyOut, everyErr] = run(scene + " --every-pixel -o '" + dir.File("e.png") + "' --preview '" +
                                            dir.File("ev.png") + "'",
                                        "e");
  EXPECT_EQ(everyErr.find("was read"), std::string::npos) << everyErr;
  double everyWithin = 0;
  const std::size_t everyAt = everyOut.find("fidelity: ");
  ASSERT_NE(everyAt, std::string::npos) << everyOut;
  std::sscanf(everyOut.c_str() + everyAt, "fidelity: %lf%%", &everyWithin);
  EXPECT_NEAR(within, everyWithin, 1.0);
}

}  // namespace anamorfosi
