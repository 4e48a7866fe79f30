// `anamorfosi sfera` as a user meets it: the built program run on the bundled
// photo, its report and scene file, the scene rerun, its refusals, and its PDF
// rendered by pdftoppm with the ball's circle measured.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picture/picture_file.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

const std::string kPhoto = EXAMPLES_DIR "/foto.png";

struct Ran {
  int Status = -1;
  std::string Out, Err;
};

// The built program with these arguments, its output and errors kept in dir.
Ran Command(const TempDir& dir, const std::string& args) {
  const std::string out = dir.File("run.out"), err = dir.File("run.err");
  const std::string command = std::string("'") + ANAMORFOSI_BINARY + "' " + args + " > '" + out + "' 2> '" + err + "'";
  const int raw = std::system(command.c_str());
  Ran r;
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.Out = ReadBytes(out);
  r.Err = ReadBytes(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

}  // namespace

TEST(SphereCommand, ThePrintItsSceneFileAndItsRerunGiveTheSameBytes) {
  TempDir dir;
  const Ran first = Command(dir, "sfera " + Q(kPhoto) + " --radius 40 --dpi 100 --save-scene " + Q(dir.File("a.json")) +
                                 " -o " + Q(dir.File("a.png")));
  ASSERT_EQ(first.Status, 0) << first.Err;
  // Standing on the sheet at 0,0, seen from its usual eye.
  EXPECT_NE(first.Out.find("mirror: sphere, centre (0, 0, 40), radius 40 mm"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("eye: (0, -320, 200) (8 radii in front of the centre, 4 radii above it)"), std::string::npos)
      << first.Out;
  const std::string json = ReadBytes(dir.File("a.json"));
  for (const char* key : {"\"type\": \"sfera\"", "\"centre\": [0.0, 0.0, 40.0]", "\"radius\": 40.0", "\"window\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << " in\n" << json;
  const Ran again = Command(dir, "run " + Q(dir.File("a.json")) + " --quiet -o " + Q(dir.File("b.png")));
  ASSERT_EQ(again.Status, 0) << again.Err;
  EXPECT_TRUE(ReadBytes(dir.File("a.png")) == ReadBytes(dir.File("b.png")));

  // A scene file may give the centre as X,Y: the ball stands on the sheet, and
  // the window it records is the same.
  std::string planOnly = json;
  planOnly.replace(planOnly.find("[0.0, 0.0, 40.0]"), 16, "[0.0, 0.0]");
  dir.Write("plan.json", planOnly);
  const Ran plan = Command(dir, "run " + Q(dir.File("plan.json")) + " --quiet -o " + Q(dir.File("c.png")));
  ASSERT_EQ(plan.Status, 0) << plan.Err;
  EXPECT_TRUE(ReadBytes(dir.File("a.png")) == ReadBytes(dir.File("c.png")));

  // --centre X,Y stands it there; X,Y,Z raises it, and the usual eye with it.
  const Ran moved = Command(dir, "sfera " + Q(kPhoto) + " --radius 40 --centre 30,-20 --dpi 50 --save-scene " +
                                 Q(dir.File("m.json")) + " -o " + Q(dir.File("m.png")));
  ASSERT_EQ(moved.Status, 0) << moved.Err;
  EXPECT_NE(ReadBytes(dir.File("m.json")).find("\"centre\": [30.0, -20.0, 40.0]"), std::string::npos);
  const Ran raised = Command(dir, "sfera " + Q(kPhoto) + " --radius 40 --centre 30,-20,100 --dpi 50 -o " +
                                  Q(dir.File("r.png")));
  ASSERT_EQ(raised.Status, 0) << raised.Err;
  EXPECT_NE(raised.Out.find("centre (30, -20, 100)"), std::string::npos) << raised.Out;
  EXPECT_NE(raised.Out.find("eye: (30, -340, 260)"), std::string::npos) << raised.Out;
}

TEST(SphereCommand, AnEyeInsideTheBallAndABadRadiusOrCentreAreRefusedInOneLine) {
  TempDir dir;
  const std::string out = " -o " + Q(dir.File("out.png"));
  const struct {
    std::string args;
    int status;         // 2 for what the options say, 1 for a ball that cannot stand
    const char* names;  // what the message must name
  } cases[] = {
      {"--radius 40 --eye 0,10,50", 2, "--eye: is inside the sphere"},
      {"--radius 40 --eye 0,0,80", 2, "--eye: is inside the sphere"},  // on the top
      {"--radius 40 --centre 0,0,100 --eye 5,5,110", 2, "--eye: is inside the sphere"},
      {"--radius 0", 2, "--radius"},
      {"--radius -40", 2, "--radius"},
      {"--radius nan", 2, "--radius"},
      {"", 2, "--radius"},
      {"--radius 40 --centre 1,2,3,4", 2, "--centre"},
      {"--radius 40 --centre 1", 2, "--centre"},
      {"--radius 40 --centre 0,0,-40", 1, "--centre: the sphere's centre is a radius or more below the sheet"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Ran r = Command(dir, "sfera " + Q(kPhoto) + " " + c.args + out);
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_EQ(r.Err.rfind("anamorfosi: ", 0), 0u) << r.Err;
    EXPECT_NE(r.Err.find(c.names), std::string::npos) << r.Err;
    EXPECT_TRUE(ListDir(dir.path()).empty());
  }
}

// The PDF on one A4 sheet, rendered at 300 dpi: the ball's circle drawn 80 mm
// across round the place the report gives, and its label.
TEST(SphereCommand, ThePdfDrawsTheBallsCircleAtItsSize) {
  TempDir dir;
  const Ran r = Command(dir, "sfera " + Q(kPhoto) + " --radius 40 --eye 0,-300,200 --fit A4 -o " + Q(dir.File("p.pdf")));
  ASSERT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(std::system(("pdftoppm -r 300 -png -singlefile " + Q(dir.File("p.pdf")) + " " + Q(dir.File("page"))).c_str()),
            0)
      << "pdftoppm comes with poppler-utils";
  const Picture page = ReadPictureFile(dir.File("page.png"));
  ASSERT_EQ(std::system(("pdftotext " + Q(dir.File("p.pdf")) + " " + Q(dir.File("p.txt"))).c_str()), 0);
  EXPECT_NE(ReadBytes(dir.File("p.txt")).find("sphere, diameter 80.0 mm"), std::string::npos);
  double left = 0, top = 0;
  const std::size_t at = r.Out.find("centre ", r.Out.find("mirror on the print"));
  ASSERT_NE(at, std::string::npos) << r.Out;
  ASSERT_EQ(std::sscanf(r.Out.c_str() + at, "centre %lf mm from the left edge, %lf mm from the top edge", &left, &top),
            2);
  // The page's 10 mm margin, then the place the report gives.
  constexpr double kPixelsPerMm = 300 / 25.4;
  const int cx = static_cast<int>((10 + left) * kPixelsPerMm), cy = static_cast<int>((10 + top) * kPixelsPerMm);
  const auto dark = [&](int x) {
    const std::uint8_t* c = &page.Rgb[(static_cast<std::size_t>(cy) * page.Width + x) * 3];
    return c[0] + c[1] + c[2] < 3 * 128;
  };
  // From outside the centre cross outward to the first dark run on each side:
  // the middles of the two runs are a diameter apart.
  const auto edge = [&](int step) {
    int x = cx + step * static_cast<int>(8 * kPixelsPerMm);
    while (x > 0 && x < page.Width - 1 && !dark(x)) x += step;
    const int first = x;
    while (x > 0 && x < page.Width - 1 && dark(x)) x += step;
    return (first + x - step) / 2.0;
  };
  // 0.3 mm: a pixel of the rendering each side and the line's own width.
  EXPECT_NEAR((edge(1) - edge(-1)) / kPixelsPerMm, 80, 0.3);
}

}  // namespace anamorfosi
