// The anamorfosi command as a user meets it: the same scene as a program gives
// the program's output byte for byte, bad options give one line and no file,
// a saved scene reruns to the same bytes, and the PNG carries its true scale.
#include "anamorfosi/command.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "cilindro/cilindro_program.h"
#include "cono/cono_program.h"
#include "generico/generico_program.h"
#include "testing/mesh_shapes.h"
#include "picture/png_file.h"
#include "pipeline/pipeline_files.h"
#include "pipeline/print.h"
#include "specchio/specchio_program.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

struct CommandResult {
  int Status = 0;
  std::string Out, Err;
};

CommandResult Anamorfosi(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"anamorfosi"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  CommandResult r;
  r.Status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err, false);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

const Face kCylinderFace{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};
const Face kConeFace{{-10, 7.5, 200}, {10, 7.5, 200}, {10, -7.5, 200}, {-10, -7.5, 200}};
const Face kPlaneFace{{-40, 100, 80}, {40, 100, 80}, {40, 100, 20}, {-40, 100, 20}};
const Face kPlaneMirror{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};

// A pyramid of four faces round the vertical axis, for generico.
std::vector<Face> Pyramid() {
  const Point3 apex{0, 0, 50};
  const Point3 base[4] = {{30, 0, 0}, {0, 30, 0}, {-30, 0, 0}, {0, -30, 0}};
  std::vector<Face> faces;
  for (int i = 0; i < 4; ++i) faces.push_back({apex, base[i], base[(i + 1) % 4], base[(i + 1) % 4]});
  return faces;
}

class Consistency : public ::testing::Test {
 protected:
  void SetUp() override { dir.Write("in.ppm", PlainPpm(24, 18, DistinctColours(24, 18))); }
  // The program's output and the command's .ppm of the same scene.
  void ExpectSame(const std::string& programOutput, const std::vector<std::string>& command) {
    std::vector<std::string> args = command;
    for (const char* a : {"--antialias", "1", "--background", "black", "--no-marks", "--program-window",
                                 "--quiet", "-o"})
      args.push_back(a);
    args.push_back(dir.File("cmd.ppm"));
    const CommandResult r = Anamorfosi(args);
    // These coarse scenes may fail the fidelity check (3: written, with a
    // warning); what is compared here is the bytes.
    ASSERT_TRUE(r.Status == 0 || r.Status == 3) << r.Err;
    const std::string a = ReadBytes(programOutput), b = ReadBytes(dir.File("cmd.ppm"));
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "program " << a.size() << " bytes, command " << b.size() << " bytes";
  }
  TempDir dir;
};

}  // namespace

TEST_F(Consistency, CilindroGivesTheProgramsOutput) {
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const std::string params = dir.Write(
      "p.txt", Lines({"5 -3", "25", dir.File("f.dxf"), dir.File("in.ppm"), dir.File("prog.ppm"), "7 -300 250", "300", "3"}));
  ASSERT_EQ(RunInProcess(CilindroProgram(), Cylinder{}, params + "\n").Status, 0);
  ExpectSame(dir.File("prog.ppm"), {"cilindro", dir.File("in.ppm"), "--radius", "25", "--axis", "5,-3", "--eye",
                                    "7,-300,250", "--face", dir.File("f.dxf"), "--pixels", "300", "--accuracy", "3"});
}

TEST_F(Consistency, ConoGivesTheProgramsOutput) {
  dir.Write("f.dxf", DxfWithFaces({kConeFace}));
  const std::string params = dir.Write(
      "p.txt", Lines({"0 0", "30", "60", dir.File("f.dxf"), dir.File("in.ppm"), dir.File("prog.ppm"), "0 0 400", "250", "2"}));
  ASSERT_EQ(RunInProcess(ConoProgram(), ConeMirror{}, params + "\n").Status, 0);
  ExpectSame(dir.File("prog.ppm"), {"cono", dir.File("in.ppm"), "--base-radius", "30", "--height", "60", "--eye",
                                    "0,0,400", "--face", dir.File("f.dxf"), "--pixels", "250", "--accuracy", "2"});
}

TEST_F(Consistency, SpecchioGivesTheProgramsOutput) {
  dir.Write("f.dxf", DxfWithFaces({kPlaneFace}));
  dir.Write("m.dxf", DxfWithFaces({kPlaneMirror}));
  const std::string params = dir.Write(
      "p.txt", Lines({dir.File("f.dxf"), dir.File("m.dxf"), dir.File("in.ppm"), dir.File("prog.ppm"), "0 -150 120", "320"}));
  ASSERT_EQ(RunInProcess(SpecchioProgram(), PlaneMirror{}, params + "\n").Status, 0);
  // The program maps every pixel by its four corners: accuracy 1.
  ExpectSame(dir.File("prog.ppm"), {"specchio", dir.File("in.ppm"), "--mirror", dir.File("m.dxf"), "--eye",
                                    "0,-150,120", "--face", dir.File("f.dxf"), "--pixels", "320", "--accuracy", "1"});
}

TEST_F(Consistency, GenericoGivesTheProgramsOutputInBothAxisModes) {
  dir.Write("m.dxf", DxfWithFaces(Pyramid()));
  dir.Write("f.dxf", DxfWithFaces({kConeFace}));
  for (const bool vertical : {false, true}) {
    SCOPED_TRACE(vertical ? "vertical axis" : "general axis");
    const std::string params =
        dir.Write("p.txt", Lines({dir.File("m.dxf"), dir.File("f.dxf"), dir.File("in.ppm"), dir.File("prog.ppm"),
                                  "0 0 400", "280", "2", vertical ? "1" : "0"}));
    ASSERT_EQ(RunInProcess(GenericoProgram(), FacetedMirror{}, params + "\n").Status, 0);
    std::vector<std::string> args = {"generico", dir.File("in.ppm"), "--mirror", dir.File("m.dxf"), "--eye",
                                     "0,0,400", "--face", dir.File("f.dxf"), "--pixels", "280", "--accuracy", "2"};
    if (vertical) args.push_back("--vertical-axis");
    ExpectSame(dir.File("prog.ppm"), args);
  }
}

TEST(Command, BadOptionsGiveOneLineAndNoFile) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(8, 6, DistinctColours(8, 6)));
  const std::string face = dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const std::string out = dir.File("out.png");
  const std::vector<std::string> base = {"cilindro", picture, "--face", face, "-o", out};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> a = base;
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  const struct {
    std::vector<std::string> args;
    int status;
    const char* names;  // what the message must name
  } cases[] = {
      {base, 2, "--radius"},
      {with({"--radius", "0"}), 2, "--radius"},
      {with({"--radius", "-25"}), 2, "--radius"},
      {with({"--radius", "nan"}), 2, "--radius"},
      {with({"--radius", "25", "--eye", "0,-10,50"}), 2, "inside the cylinder"},
      {with({"--radius", "25", "--eye", "0,-300,-5"}), 2, "above the sheet"},
      {with({"--radius", "25", "--eye", "0,-300"}), 2, "--eye"},
      {with({"--radius", "25", "--units", "furlong"}), 2, "--units"},
      {with({"--radius", "25", "--dpi", "0"}), 2, "--dpi"},
      {with({"--radius", "25", "--accuracy", "21"}), 2, "--accuracy"},
      {with({"--radius", "25", "--background", "grey"}), 2, "--background"},
      {{"cilindro", dir.File("missing.png"), "--radius", "25", "--face", face, "-o", out}, 1, "missing.png"},
      {{"cilindro", picture, "--radius", "25", "--face", dir.File("none.dxf"), "-o", out}, 1, "none.dxf"},
      {{"cilindro", picture, "--radius", "25", "--face", face, "-o", dir.File("out.gif")}, 2, "-o"},
      {{"cilindro", picture, "--radius", "25", "--face", face, "-o", picture}, 2, "input"},
      {{"cono", picture, "--base-radius", "30", "--height", "-60", "-o", out}, 2, "--height"},
      // A flat face seen from above sends every sight ray up: no automatic face.
      {{"generico", picture, "--mirror", face, "--eye", "0,0,400", "-o", out}, 1, "reflects no sight ray down"},
      {{"run", dir.File("none.json")}, 1, "none.json"},
      {with({"--radius", "25", "--paper", "A7"}), 2, "--paper"},
      {{"cilindro", picture, "--radius", "25", "--face", face, "--paper", "50x50", "-o", dir.File("p.pdf")}, 1, "--paper"},
      {{"cilindro", picture, "--radius", "25", "--face", face, "-o", dir.File("none/p.pdf")}, 1, "p.pdf"},
      {{"cilindro", picture, "--grid", "12x8", "--radius", "25", "-o", out}, 2, "--grid"},
      {{"cilindro", "--grid", "12x0", "--radius", "25", "-o", out}, 2, "--grid"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const CommandResult r = Anamorfosi(c.args);
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_EQ(r.Err.rfind("anamorfosi: ", 0), 0u) << r.Err;
    EXPECT_NE(r.Err.find(c.names), std::string::npos) << r.Err;
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"f.dxf", "in.ppm"}));
  }
}

TEST(Command, SavedSceneRerunsToTheSameBytes) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const CommandResult first = Anamorfosi({"cilindro", dir.File("in.ppm"), "--radius", "25.3", "--face", dir.File("f.dxf"),
                                   "--dpi", "150", "--quiet", "--save-scene", dir.File("scena.json"), "-o",
                                   dir.File("a.png")});
  ASSERT_EQ(first.Status, 0) << first.Err;
  const std::string json = ReadBytes(dir.File("scena.json"));
  for (const char* key : {"\"mirror\"", "\"type\": \"cilindro\"", "\"radius\": 25.3", "\"eye\"", "\"face\"",
                          "\"picture\": \"in.ppm\"", "\"units\": \"mm\"", "\"accuracy\": 4", "\"antialias\": 2",
                          "\"background\": \"white\"", "\"window\"", "\"cell_size\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << " in\n" << json;
  const CommandResult again = Anamorfosi({"run", dir.File("scena.json"), "--quiet", "-o", dir.File("b.png")});
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_TRUE(ReadBytes(dir.File("a.png")) == ReadBytes(dir.File("b.png")));
  // A scene edited by hand no longer gives the window it records.
  std::string edited = json;
  edited.replace(edited.find("25.3"), 4, "26.0");
  dir.Write("scena.json", edited);
  const CommandResult changed = Anamorfosi({"run", dir.File("scena.json"), "--quiet", "-o", dir.File("c.png")});
  EXPECT_EQ(changed.Status, 1);
  EXPECT_NE(changed.Err.find("not the one the scene file records"), std::string::npos) << changed.Err;
  EXPECT_FALSE(FileExists(dir.File("c.png")));
}

TEST(Command, PngPrintHasItsTrueScaleAndTheMirrorsCircle) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const CommandResult r = Anamorfosi({"cilindro", dir.File("in.ppm"), "--radius", "25", "--face", dir.File("f.dxf"),
                               "--dpi", "100", "-o", dir.File("p.png")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("diameter 50.0 mm"), std::string::npos) << r.Out;
  const std::string bytes = ReadBytes(dir.File("p.png"));
  const Picture p = DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), "p.png");
  // pHYs: 100 dpi is 3937 cells a metre.
  const std::size_t phys = bytes.find("pHYs");
  ASSERT_NE(phys, std::string::npos);
  auto be32 = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
  };
  EXPECT_EQ(be32(phys + 4), 3937u);
  EXPECT_EQ(be32(phys + 8), 3937u);
  EXPECT_NE(bytes.find("Scene"), std::string::npos);
  // The print reports its size from its cells: each cell 0.254 mm.
  std::ostringstream size;
  size << p.Width << " x " << p.Height << " cells at 100 dpi";
  EXPECT_NE(r.Out.find(size.str()), std::string::npos) << r.Out;
  // The circle of radius 25 round the axis is drawn dark; the paper is white.
  const double cell = 0.254;
  auto pixel = [&](double x, double y) {
    return &p.Rgb[(static_cast<std::size_t>(y / cell) * p.Width + static_cast<std::size_t>(x / cell)) * 3];
  };
  // A dark cell within half a millimetre of the point (the report's figures are rounded).
  auto darkNear = [&](double x, double y) {
    for (double dx = -0.5; dx <= 0.5; dx += cell / 2)
      for (double dy = -0.5; dy <= 0.5; dy += cell / 2)
        if (pixel(x + dx, y + dy)[0] == 60) return true;
    return false;
  };
  const std::size_t at = r.Out.find("centre ");
  ASSERT_NE(at, std::string::npos);
  double left = 0, top = 0;
  ASSERT_EQ(std::sscanf(r.Out.c_str() + at, "centre %lf mm from the left edge, %lf mm from the top edge", &left, &top), 2);
  // The report gives the axis's place from the left and top edges.
  for (int deg = 0; deg < 360; deg += 15) {
    const double a = deg * 3.14159265358979 / 180;
    EXPECT_TRUE(darkNear(left + 25 * std::cos(a), top + 25 * std::sin(a))) << deg << " degrees";
  }
  EXPECT_EQ(pixel(left + 12, top + 12)[0], 255);  // inside the circle, behind the mirror: paper
}

TEST(Command, HelpNamesEverySubcommandWithAnExample) {
  const CommandResult r = Anamorfosi({"--help"});
  EXPECT_EQ(r.Status, 0);
  for (const char* s : {"cilindro", "cono", "specchio", "generico", "run", "Examples:"})
    EXPECT_NE(r.Out.find(s), std::string::npos) << s;
  const CommandResult sub = Anamorfosi({"cilindro", "--help"});
  EXPECT_EQ(sub.Status, 0);
  EXPECT_NE(sub.Out.find("Example: anamorfosi cilindro"), std::string::npos) << sub.Out;
  EXPECT_NE(sub.Out.find("12 radii"), std::string::npos);
}

TEST(Command, PrintsBeyondTheMemoryBudgetLowerTheirSamplingThenAreRefused) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(8, 6, DistinctColours(8, 6)));
  Scene s;
  s.Mirror.Radius = 25;
  s.Eye = {0, -300, 250};
  s.PictureFace = kCylinderFace;
  s.Picture = dir.File("in.ppm");
  s.Dpi = 50;
  s.Antialias = 4;
  PrintSettings settings;
  const OutputWindow w = MakePrint(s, settings).Report.Window;
  // Room for the cells and four samples a cell, not nine.
  settings.MemoryBudget = static_cast<unsigned long long>(w.Width) * w.Height * 3 * 5;
  const Print p = MakePrint(s, settings);
  EXPECT_EQ(p.Report.Antialias, 2);
  ASSERT_EQ(p.Report.Notes.size(), 1u);
  EXPECT_NE(p.Report.Notes[0].find("antialias lowered to 2"), std::string::npos);
  settings.MemoryBudget = 1000;
  try {
    MakePrint(s, settings);
    ADD_FAILURE() << "made";
  } catch (const PrintError& e) {
    EXPECT_NE(std::string(e.what()).find("fit (lower --dpi or --pixels)"), std::string::npos) << e.what();
  }
}

// generico's vertical axis through the command: a picture round the axis
// of a faceted cone, the eye off the axis by three quarters of a pixel, so
// that the middles of the pixels round it are sent down the axis with some of
// their samples. None of those pixels is painted (their fans from the axis
// foot covered the sheet under the cone and the print round it).
TEST(Command, GenericoVerticalAxisLeavesOutPixelsWithASampleDownTheAxis) {
  TempDir dir;
  const int width = 640, height = 4;
  const Face face{{-30, 0.1875_r, 0}, {30, 0.1875_r, 0}, {30, -0.1875_r, 0}, {-30, -0.1875_r, 0}};
  const Point3 eye{0.070312_r, 0, 400};
  dir.Write("in.ppm", PlainPpm(width, height, DistinctColours(width, height)));
  dir.Write("f.dxf", DxfWithFaces({face}));
  dir.Write("m.dxf", DxfWithFaces(FacetedConeFaces(0, 0, 50, 100, 72, 4)));
  const CommandResult r = Anamorfosi({"generico", dir.File("in.ppm"), "--mirror", dir.File("m.dxf"), "--face",
                                      dir.File("f.dxf"), "--vertical-axis", "--eye", "0.070312,0,400", "--pixels",
                                      "300", "--antialias", "1", "--background", "black", "--no-marks", "--quiet",
                                      "--every-pixel", "-o", dir.File("out.ppm")});
  // Written; this thin strip of a picture leaves most of the view to paper, so
  // its check may fail (3).
  ASSERT_TRUE(r.Status == 0 || r.Status == 3) << r.Err;
  // The pixels with a sample within the axial tolerance of the eye in x and y.
  MappingSetup s;
  s.PictureFace = face;
  s.Accuracy = 4;
  s.FaceStep = run_detail::FaceStepOf(face, width);
  s.FaceSubStep = s.FaceStep / 4;
  const Real tolerance = Distance3(face.C1, face.C2) / 1000;
  std::vector<bool> sentDown(width * height);
  int down = 0;
  for (int row = 1; row <= height; ++row) {
    for (int col = 1; col <= width; ++col) {
      Point3 points[kMaxPolygon], middle;
      SamplePixel(s, col, row, points, middle);
      bool any = false;
      for (int i = 0; i < 16; ++i)
        any = any || (std::fabs(points[i].x - eye.x) < tolerance && std::fabs(points[i].y - eye.y) < tolerance);
      sentDown[(row - 1) * width + col - 1] = any;
      down += any;
    }
  }
  EXPECT_GE(down, 2);
  const PlainPicture out = ParsePlainPicture(ReadBytes(dir.File("out.ppm")));
  long painted = 0, ofPixelsSentDown = 0;
  for (int row = 1; row <= out.Height; ++row) {
    for (int col = 1; col <= out.Width; ++col) {
      const int cr = out.R(col, row), cg = out.G(col, row), cb = out.B(col, row);
      if (!cr && !cg && !cb) continue;
      ++painted;
      ofPixelsSentDown += sentDown[PixelOfColour(cr, cg, cb)];
    }
  }
  EXPECT_GT(painted, 1000);
  EXPECT_EQ(ofPixelsSentDown, 0);
}

TEST(Command, TheNumberOfThreadsDoesNotShowInThePrint) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(30, 20, DistinctColours(30, 20)));
  for (const char* threads : {"1", "3"}) {
    ASSERT_EQ(Anamorfosi({"cono", dir.File("in.ppm"), "--base-radius", "30", "--height", "60", "--dpi", "120",
                          "--threads", threads, "--quiet", "-o", dir.File(std::string("p") + threads + ".png")})
                  .Status,
              0);
  }
  EXPECT_TRUE(ReadBytes(dir.File("p1.png")) == ReadBytes(dir.File("p3.png")));
}

TEST(Command, AWrongPrintIsWrittenButNotCalledDone) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(48, 36, DistinctColours(48, 36)));
  dir.Write("m.dxf", DxfWithFaces(Pyramid()));
  dir.Write("f.dxf", DxfWithFaces({kConeFace}));
  // A pyramid round the eye's axis mapped in the general mode folds the picture
  // over itself: the print is written, and the check says it is wrong.
  const std::vector<std::string> scene = {"generico", dir.File("in.ppm"), "--mirror", dir.File("m.dxf"), "--eye",
                                          "0,0,400", "--face", dir.File("f.dxf"), "--pixels", "300"};
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "--quiet" : "reported");
    std::vector<std::string> args = scene;
    if (quiet) args.push_back("--quiet");
    args.insert(args.end(), {"-o", dir.File("wrong.png")});
    std::remove(dir.File("wrong.png").c_str());
    const CommandResult r = Anamorfosi(args);
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_FALSE(ReadBytes(dir.File("wrong.png")).empty());
    const std::size_t at = r.Err.find("anamorfosi: warning: the print is not faithful: ");
    ASSERT_NE(at, std::string::npos) << r.Err;
    double within = 0;
    ASSERT_EQ(std::sscanf(r.Err.c_str() + at, "anamorfosi: warning: the print is not faithful: %lf%%", &within), 1);
    EXPECT_LT(within, 90);
    EXPECT_NE(r.Err.find("likely cause: the eye sees other pixels' colours", at), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out.find("written: ") == std::string::npos, quiet) << r.Out;
  }
  // With --preview the warning quotes the fidelity line's own figure.
  std::vector<std::string> args = scene;
  args.insert(args.end(), {"--preview", dir.File("v.png"), "--size", "200", "-o", dir.File("wrong.png")});
  const CommandResult r = Anamorfosi(args);
  EXPECT_EQ(r.Status, 3);
  double line = -1, warned = -2;
  ASSERT_NE(r.Out.find("fidelity: "), std::string::npos) << r.Out;
  std::sscanf(r.Out.c_str() + r.Out.find("fidelity: "), "fidelity: %lf%%", &line);
  std::sscanf(r.Err.c_str() + r.Err.find("not faithful: "), "not faithful: %lf%%", &warned);
  EXPECT_DOUBLE_EQ(line, warned);
  // The same picture on a cylinder is right: no warning, status 0.
  args = {"cilindro", dir.File("in.ppm"), "--radius", "25", "--pixels", "300", "-o", dir.File("right.png")};
  const CommandResult right = Anamorfosi(args);
  EXPECT_EQ(right.Status, 0) << right.Err;
  EXPECT_EQ(right.Err.find("not faithful"), std::string::npos) << right.Err;
}

TEST(Fit, ClashesAndPrintsTooLargeAreRefusedInOneLine) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(24, 18, DistinctColours(24, 18)));
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  for (const std::vector<std::string>& clash :
       {std::vector<std::string>{"--face", dir.File("f.dxf")}, {"--fill", "0.5"}, {"--paper", "A3"}}) {
    std::vector<std::string> args = {"cilindro", picture, "--radius", "25", "--fit", "A4", "-o", dir.File("o.png")};
    args.insert(args.end(), clash.begin(), clash.end());
    const CommandResult r = Anamorfosi(args);
    EXPECT_EQ(r.Status, 2) << clash[0];
    EXPECT_NE(r.Err.find("--fit"), std::string::npos) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  }
  // --fit goes without --face for generico too, and none is no sheet.
  EXPECT_EQ(Anamorfosi({"generico", picture, "--mirror", dir.File("f.dxf"), "--face", dir.File("f.dxf"), "--eye",
                        "0,0,400", "--fit", "A4", "-o", dir.File("o.png")}).Status, 2);
  EXPECT_EQ(Anamorfosi({"cilindro", picture, "--radius", "25", "--fit", "none", "-o", dir.File("o.png")}).Status, 2);
  // A 500 mm cylinder's footprint alone is larger than an A4 sheet.
  const CommandResult big = Anamorfosi({"cilindro", picture, "--radius", "250", "--fit", "A4", "-o", dir.File("o.png")});
  EXPECT_EQ(big.Status, 1);
  EXPECT_EQ(big.Err.rfind("anamorfosi: --fit A4: even the smallest face (fill 0.001) makes a print of ", 0), 0u) << big.Err;
  EXPECT_EQ(std::count(big.Err.begin(), big.Err.end(), '\n'), 1) << big.Err;
  EXPECT_FALSE(FileExists(dir.File("o.png")));
}

TEST(Fit, TheReportCountsSheetsAndNamesTheSmallestPaper) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(24, 18, DistinctColours(24, 18)));
  auto paperLine = [&](const std::vector<std::string>& more) {
    std::vector<std::string> args = {"cilindro", picture, "--radius", "25", "--pixels", "300", "-o", dir.File("o.png")};
    args.insert(args.end(), more.begin(), more.end());
    const CommandResult r = Anamorfosi(args);
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::size_t at = r.Out.find("paper: ");
    return at == std::string::npos ? std::string() : r.Out.substr(at, r.Out.find('\n', at) - at);
  };
  // About 276 x 180 mm: two A4 portrait tiles (the 165 mm of a landscape one are too few); whole on Tabloid.
  const std::string a4 = paperLine({});
  EXPECT_NE(a4.find("paper: 2 sheets of A4 (portrait, 2 x 1 tiles"), std::string::npos) << a4;
  EXPECT_NE(a4.find("; whole on one Tabloid sheet"), std::string::npos) << a4;
  EXPECT_NE(paperLine({"--paper", "A3"}).find("paper: 1 sheet of A3 (portrait)"), std::string::npos);
  EXPECT_NE(paperLine({"--fill", "0.3"}).find("paper: 1 sheet of A4 (portrait); whole on one Letter sheet"),
            std::string::npos);
  EXPECT_NE(paperLine({"--paper", "100x100"}).find("no room"), std::string::npos);
}

TEST(Command, TheFilesOfARunAppearTogetherOrNotAtAll) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const std::vector<std::string> inputs = {"f.dxf", "in.ppm"};
  auto run = [&](const std::string& scene, const std::string& print) {
    return Anamorfosi({"cilindro", dir.File("in.ppm"), "--radius", "25", "--face", dir.File("f.dxf"), "--dpi", "100",
                       "--quiet", "--preview", dir.File("vista.png"), "--save-scene", dir.File(scene), "-o",
                       dir.File(print)});
  };
  // The scene, written after the print, cannot be: its name is the longest a
  // file may have, so no temporary name beside it can be made.
  const std::string longest(255 - 5, 's');
  const CommandResult failed = run(longest + ".json", "a.png");
  EXPECT_EQ(failed.Status, 1);
  EXPECT_NE(failed.Err.find("--save-scene: "), std::string::npos) << failed.Err;
  EXPECT_EQ(ListDir(dir.path()), inputs) << "a failed run leaves no print, preview or temporary file";
  // A print of that name already there is left as it was.
  dir.Write("a.png", "before");
  EXPECT_EQ(run(longest + ".json", "a.png").Status, 1);
  EXPECT_TRUE(ReadBytes(dir.File("a.png")) == "before") << "the print of a failed run replaced the old one";
  // The preview, the last file, cannot be made: the report names no file as written.
  const CommandResult noView = Anamorfosi({"cilindro", dir.File("in.ppm"), "--radius", "25", "--face",
                                           dir.File("f.dxf"), "--dpi", "100", "--preview",
                                           dir.File(std::string(255 - 4, 'v') + ".png"), "-o", dir.File("b.png")});
  EXPECT_EQ(noView.Status, 1);
  EXPECT_NE(noView.Err.find("--preview: "), std::string::npos) << noView.Err;
  EXPECT_EQ(noView.Out.find("written:"), std::string::npos) << noView.Out;
  EXPECT_FALSE(FileExists(dir.File("b.png")));

  const CommandResult done = run("scena.json", "a.png");
  ASSERT_TRUE(done.Status == 0 || done.Status == 3) << done.Err;
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"a.png", "f.dxf", "in.ppm", "scena.json", "vista.png"}));
  EXPECT_TRUE(ReadBytes(dir.File("a.png")) != "before") << "the new print replaces the old one";
}

TEST(Command, LinksPlantedAtTemporaryNamesAreNotFollowed) {
  TempDir dir;
  dir.Write("in.ppm", PlainPpm(20, 15, DistinctColours(20, 15)));
  dir.Write("f.dxf", DxfWithFaces({kCylinderFace}));
  const std::string victim = dir.Write("victim.txt", "keep");
  // The run's temporary names are its process's: these tests run in it. A
  // file left by a killed run and links to another file take some of them.
  const std::string pid = std::to_string(::getpid());
  const std::vector<std::string> planted = {"scena.json.tmp", "scena.json.tmp" + pid + "_0",
                                            "scena.json.tmp" + pid + "_1", "a.ppm.tmp" + pid + "_0"};
  for (const std::string& name : planted) std::filesystem::create_symlink(victim, dir.File(name));
  dir.Write("a.ppm.tmp" + pid + "_1", "left by a run that was killed");
  const CommandResult r = Anamorfosi({"cilindro", dir.File("in.ppm"), "--radius", "25", "--face", dir.File("f.dxf"),
                                      "--pixels", "60", "--quiet", "--save-scene", dir.File("scena.json"), "-o",
                                      dir.File("a.ppm")});
  ASSERT_TRUE(r.Status == 0 || r.Status == 3) << r.Err;
  EXPECT_EQ(ReadBytes(victim), "keep");
  EXPECT_EQ(ReadBytes(dir.File("a.ppm")).substr(0, 3), "P3\n");
  EXPECT_NE(ReadBytes(dir.File("scena.json")).find("\"window\""), std::string::npos);
  for (const std::string& name : planted) EXPECT_TRUE(std::filesystem::is_symlink(dir.File(name))) << name;
  EXPECT_EQ(ListDir(dir.path()).size(), planted.size() + 6) << "only the print and the scene are new";
}

TEST(Command, APpmOverTheLimitsIsRefusedLikeAnyPicture) {
  TempDir dir;
  const std::string wide = dir.Write("wide.ppm", "P6\n70000 2\n255\n" + std::string(70000 * 2 * 3, '\x80'));
  const CommandResult r = Anamorfosi({"cilindro", wide, "--radius", "25", "--quiet", "-o", dir.File("a.png")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "anamorfosi: " + wide + ": declares 70000 x 2 pixels, over the limit\n");
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"wide.ppm"});
}

}  // namespace anamorfosi
