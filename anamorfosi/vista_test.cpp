// The fidelity score tells right from wrong: the engine's own print restores
// the picture, a print mirrored, shifted or made for another eye does not. The
// view from the eye shows the picture upright where the face is.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>

#include "cilindro/cilindro_program.h"
#include "anamorfosi/command.h"
#include "cono/cono_program.h"
#include "generico/generico_program.h"
#include "specchio/specchio_program.h"
#include "pipeline/vista.h"
#include "picture/picture_file.h"
#include "pipeline/pipeline_files.h"
#include "picture/png_file.h"
#include "pipeline/scene.h"
#include "testing/test_support.h"

namespace anamorfosi {

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

Rgb PixelAt(const Picture& p, int x, int y) {
  const std::uint8_t* c = &p.Rgb[(static_cast<std::size_t>(y) * p.Width + x) * 3];
  return {c[0], c[1], c[2]};
}

// The scene's print, its sheet and its view, made through the library.
struct Looked {
  Scene S;
  Print Made;
  SceneView View;
};
Looked Look(const std::string& sceneFile, int width, int threads = 2) {
  Looked l{ReadSceneFile(sceneFile), {}, {}};
  PrintSettings settings;
  settings.Threads = threads;
  l.Made = MakePrint(l.S, settings);
  l.View = ViewScene(l.S, SheetOf(l.Made, nullptr), width, threads);
  return l;
}

// The point of the picture face at (u, v) in pixels of the picture.
Point3 OnFace(const Looked& l, Real u, Real v) {
  MappingSetup setup;
  setup.PictureFace = l.S.PictureFace;
  setup.FaceStep = run_detail::FaceStepOf(setup.PictureFace, l.Made.Source.Width);
  return FacePointAt(setup, u, v);
}

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
}

// Seeded scenes: the radius, the eye's distance and height, its side of the axis.
TEST(Vista, SeededCylinderAndConeScenesRestoreThePicture) {
  TempDir dir;
  const std::string card = EXAMPLES_DIR "/cartello.ppm";
  const std::string photo = EXAMPLES_DIR "/foto.png";
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

// The automatic face is centred on the cone's axis, which puts a corner
// (even sizes) or a pixel's centre (odd ones) on it, and the axial ray's
// tolerance is a thousandth of its width: 0.64 of a pixel at 640 wide, so the
// middles of the pixels round the axis are sent down it, as they are at 999
// wide with the eye off the axis by less than that. Those pixels, left in,
// painted fans from the axis foot over a quarter of the print or more; a
// smooth picture whose colour runs across it shows such a fan in the score.
TEST(Vista, ConePrintsRoundTheAxisRestoreEveryPictureSize) {
  TempDir dir;
  struct Case {
    int width, height;
    const char* eye;  // empty: where such prints are seen from, on the axis
  } cases[] = {{640, 480, ""}, {999, 749, "0,-0.01,180"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " eye " + c.eye);
    Picture p;
    p.Width = c.width;
    p.Height = c.height;
    p.Rgb.resize(static_cast<std::size_t>(c.width) * c.height * 3);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(y) * c.width + x) * 3];
        px[0] = static_cast<std::uint8_t>(255 * x / c.width);
        px[1] = static_cast<std::uint8_t>(255 * y / c.height);
        px[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(6.0 * x / c.width));
      }
    }
    const std::string name = std::to_string(c.width) + "_" + std::to_string(c.height);
    const std::string picture = dir.File("in" + name + ".png");
    WritePngFile(picture, p);
    std::vector<std::string> args = {"cono", picture, "--base-radius", "30", "--height", "60", "--pixels", "800"};
    if (c.eye[0]) {
      args.push_back("--eye");
      args.push_back(c.eye);
    }
    EXPECT_GE(ScoreOf(dir, args, name), 99);
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

TEST(Vista, TheCylindersViewShowsTheCardUpright) {
  TempDir dir;
  Anamorfosi({"cilindro", EXAMPLES_DIR "/cartello.ppm", "--radius", "25", "--dpi", "150", "--quiet", "--save-scene",
              dir.File("s.json"), "-o", dir.File("s.png")});
  const Looked l = Look(dir.File("s.json"), 800);
  // Places of the 160 x 120 card clear of its grid, arrow and letter: its
  // blue, green, orange and purple quarters, left to right and top to bottom.
  const struct {
    Real u, v;
    Rgb colour;
  } quarters[] = {{15, 55, {40, 90, 200}}, {145, 55, {40, 170, 70}}, {15, 105, {230, 140, 30}}, {145, 105, {150, 60, 170}}};
  for (const auto& q : quarters) {
    Real x = 0, y = 0;
    ASSERT_TRUE(ViewPoint(l.View.Camera, OnFace(l, q.u, q.v), x, y));
    ASSERT_TRUE(x >= 0 && y >= 0 && x < l.View.Image.Width && y < l.View.Image.Height);
    const Rgb seen = PixelAt(l.View.Image, static_cast<int>(x), static_cast<int>(y));
    const Rgb want = MirrorTint(q.colour);
    SCOPED_TRACE("card pixel " + std::to_string(static_cast<int>(q.u)) + "," + std::to_string(static_cast<int>(q.v)));
    EXPECT_NEAR(seen.r, want.r, 12);
    EXPECT_NEAR(seen.g, want.g, 12);
    EXPECT_NEAR(seen.b, want.b, 12);
  }
  // The same view from the command, on another number of threads.
  Anamorfosi({"vista", dir.File("s.json"), "-o", dir.File("v.png"), "--size", "800", "--threads", "1"});
  const Picture command = ReadPng(dir.File("v.png"));
  EXPECT_EQ(command.Width, l.View.Image.Width);
  EXPECT_TRUE(command.Rgb == l.View.Image.Rgb);
  EXPECT_EQ(l.View.Stats.SecondHits, 0);
}

TEST(Vista, ThePlaneMirrorsViewIsThePictureOnItsFace) {
  TempDir dir;
  Anamorfosi({"specchio", EXAMPLES_DIR "/cartello.ppm", "--mirror", EXAMPLES_DIR "/specchio/specchio.dxf", "--dpi",
              "100", "--quiet", "--save-scene", dir.File("s.json"), "-o", dir.File("s.png")});
  const Looked l = Look(dir.File("s.json"), 700);
  const Picture& card = l.Made.Source;
  const Face& f = l.S.PictureFace;
  const Point3 across = f.C2 - f.C1, down = f.C4 - f.C1;
  const Plane plane = PlaneFromPoints(f.C1, f.C2, f.C3);
  // The picture's colour, tinted, where the sight ray through the view's point
  // (x, y) meets the face; false off the picture, or within a pixel of its edge.
  auto expected = [&](Real x, Real y, Rgb& c) {
    Point3 m;
    if (!IntersectLinePlane(l.S.Eye, plane, ViewRay(l.View.Camera, x, y), m)) return false;
    const Real u = Dot(m - f.C1, across) / Dot(across, across) * card.Width;
    const Real v = Dot(m - f.C1, down) / Dot(down, down) * card.Height;
    if (u < 1 || v < 1 || u > card.Width - 1 || v > card.Height - 1) return false;
    c = MirrorTint(PixelAt(card, static_cast<int>(u), static_cast<int>(v)));
    return true;
  };
  long checked = 0, wrong = 0;
  for (int y = 1; y + 1 < l.View.Image.Height; y += 3) {
    for (int x = 1; x + 1 < l.View.Image.Width; x += 3) {
      // The colours within one pixel of this one's centre; the view must lie among them.
      int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
      bool inside = true;
      for (int dy = -4; dy <= 4 && inside; ++dy) {
        for (int dx = -4; dx <= 4 && inside; ++dx) {
          Rgb c;
          inside = expected(x + dx / 4.0_r + 0.5_r, y + dy / 4.0_r + 0.5_r, c);
          const int v[3] = {c.r, c.g, c.b};
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
          }
        }
      }
      if (!inside) continue;
      ++checked;
      const Rgb seen = PixelAt(l.View.Image, x, y);
      const int s[3] = {seen.r, seen.g, seen.b};
      bool ok = true;
      for (int k = 0; k < 3; ++k) ok = ok && s[k] >= lo[k] - 2 && s[k] <= hi[k] + 2;
      wrong += !ok;
    }
  }
  EXPECT_GT(checked, 1500);
  EXPECT_EQ(wrong, 0) << "of " << checked;
}

TEST(Vista, AnAntialiasedPrintIsScoredAgainstThePictureBlurredByItsCells) {
  TempDir dir;
  // Stripes one pixel wide: a cell that spans several of them is their mean.
  std::vector<int> rgb;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int on = (x % 2) * 200 + 30;
      for (int v : {on, 255 - on, (y % 2) ? 60 : 190}) rgb.push_back(v);
    }
  }
  dir.Write("stripes.ppm", PlainPpm(64, 48, rgb));
  const std::vector<std::string> scene = {"cilindro", dir.File("stripes.ppm"), "--radius", "25", "--pixels", "300"};
  std::vector<std::string> fine = scene, coarse = scene;
  for (const char* a : {"--antialias", "1"}) fine.push_back(a);
  for (const char* a : {"--antialias", "6"}) coarse.push_back(a);
  EXPECT_GE(ScoreOf(dir, fine, "fine"), 95);
  EXPECT_GE(ScoreOf(dir, coarse, "coarse"), 90);
  // Read against the picture itself, the blurred cells would be far off:
  // the same anti-aliased print laid over the scene of one sample a cell.
  EXPECT_LT(Within(Anamorfosi({"vista", dir.File("fine.json"), "--print", dir.File("coarse.png")})), 60);
}

TEST(Vista, ReadsTheRunsOfTheFourPrograms) {
  TempDir dir;
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::copy_file(EXAMPLES_DIR "/cartello.ppm", dir.File("cartello.ppm"));
  const struct {
    const char* name;
    std::function<RunResult(const std::string&)> run;
  } programs[] = {
      {"cilindro", [](const std::string& in) { return RunInProcess(CilindroProgram(), Cylinder{}, in, 2); }},
      {"cono", [](const std::string& in) { return RunInProcess(ConoProgram(), ConeMirror{}, in, 2); }},
      {"specchio", [](const std::string& in) { return RunInProcess(SpecchioProgram(), PlaneMirror{}, in, 2); }},
      {"generico", [](const std::string& in) { return RunInProcess(GenericoProgram(), FacetedMirror{}, in, 2); }},
  };
  for (const auto& p : programs) {
    SCOPED_TRACE(p.name);
    // The example's folder as it is, run where the program would be.
    const std::filesystem::path folder = dir.path() / p.name;
    std::filesystem::copy(std::string(EXAMPLES_DIR "/") + p.name, folder);
    std::filesystem::current_path(folder);
    const RunResult r = p.run("parametri.txt\n");
    std::filesystem::current_path(here);
    ASSERT_EQ(r.Status, 0) << r.Transcript;
    // Read from elsewhere: the names in the file are the folder's.
    const std::string out = Anamorfosi({"vista", "--program", p.name, (folder / "parametri.txt").string(), "--print",
                                        (folder / "anamorfosi.png").string(), "-o", (folder / "vista.png").string()});
    EXPECT_GE(Within(out), 99) << out;
    EXPECT_TRUE(FileExists((folder / "vista.png").string()));
  }
}

TEST(Vista, SaysWhatItNeeds) {
  const struct {
    std::vector<const char*> argv;
    int status;
    const char* words;
  } cases[] = {
      {{"anamorfosi", "vista"}, 2, "a scene file is needed"},
      {{"anamorfosi", "vista", "s.json", "--program", "cilindro", "p.txt"}, 2, "not both"},
      {{"anamorfosi", "vista", "--program", "cilindri", EXAMPLES_DIR "/cilindro/parametri.txt"}, 1,
       "must be cilindro, cono, specchio or generico"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCommand(static_cast<int>(c.argv.size()), c.argv.data(), out, err, false), c.status);
    EXPECT_NE(err.str().find(c.words), std::string::npos) << err.str();
  }
}

TEST(Vista, TheQuickCheckScoresASpreadOfPixelsAndAgreesWithTheFullScore) {
  TempDir dir;
  Anamorfosi({"cilindro", EXAMPLES_DIR "/cartello.ppm", "--radius", "25", "--dpi", "150", "--quiet", "--save-scene",
              dir.File("s.json"), "-o", dir.File("s.png")});
  const Looked l = Look(dir.File("s.json"), 100);
  const Picture& picture = l.Made.Source;
  // A print shifted right by 3 % of its width: a wrong one, to be told as such.
  SheetFile shifted;
  shifted.Cells = l.Made.Cells;
  shifted.Window = l.Made.Report.Window;
  const int shift = shifted.Cells.Width * 3 / 100;
  for (int y = 0; y < shifted.Cells.Height; ++y)
    for (int x = shifted.Cells.Width - 1; x >= 0; --x)
      for (int k = 0; k < 3; ++k) {
        std::uint8_t& to = shifted.Cells.Rgb[(static_cast<std::size_t>(y) * shifted.Cells.Width + x) * 3 + k];
        to = x < shift ? 255 : shifted.Cells.Rgb[(static_cast<std::size_t>(y) * shifted.Cells.Width + x - shift) * 3 + k];
      }
  for (const SheetFile* file : std::vector<const SheetFile*>{nullptr, &shifted}) {
    SCOPED_TRACE(file ? "shifted print" : "the engine's print");
    const PrintedSheet sheet = SheetOf(l.Made, file);
    const Fidelity full = RestoreScene(l.S, l.Made, sheet, 1, 2, 1).Score;
    for (const int stride : {2, 3, 7}) {
      const Fidelity quick = RestoreScene(l.S, l.Made, sheet, 1, 2, stride).Score;
      // One pixel of each whole or partial block.
      const long long cols = (picture.Width + stride - 1) / stride, rows = (picture.Height + stride - 1) / stride;
      EXPECT_EQ(quick.Samples, cols * rows) << "stride " << stride;
      // A sample of n rays estimates a share p to about sqrt(p (1 - p) / n):
      // 0.7 points for the 3500 rays of stride 7 at p = 0.5; 1.5 is twice that.
      EXPECT_NEAR(WithinPercent(quick), WithinPercent(full), 1.5) << "stride " << stride;
      EXPECT_EQ(WithinPercent(quick) >= kFaithfulPercent, WithinPercent(full) >= kFaithfulPercent);
    }
  }
  // About kQuickCheckPixels of any picture, never a stride wider than it.
  EXPECT_EQ(QuickCheckStride(1000, 750), 7);
  EXPECT_EQ(QuickCheckStride(6000, 4000), 39);
  EXPECT_EQ(QuickCheckStride(128, 128), 1);
  EXPECT_EQ(QuickCheckStride(129, 128), 2);
  EXPECT_EQ(QuickCheckStride(100000, 3), 3);
  // The automatic step of a preview: a quarter of the cells, then at most
  // kRestorePixels. A 24 MP photo read at 5664 x 1062 for a 3085 x 2308 print
  // scored 1.5 M pixels at step 2; its 1000 x 750 copy keeps every pixel.
  const long long a4 = 3085LL * 2308;
  EXPECT_EQ(RestoreStep(1000, 750, a4), 1);
  EXPECT_EQ(RestoreStep(5664, 1062, a4), 3);
  EXPECT_EQ(RestoreStep(2000, 2000, 400LL * 400), 16);
  for (const auto& [w, h] : {std::pair{5664LL, 4248LL}, {3000LL, 4000LL}, {1025LL, 1025LL}, {70000LL, 2LL}}) {
    const int step = RestoreStep(w, h, 1LL << 40);
    const long long scored = ((w + step - 1) / step) * ((h + step - 1) / step);
    EXPECT_LE(scored, kRestorePixels) << w << " x " << h;
    if (step > 1) {
      EXPECT_GT(((w + step - 2) / (step - 1)) * ((h + step - 2) / (step - 1)), kRestorePixels) << w;
    }
  }
}

TEST(Vista, AShortScoreNamesWhereItsRaysWent) {
  Fidelity f;
  f.Samples = 1000;
  f.Within = 990;
  EXPECT_EQ(LikelyCause(f, false), "");  // 99 % is faithful
  f.Within = 900;
  f.Outside = 60;
  EXPECT_NE(LikelyCause(f, false).find("miss the mirror"), std::string::npos);
  f.Outside = 10;
  f.Unpainted = 60;
  EXPECT_NE(LikelyCause(f, false).find("paper"), std::string::npos);
  f.Unpainted = 10;
  EXPECT_NE(LikelyCause(f, false).find("other pixels' colours"), std::string::npos);
  EXPECT_EQ(LikelyCause(f, false).find("--dpi"), std::string::npos);
  EXPECT_NE(LikelyCause(f, true).find("--dpi"), std::string::npos);
  EXPECT_EQ(LikelyCause(Fidelity{}, false), "");
}

}  // namespace anamorfosi
