#include "cono/cono_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testing/cone_reference.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

// A picture face 1.5 units per pixel, 200 units above the sheet, centred on the
// cone's axis; seen from 400 units up the axis every sight line meets the cone.
constexpr int kWidth = 13, kHeight = 9;
constexpr Real kStep = 1.5_r;
const Face kFace{{-9.75_r, 6.75_r, 200}, {9.75_r, 6.75_r, 200}, {9.75_r, -6.75_r, 200}, {-9.75_r, -6.75_r, 200}};

struct Scene {
  TempDir dir;
  std::string params, output;
  Scene(const std::string& axisLines, const std::string& radius, const std::string& height, int pixelCount = 400,
        const std::string& accuracy = "4") {
    dir.Write("faccia.dxf", DxfWithFaces({kFace}));
    dir.Write("figura.ppm", PlainPpm(kWidth, kHeight, DistinctColours(kWidth, kHeight)));
    output = dir.File("uscita.ppm");
    params = dir.Write("parametri.txt", axisLines + "\r\n" + radius + "\r\n" + height + "\r\n" +
                                            dir.File("faccia.dxf") + "\r\n" + dir.File("figura.ppm") + "\r\n" +
                                            output + "\r\n0 0 400\r\n" + std::to_string(pixelCount) + "\r\n" +
                                            accuracy + "\r\n");
  }
  RunResult Run() const { return RunInProcess(ConoProgram(), ConeMirror{}, params + "\n\n\n\n"); }
};

Real NumberAt(const std::string& line, std::size_t from) { return std::strtold(line.c_str() + from, nullptr); }

TEST(ConoReport, WholeCellsWithoutFieldWidth) {
  EXPECT_EQ(ConeReportLines({250.7_r, 99.2_r, 80.2_r}),
            (std::vector<std::string>{"Pixel centro cono X 251  Y 99", "Raggio in pixel     80"}));
  // Halves to the even neighbour; negative values keep their sign.
  EXPECT_EQ(ConeReportLines({-3.5_r, 2.5_r, 0.5_r}),
            (std::vector<std::string>{"Pixel centro cono X -4  Y 2", "Raggio in pixel     0"}));
}

TEST(ConoParameters, EchoesAndAxisOnTwoLines) {
  const Scene oneLine("12.5 -3", "30", "60");
  const Scene twoLines("12.5\r\n-3 ignorato", "30", "60");
  const std::vector<std::string> echoes = {
      "Coordinata X asse cono verticale      :      12.5000",
      "Coordinata Y asse cono verticale      :      -3.0000",
      "Raggio della base del cono verticale  :      30.0000",
      "Altezza del cono verticale            :      60.0000",
  };
  for (const Scene* s : {&oneLine, &twoLines}) {
    const RunResult run = s->Run();
    const std::vector<std::string> lines = ConsoleLines(run.Transcript);
    ASSERT_GT(lines.size(), 18u);
    EXPECT_EQ(lines[5], "Immetti il nome del file di testo contenente i parametri : " + echoes[0]);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(lines[5 + i], echoes[i]);
    EXPECT_EQ(lines[9], "Nome file faccia per immagine (DXF)   : " + s->dir.File("faccia.dxf"));
    EXPECT_EQ(lines[10], "Nome file immagine bitmap (PPM ascii) : " + s->dir.File("figura.ppm"));
    EXPECT_EQ(lines[11], "Nome file uscita immagine bitmap (PPM): " + s->output);
    EXPECT_EQ(lines[12], "Coordinata X Centro di Proiezione     :       0.0000");
    EXPECT_EQ(lines[13], "Coordinata Y Centro di Proiezione     :       0.0000");
    EXPECT_EQ(lines[14], "Coordinata Z Centro di Proiezione     :     400.0000");
    EXPECT_EQ(lines[15], "Numero pixel lato maggiore immagine   :     400");
    EXPECT_EQ(lines[16], "Accuratezza di calcolo  (1..20)       :       4");
    EXPECT_EQ(lines[17], "");
  }
}

TEST(ConoRun, ZeroRadiusOrHeightStopsBeforeAnyRay) {
  const Scene noRadius("0 0", "0", "60"), noHeight("0 0", "30", "0"), below("0 0", "30", "-60");
  const std::string messages[] = {
      "ERRORE: il raggio della base del cono e' nullo: impossibile calcolare l'immagine finale",
      "ERRORE: l'altezza del cono e' nulla: impossibile calcolare l'immagine finale",
      "ERRORE: l'altezza del cono e' negativa: il cono starebbe sotto il piano XY",
  };
  const Scene* scenes[] = {&noRadius, &noHeight, &below};
  for (int i = 0; i < 3; ++i) {
    const RunResult run = scenes[i]->Run();
    EXPECT_EQ(run.Status, 1);
    const std::vector<std::string> lines = ConsoleLines(run.Transcript);
    ASSERT_EQ(lines.size(), 20u) << run.Transcript;
    // The empty line after the echoes, then the message and nothing else.
    EXPECT_EQ(lines[17], "");
    EXPECT_EQ(lines[18], messages[i]);
    EXPECT_FALSE(FileExists(scenes[i]->output));
  }
}

TEST(ConoRun, PrepareSwitchesOnTheAxisStep) {
  ConeMirror cone;
  cone.AxisPoint = {4, -7, 0};
  cone.BaseRadius = 30;
  cone.ConeHeight = 60;
  MappingSetup setup;
  std::istringstream in;
  std::ostringstream out;
  Console console{&in, &out};
  ConoProgram().PrepareMirror(console, RunParameters{}, kFace, cone, setup);
  EXPECT_TRUE(setup.AxisExclusion);
  EXPECT_EQ(setup.AxisFoot.x, 4);
  EXPECT_EQ(setup.AxisFoot.y, -7);
  // |C1C2| = 19.5
  EXPECT_NEAR(static_cast<double>(cone.AxisTolerance), 0.0195, 1e-15);
  EXPECT_TRUE(out.str().empty());
}

// Drops a face point straight onto the sheet, so that a pixel's polygon is its
// own square: (col - 1, 10 - row) to (col, 11 - row).
struct DropMirror {};
bool ReflectRay(const DropMirror&, Point3, Point3 facePoint, Point3& result, MissRecord&) {
  result = {facePoint.x, facePoint.y, 0};
  return true;
}

TEST(AxisExclusion, EnlargedPolygonAroundTheAxisDropsThePixel) {
  MappingSetup s;
  s.PictureFace = {{0, 10, 1}, {10, 10, 1}, {10, 0, 1}, {0, 0, 1}};
  s.ProjectionCentre = {5, 5, 50};
  s.FaceStep = 1;
  s.FaceSubStep = 0.5_r;
  s.Accuracy = 2;
  s.Window = {0, 0, 10, 10, 0.1_r, 0.05_r, 100, 100};
  s.AxisExclusion = true;
  Point2 polygon[kMaxPolygon];
  MissRecord misses;
  // Pixel (1, 1) is [0, 1] x [9, 10]; about its centre (0.5, 9.5) the tenfold
  // square is [-4.5, 5.5] x [4.5, 14.5].
  struct Case {
    Point2 axis;
    bool painted;
  };
  const Case cases[] = {
      {{2, 8}, false},     // inside
      {{0.5_r, 9.5_r}, false},  // on the image of the pixel's centre
      {{5.5_r, 8}, true},   // on the right side of the enlarged square
      {{3, 4.5_r}, true},   // on its bottom side
      {{7, 8}, true},      // outside
  };
  for (const Case& c : cases) {
    s.AxisFoot = c.axis;
    const PixelTrace trace = TracePixel(DropMirror{}, s, 1, 1, polygon, misses);
    EXPECT_EQ(trace.Paint, c.painted) << c.axis.x << " " << c.axis.y;
  }
  s.AxisExclusion = false;
  s.AxisFoot = {2, 8};
  EXPECT_TRUE(TracePixel(DropMirror{}, s, 1, 1, polygon, misses).Paint);
}

TEST(AxisExclusion, OnTheConeOnlyThePixelRoundTheAxisIsDropped) {
  ConeMirror cone;
  cone.BaseRadius = 30;
  cone.ConeHeight = 60;
  MappingSetup s;
  s.PictureFace = kFace;
  s.ProjectionCentre = {0, 0, 400};
  s.FaceStep = kStep;
  s.Accuracy = 4;
  s.FaceSubStep = kStep / 4;
  s.Window = {-100, -100, 100, 100, 0.5_r, 0.25_r, 400, 400};
  std::istringstream in;
  std::ostringstream out;
  Console console{&in, &out};
  ConoProgram().PrepareMirror(console, RunParameters{}, s.PictureFace, cone, s);
  Point2 polygon[kMaxPolygon];
  MissRecord misses;
  for (int row = 1; row <= kHeight; ++row) {
    for (int col = 1; col <= kWidth; ++col) {
      const bool roundTheAxis = col == 7 && row == 5;
      EXPECT_EQ(TracePixel(cone, s, col, row, polygon, misses).Paint, !roundTheAxis) << col << " " << row;
    }
  }
  EXPECT_FALSE(misses.RayError);
}

// The whole run; the colour of a few pixels must land where an independent
// reflection of the pixel's centre puts it.
TEST(ConoRun, EndToEndAgainstIndependentGeometry) {
  const Scene scene("0 0", "30", "60");
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  ASSERT_EQ(lines.size(), 26u) << run.Transcript;
  EXPECT_EQ(lines[0], "Programma per la generazione di anamorfosi speculari di immagini bitmap");
  EXPECT_EQ(lines[1], "Superficie dello specchio: cono verticale");
  EXPECT_EQ(lines[18].substr(0, 8), "Minimo  ");
  EXPECT_EQ(lines[19].substr(0, 8), "Massimo ");
  EXPECT_EQ(lines[22], "Elaboro il file " + scene.dir.File("figura.ppm") + " contenente l'immagine (13x9 pixel)");
  EXPECT_EQ(lines[23], "Calcolo le righe     1..100");
  EXPECT_EQ(lines[24], "Scrivo file immagine " + scene.output);
  EXPECT_EQ(lines[25], "FINE ELABORAZIONE. Premere tasto Invio...");

  const Real minX = NumberAt(lines[18], 8), minY = NumberAt(lines[18], 21);
  const Real maxX = NumberAt(lines[19], 8), maxY = NumberAt(lines[19], 21);
  const PlainPicture out = ParsePlainPicture(ReadBytes(scene.output));
  // The longer side gets the 400 cells, the other one its rounded share.
  const bool wide = maxX - minX > maxY - minY;
  ASSERT_EQ(wide ? out.Width : out.Height, 400);
  const Real cell = wide ? (maxX - minX) / out.Width : (maxY - minY) / out.Height;
  EXPECT_NEAR(static_cast<double>(wide ? out.Height : out.Width),
              static_cast<double>((wide ? maxY - minY : maxX - minX) / cell), 0.51);

  // The axis sits in the middle of this symmetric scene, and the base circle
  // measures 30 / cell cells.
  const long long axisCol = RoundHalfEven(-minX / cell), axisRow = RoundHalfEven(maxY / cell);
  const long long radius = RoundHalfEven(30 / cell);
  EXPECT_EQ(lines[20], "Pixel centro cono X " + std::to_string(axisCol) + "  Y " + std::to_string(axisRow));
  EXPECT_EQ(lines[21], "Raggio in pixel     " + std::to_string(radius));
  EXPECT_NEAR(static_cast<double>(axisCol), out.Width / 2.0, 1.0);

  const std::pair<int, int> pixels[] = {{1, 1}, {13, 1}, {4, 2}, {7, 3}, {10, 5}, {2, 7}, {13, 9}, {6, 9}};
  for (const auto& [col, row] : pixels) {
    const Point3 centre{kFace.C1.x + (col - 0.5_r) * kStep, kFace.C1.y - (row - 0.5_r) * kStep, 200};
    Point3 ground;
    ASSERT_TRUE(ReferenceConeImage(0, 0, 30, 60, {0, 0, 400}, centre, ground));
    const int c = static_cast<int>((ground.x - minX) / cell) + 1;
    const int r = static_cast<int>((maxY - ground.y) / cell) + 1;
    ASSERT_TRUE(c >= 1 && c <= out.Width && r >= 1 && r <= out.Height);
    EXPECT_EQ(PixelOfColour(out.R(c, r), out.G(c, r), out.B(c, r)), (row - 1) * kWidth + (col - 1))
        << "pixel " << col << "," << row << " cell " << c << "," << r;
  }

  // The sheet under the cone is never reached, and the pixel round the axis is
  // left out: its colour appears nowhere.
  const int ac = static_cast<int>(axisCol), ar = static_cast<int>(axisRow);
  EXPECT_EQ(out.R(ac, ar) + out.G(ac, ar) + out.B(ac, ar), 0);
  std::set<int> seen;
  for (int r = 1; r <= out.Height; ++r) {
    for (int c = 1; c <= out.Width; ++c) {
      if (out.R(c, r) || out.G(c, r) || out.B(c, r)) seen.insert(PixelOfColour(out.R(c, r), out.G(c, r), out.B(c, r)));
    }
  }
  EXPECT_EQ(seen.count(4 * kWidth + 6), 0u);
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWidth * kHeight - 1));
}

// A scene round the axis of the 30 x 60 cone with the eye 180 up: a
// horizontal face at z = 120 centred on the axis, 14.4 wide as for the
// bundled photo, holding a picture of its own colours.
struct RoundTheAxis {
  TempDir dir;
  std::string params, output;
  RoundTheAxis(int width, int height, Real halfWidth, Real halfHeight, const std::string& eye, int pixelCount) {
    const Face face{{-halfWidth, halfHeight, 120}, {halfWidth, halfHeight, 120}, {halfWidth, -halfHeight, 120},
                    {-halfWidth, -halfHeight, 120}};
    dir.Write("faccia.dxf", DxfWithFaces({face}));
    dir.Write("figura.ppm", PlainPpm(width, height, DistinctColours(width, height)));
    output = dir.File("uscita.ppm");
    params = dir.Write("parametri.txt", "0 0\r\n30\r\n60\r\n" + dir.File("faccia.dxf") + "\r\n" +
                                            dir.File("figura.ppm") + "\r\n" + output + "\r\n" + eye + "\r\n" +
                                            std::to_string(pixelCount) + "\r\n4\r\n");
  }
  RoundTheAxis(int width, int height, const std::string& eye)
      : RoundTheAxis(width, height, 7.2_r, height * 7.2_r / width, eye, 400) {}
};

// What a run of the scene painted: the output, and where its window lies.
struct Painted {
  PlainPicture Out;
  Real MinX = 0, MaxY = 0, Cell = 0;
  // Painted cells whose centres lie within radius of the axis.
  long Within(Real radius) const {
    long n = 0;
    for (int r = 1; r <= Out.Height; ++r) {
      for (int c = 1; c <= Out.Width; ++c) {
        const Real x = MinX + (c - 0.5_r) * Cell, y = MaxY - (r - 0.5_r) * Cell;
        n += (Out.R(c, r) || Out.G(c, r) || Out.B(c, r)) && std::hypot(x, y) < radius;
      }
    }
    return n;
  }
};
Painted RunScene(const RoundTheAxis& scene) {
  const RunResult run = RunInProcess(ConoProgram(), ConeMirror{}, scene.params + "\n\n\n\n");
  EXPECT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  Painted p;
  // No ray missed: the window lines follow the echoes.
  if (lines.size() < 20 || lines[18].rfind("Minimo  ", 0) != 0) {
    ADD_FAILURE() << run.Transcript;
    return p;
  }
  p.Out = ParsePlainPicture(ReadBytes(scene.output));
  p.MinX = NumberAt(lines[18], 8);
  p.MaxY = NumberAt(lines[19], 21);
  p.Cell = (NumberAt(lines[19], 8) - p.MinX) / p.Out.Width;
  return p;
}

// No sight ray reflected by the cone comes down under it, so a cell there
// painted is the fan of a pixel whose samples went down the axis: with the
// picture's middle on the axis its corner (even sizes) or its centre (odd
// ones) lies there, and with this face the middles of the pixels round it lie
// within the axial ray's tolerance (a thousandth of the face's width: 0.64 to
// 1 pixel here), eye on the axis or off it by less than that.
TEST(ConoRun, NothingIsPaintedUnderTheConeWhateverThePictureSize) {
  struct Case {
    int width, height;
    const char* eye;
  } cases[] = {
      {640, 4, "0 0 180"},         {1000, 6, "0 0 180"},        {641, 5, "0 0 180"},
      {999, 5, "0 0 180"},         {640, 4, "0.007 0.007 180"}, {641, 5, "0.007 0.007 180"},
      {999, 5, "0 -0.01 180"},     {640, 4, "0.5 0 180"},       {641, 5, "0.5 0 180"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", eye " + c.eye);
    const RoundTheAxis scene(c.width, c.height, c.eye);
    const Painted p = RunScene(scene);
    ASSERT_GT(p.Out.Width, 0);
    // A cell inside the base circle by more than half its diagonal.
    EXPECT_EQ(p.Within(30 - p.Cell), 0);
  }
}

// The bundled photo's automatic scene at 640 x 480, its numbers as the command
// wrote them: the two pixels above the axis used to paint the whole upper half
// of the print in their colours, the two below the lower middle.
TEST(ConoRun, EvenPictureOnTheAxisKeepsEveryPixelWhereItBelongs) {
  const RoundTheAxis scene(640, 480, 7.200000003352762_r, 5.400000002514571_r, "0 0 180", 800);
  const Painted p = RunScene(scene);
  ASSERT_EQ(p.Out.Width, 796);
  ASSERT_EQ(p.Out.Height, 800);
  EXPECT_EQ(p.Within(30 - p.Cell), 0);
  const std::set<int> dropped = {239 * 640 + 319, 239 * 640 + 320, 240 * 640 + 319, 240 * 640 + 320};
  // Pixels all round the picture, some next to the dropped ones, land where an
  // independent reflection of their centres puts them; where a pixel's image
  // is smaller than a cell, a neighbour's colour may hold its cell.
  const std::pair<int, int> pixels[] = {{320, 60},  {200, 150}, {450, 200}, {600, 30},  {319, 228},
                                        {332, 240}, {40, 240},  {320, 400}, {100, 470}, {560, 300}};
  for (const auto& [col, row] : pixels) {
    const Point3 centre{-7.200000003352762_r + (col - 0.5_r) * 0.0225_r, 5.400000002514571_r - (row - 0.5_r) * 0.0225_r,
                        120};
    Point3 ground;
    ASSERT_TRUE(ReferenceConeImage(0, 0, 30, 60, {0, 0, 180}, centre, ground));
    const int c = static_cast<int>((ground.x - p.MinX) / p.Cell) + 1;
    const int r = static_cast<int>((p.MaxY - ground.y) / p.Cell) + 1;
    ASSERT_TRUE(c >= 1 && c <= p.Out.Width && r >= 1 && r <= p.Out.Height);
    const int px = PixelOfColour(p.Out.R(c, r), p.Out.G(c, r), p.Out.B(c, r));
    EXPECT_FALSE(dropped.count(px)) << "pixel " << col << "," << row;
    EXPECT_LE(std::abs(px % 640 + 1 - col), 1) << "pixel " << col << "," << row << " cell " << c << "," << r;
    EXPECT_LE(std::abs(px / 640 + 1 - row), 1) << "pixel " << col << "," << row << " cell " << c << "," << r;
  }
  // Nowhere does a dropped pixel's colour show.
  long shown = 0;
  for (int r = 1; r <= p.Out.Height; ++r) {
    for (int c = 1; c <= p.Out.Width; ++c) {
      shown += (p.Out.R(c, r) || p.Out.G(c, r) || p.Out.B(c, r)) &&
               dropped.count(PixelOfColour(p.Out.R(c, r), p.Out.G(c, r), p.Out.B(c, r)));
    }
  }
  EXPECT_EQ(shown, 0);
}

}  // namespace

}  // namespace anamorfosi
