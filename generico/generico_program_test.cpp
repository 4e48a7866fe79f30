#include "generico/generico_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "meshes/mesh_file.h"
#include "testing/mesh_shapes.h"
#include "testing/test_support.h"
#ifdef HAVE_CILINDRO_PROGRAM
#include "cilindro/cilindro_program.h"
#endif

namespace anamorfosi {

namespace {

std::string Num(Real v) { return std::to_string(static_cast<double>(v)); }

// A faceted cone on the sheet with the eye above its apex, and a horizontal
// picture face round the axis: the scene of a conical anamorphosis.
struct ConeScene {
  TempDir dir;
  std::vector<Face> mirror = FacetedConeFaces(0, 0, 50, 100, 72, 4);
  Face picture{{-30, 30, 0}, {30, 30, 0}, {30, -30, 0}, {-30, -30, 0}};
  Point3 eye{0, 0, 400};
  int width = 9, height = 9;
  long pixelCount = 300;
  int accuracy = 2;
  std::string viewAxis = "1";

  std::string Write() const {
    dir.Write("cono.dxf", DxfWithFaces(mirror));
    dir.Write("faccia.dxf", DxfWithFaces({picture}));
    dir.Write("in.ppm", PlainPpm(width, height, DistinctColours(width, height)));
    const std::string params = dir.File("cono.dxf") + "\r\n" + dir.File("faccia.dxf") + "\r\n" + dir.File("in.ppm") +
                               "\r\n" + dir.File("out.ppm") + "\r\n" + Num(eye.x) + " " + Num(eye.y) + " " +
                               Num(eye.z) + "\r\n" + std::to_string(pixelCount) + "\r\n" + std::to_string(accuracy) +
                               "\r\n" + viewAxis + "\r\n";
    return dir.Write("parametri.txt", params) + "\n";
  }
  RunResult Run(int threads = 1) const { return RunInProcess(GenericoProgram(), FacetedMirror{}, Write(), threads); }
  PlainPicture Output() const { return ParsePlainPicture(ReadBytes(dir.File("out.ppm"))); }
};

// Input pixels (numbered from 0) whose colour appears in the output.
std::set<int> PaintedPixels(const PlainPicture& out) {
  std::set<int> seen;
  for (int row = 1; row <= out.Height; ++row) {
    for (int col = 1; col <= out.Width; ++col) {
      const int r = out.R(col, row), g = out.G(col, row), b = out.B(col, row);
      if (r || g || b) seen.insert(PixelOfColour(r, g, b));
    }
  }
  return seen;
}

TEST(Generico, TranscriptOfAVerticalAxisRun) {
  ConeScene scene;
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  const std::string d = scene.dir.path().string() + "/";
  ASSERT_EQ(lines.size(), 22u) << run.Transcript;
  EXPECT_EQ(lines[0], "Programma per la generazione di anamorfosi speculari di immagini bitmap");
  EXPECT_EQ(lines[1], "Superficie dello specchio: generica, definita da un insieme di facce piane");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "Immetti il nome del file di testo contenente i parametri: "
                      "Nome file superficie specchio (DXF)   : " + d + "cono.dxf");
  EXPECT_EQ(lines[6], "Nome file faccia per immagine (DXF)   : " + d + "faccia.dxf");
  EXPECT_EQ(lines[7], "Nome file immagine bitmap (PPM ascii) : " + d + "in.ppm");
  EXPECT_EQ(lines[8], "Nome file uscita immagine bitmap (PPM): " + d + "out.ppm");
  EXPECT_EQ(lines[9], "Coordinata X Centro di Proiezione     :       0.0000");
  EXPECT_EQ(lines[10], "Coordinata Y Centro di Proiezione     :       0.0000");
  EXPECT_EQ(lines[11], "Coordinata Z Centro di Proiezione     :     400.0000");
  EXPECT_EQ(lines[12], "Numero pixel lato maggiore immagine   :     300");
  EXPECT_EQ(lines[13], "Accuratezza di calcolo  (1..20)       :       2");
  EXPECT_EQ(lines[14], "Asse di vista verticale e sull'asse del conoide");
  EXPECT_EQ(lines[15], "");
  // 72 quadrilaterals in each of three rings, and 72 triangles at the apex.
  EXPECT_EQ(lines[16], "Ho caricato 504 facce dal file " + d + "cono.dxf");
  EXPECT_EQ(lines[17], "Elaboro il file " + d + "in.ppm contenente l'immagine (9x9 pixel)");
  EXPECT_EQ(lines[18], "Calcolo le righe     1..10");
  EXPECT_EQ(lines[19], "Scrivo file immagine " + d + "out.ppm");
  EXPECT_EQ(lines[20], "FINE ELABORAZIONE");
  EXPECT_EQ(lines[21], "Premere tasto Invio...");
}

TEST(Generico, ViewAxisLineProgressEveryTenRowsAndAccuracyEcho) {
  ConeScene scene;
  scene.width = scene.height = 21;
  scene.accuracy = 30;
  for (const char* mode : {"0", "2", "-1"}) {
    scene.viewAxis = mode;
    const RunResult run = scene.Run();
    ASSERT_EQ(run.Status, 0) << run.Transcript;
    const std::vector<std::string> lines = ConsoleLines(run.Transcript);
    ASSERT_GE(lines.size(), 24u);
    EXPECT_EQ(lines[13], "Accuratezza di calcolo  (1..20)       :      30");
    EXPECT_EQ(lines[14], "Asse di vista generico (non verticale e sull'asse del conoide)") << mode;
    EXPECT_EQ(lines[18], "Calcolo le righe     1..10");
    EXPECT_EQ(lines[19], "Calcolo le righe    11..20");
    EXPECT_EQ(lines[20], "Calcolo le righe    21..30");
    EXPECT_EQ(lines[21].rfind("Scrivo file immagine ", 0), 0u);
  }
}

TEST(Generico, AxisStepLeavesOutThePixelsRoundTheAxisOnlyInTheVerticalMode) {
  ConeScene scene;
  const RunResult vertical = scene.Run();
  ASSERT_EQ(vertical.Status, 0) << vertical.Transcript;
  const std::set<int> v = PaintedPixels(scene.Output());
  scene.viewAxis = "0";
  const RunResult general = scene.Run();
  ASSERT_EQ(general.Status, 0) << general.Transcript;
  const PlainPicture out = scene.Output();
  const std::set<int> g = PaintedPixels(out);
  // The centre pixel (5, 5) surrounds the axis: painted round the cone's foot
  // in the general mode, left out in the vertical one.
  const int centre = 4 * 9 + 4;
  EXPECT_TRUE(g.count(centre));
  EXPECT_FALSE(v.count(centre));
  // In the vertical mode every other pixel is painted; in the general one the
  // centre pixel's image spreads over the middle of the picture, covering the
  // foot of the axis and many of the pixels mapped before it.
  EXPECT_EQ(v.size(), 80u);
  const int mid = out.Width / 2;
  EXPECT_EQ(PixelOfColour(out.R(mid, mid), out.G(mid, mid), out.B(mid, mid)), centre);
  EXPECT_LT(g.size(), v.size());
}

// In the vertical mode a picture point within the tolerance of the eye's
// vertical (a thousandth of the face's width) is sent down it and lands
// straight below itself. A pixel with such a sample is left out: its polygon
// would fan from the foot of the axis to the ring round the apex and paint
// the sheet under the cone, where no reflected ray comes down. Pictures of
// even and odd sizes centred on the cone's axis, the eye on it or off it by
// three quarters of a pixel (there the middle of a pixel round the axis lands
// by the foot, and the tenfold test let such pixels through).
TEST(Generico, VerticalModeLeavesOutEveryPixelWithASampleDownTheAxis) {
  struct Case {
    int width, height;
    Real eyeX, eyeY;  // in pixels of the picture
  } cases[] = {
      {640, 4, 0, 0}, {641, 5, 0, 0}, {640, 4, 0.75_r, 0}, {641, 5, 0.75_r, 0.25_r}, {1000, 6, 0.75_r, 0.25_r},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", eye off by " +
                 std::to_string(static_cast<double>(c.eyeX)) + "," + std::to_string(static_cast<double>(c.eyeY)));
    ConeScene scene;
    scene.width = c.width;
    scene.height = c.height;
    const Real step = 60.0_r / c.width, half = c.height * step / 2;
    scene.picture = {{-30, half, 0}, {30, half, 0}, {30, -half, 0}, {-30, -half, 0}};
    // Rounded as the parameter file writes it, to six decimals.
    scene.eye = {std::round(c.eyeX * step * 1e6_r) / 1e6_r, std::round(c.eyeY * step * 1e6_r) / 1e6_r, 400};
    scene.accuracy = 4;
    const RunResult run = scene.Run();
    ASSERT_EQ(run.Status, 0) << run.Transcript;
    EXPECT_EQ(run.Transcript.find("ERRORE"), std::string::npos) << run.Transcript;
    const PlainPicture out = scene.Output();
    // The pixels with a sample sent down the axis, by the mirror's own test.
    MappingSetup s;
    s.PictureFace = scene.picture;
    s.Accuracy = 4;
    s.FaceStep = run_detail::FaceStepOf(scene.picture, c.width);
    s.FaceSubStep = s.FaceStep / 4;
    const Real tolerance = Distance3(scene.picture.C1, scene.picture.C2) / 1000;
    std::set<int> sentDown;
    for (int row = 1; row <= c.height; ++row) {
      for (int col = 1; col <= c.width; ++col) {
        Point3 points[kMaxPolygon], middle;
        SamplePixel(s, col, row, points, middle);
        for (int i = 0; i < 16; ++i) {
          if (std::fabs(points[i].x - scene.eye.x) < tolerance && std::fabs(points[i].y - scene.eye.y) < tolerance)
            sentDown.insert((row - 1) * c.width + col - 1);
        }
      }
    }
    EXPECT_GE(sentDown.size(), 2u);
    // The window as the run found it, to tell where the cone stands.
    FacetedMirror mirror;
    mirror.VerticalAxisMode = true;
    mirror.AxisTolerance = tolerance;
    LoadMirrorFacets(scene.dir.File("cono.dxf"), mirror.Facets);
    BuildFacetIndex(mirror.Facets, mirror.Index);
    MissRecord misses;
    OutputWindow w;
    ASSERT_EQ(ComputeWindow(mirror, scene.picture, scene.eye, scene.pixelCount, 10, misses, w), WindowStatus::kOk);
    ASSERT_EQ(out.Width, w.Width);
    ASSERT_EQ(out.Height, w.Height);
    long ofPixelsSentDown = 0, underTheCone = 0;
    for (int row = 1; row <= out.Height; ++row) {
      for (int col = 1; col <= out.Width; ++col) {
        const int r = out.R(col, row), g = out.G(col, row), b = out.B(col, row);
        if (!r && !g && !b) continue;
        ofPixelsSentDown += sentDown.count(PixelOfColour(r, g, b));
        // Inside the 72-sided base (radius 50 at its corners, 50 cos 2.5
        // degrees at its sides) by more than a cell.
        const Real x = w.MinX + (col - 0.5_r) * w.CellSize, y = w.MaxY - (row - 0.5_r) * w.CellSize;
        underTheCone += std::hypot(x, y) < 49.9_r - w.CellSize;
      }
    }
    EXPECT_EQ(ofPixelsSentDown, 0);
    EXPECT_EQ(underTheCone, 0);
  }
}

TEST(Generico, OutputDoesNotDependOnTheNumberOfThreads) {
  ConeScene scene;
  scene.width = 24;
  scene.height = 20;
  ASSERT_EQ(scene.Run(1).Status, 0);
  const std::string one = ReadBytes(scene.dir.File("out.ppm"));
  ASSERT_EQ(scene.Run(2).Status, 0);
  EXPECT_EQ(ReadBytes(scene.dir.File("out.ppm")), one);
}

TEST(Generico, MirrorWithoutFacesIsReportedAndTheRunGoesOnToItsMisses) {
  ConeScene scene;
  scene.mirror.clear();
  scene.viewAxis = "0";
  const RunResult run = scene.Run();
  EXPECT_EQ(run.Status, 1);
  const std::string d = scene.dir.path().string() + "/";
  const std::string expected =
      "Ho caricato 0 facce dal file " + d + "cono.dxf\r\n" +
      "ERRORE\r\nNumero facce specchio minore di 1.\r\nImmagine finale non corretta\r\nPremere tasto Invio..." +
      "ERRORE: modificare la giacitura dello specchio o del PV\r\nAlcune rette non intersecano il piano XY\r\n"
      "Premere tasto Invio..."
      "ERRORE: nessuna retta riflessa raggiunge il piano XY: impossibile calcolare l'immagine finale\r\n";
  ASSERT_GE(run.Transcript.size(), expected.size());
  EXPECT_EQ(run.Transcript.substr(run.Transcript.size() - expected.size()), expected) << run.Transcript;
  EXPECT_FALSE(FileExists(scene.dir.File("out.ppm")));
}

TEST(Generico, OverflowIsReportedAndTheRunUsesTheFirst50000Triangles) {
  // A vertical plane mirror y = 0 made of 25001 small squares, facing the eye.
  ConeScene scene;
  scene.mirror.clear();
  for (int i = 0; i < 25001; ++i) {
    const Real x = -80 + (i % 160), z = i / 160;
    scene.mirror.push_back({{x, 0, z}, {x + 1, 0, z}, {x + 1, 0, z + 1}, {x, 0, z + 1}});
  }
  scene.picture = {{-40, 100, 80}, {40, 100, 80}, {40, 100, 20}, {-40, 100, 20}};
  scene.eye = {0, -150, 120};
  scene.viewAxis = "0";
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::string d = scene.dir.path().string() + "/";
  const std::string expected = "\r\nHo caricato 50000 facce dal file " + d +
                               "cono.dxf\r\nERRORE\r\nNumero facce specchio maggiore del massimo (50000)\r\n"
                               "Immagine anamorfotica non corretta\r\nPremere tasto Invio...Elaboro il file ";
  EXPECT_NE(run.Transcript.find(expected), std::string::npos) << run.Transcript;
  const PlainPicture out = scene.Output();
  EXPECT_EQ(std::max(out.Width, out.Height), 300);
}

#ifdef HAVE_CILINDRO_PROGRAM
// A cylinder of 7200 narrow facets agrees with the round cylinder on the same
// scene: the facets only approximate it, so cells along the borders of the
// picture's pixels may differ.
TEST(Generico, FacetedCylinderAgreesWithTheRoundCylinder) {
  TempDir dir;
  const int width = 16, height = 12;
  dir.Write("faccia.dxf", DxfWithFaces({{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}}}));
  dir.Write("in.ppm", PlainPpm(width, height, DistinctColours(width, height)));
  dir.Write("cilindro.dxf", DxfWithFaces(FacetedCylinderFaces(0, 0, 25, 0, 120, 3600, 1)));
  const std::string tail = dir.File("faccia.dxf") + "\r\n" + dir.File("in.ppm") + "\r\n";
  const std::string scene = "0 -300 250\r\n240\r\n2\r\n";
  const std::string round = dir.Write("round.txt", "0 0\r\n25\r\n" + tail + dir.File("round.ppm") + "\r\n" + scene);
  const std::string faceted =
      dir.Write("faceted.txt", dir.File("cilindro.dxf") + "\r\n" + tail + dir.File("faceted.ppm") + "\r\n" + scene);
  const RunResult r1 = RunInProcess(CilindroProgram(), Cylinder{}, round + "\n");
  ASSERT_EQ(r1.Status, 0) << r1.Transcript;
  const RunResult r2 = RunInProcess(GenericoProgram(), FacetedMirror{}, faceted + "\n");
  ASSERT_EQ(r2.Status, 0) << r2.Transcript;
  EXPECT_EQ(r2.Transcript.find("ERRORE"), std::string::npos) << r2.Transcript;
  const PlainPicture a = ParsePlainPicture(ReadBytes(dir.File("round.ppm")));
  const PlainPicture b = ParsePlainPicture(ReadBytes(dir.File("faceted.ppm")));
  ASSERT_EQ(a.Width, b.Width);
  ASSERT_EQ(a.Height, b.Height);
  long painted = 0, same = 0;
  for (int row = 1; row <= a.Height; ++row) {
    for (int col = 1; col <= a.Width; ++col) {
      const bool pa = a.R(col, row) || a.G(col, row) || a.B(col, row);
      const bool pb = b.R(col, row) || b.G(col, row) || b.B(col, row);
      if (!pa && !pb) continue;
      ++painted;
      if (a.R(col, row) == b.R(col, row) && a.G(col, row) == b.G(col, row) && a.B(col, row) == b.B(col, row)) ++same;
    }
  }
  ASSERT_GT(painted, a.Width * a.Height / 10);
  EXPECT_GT(static_cast<double>(same) / painted, 0.9) << same << " of " << painted;
}
#endif

}  // namespace

}  // namespace anamorfosi
