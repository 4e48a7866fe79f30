#include "cilindro/cilindro_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string_view>

#include "testing/physical_ray_test.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

double D(Real v) { return static_cast<double>(v); }

TEST(CilindroReportLines, WholeCellsInTheirFields) {
  EXPECT_EQ(AxisCellLine({250.7_r, 99.2_r, 80.2_r}), "Pixel centro cilindro    251,99");
  EXPECT_EQ(RadiusCellLine({250.7_r, 99.2_r, 80.2_r}), "Raggio in pixel           80");
  // Halves to the even neighbour; negative values and wide values keep their digits.
  EXPECT_EQ(AxisCellLine({2.5_r, -3.5_r, 0}), "Pixel centro cilindro      2,-4");
  EXPECT_EQ(RadiusCellLine({0, 0, -80.2_r}), "Raggio in pixel          -80");
  EXPECT_EQ(AxisCellLine({1234567, 0.4_r, 0}), "Pixel centro cilindro 1234567,0");
}

// The scene of a test: a cylinder of radius 25 on the axis (0, 0), the eye at
// (0, -300, 250), a picture face in the plane y = 0 from z = 5 up.
struct Scene {
  Real Radius = 25;
  Real HalfWidth = 20, Height = 30;  // of the picture face
  int PictureWidth = 16, PictureHeight = 12;
  long PixelCount = 400;
  int Accuracy = 2;

  Point3 Eye{0, -300, 250};
  Face PictureFace() const {
    return {{-HalfWidth, 0, 5 + Height}, {HalfWidth, 0, 5 + Height}, {HalfWidth, 0, 5}, {-HalfWidth, 0, 5}};
  }
  // Point of the face at (u, v) from C1, along the top edge and down the side.
  Point3 FacePoint(Real u, Real v) const {
    const Face f = PictureFace();
    return f.C1 + (u / (2 * HalfWidth)) * (f.C2 - f.C1) + (v / Height) * (f.C4 - f.C1);
  }
  std::optional<PhysicalHit> Trace(Point3 facePoint) const {
    return TracePhysicalRay({0, 0, 0}, Radius, Eye, facePoint);
  }
};

struct SceneFiles {
  TempDir dir;
  std::string parameters, output;
};

void WriteScene(SceneFiles& files, const Scene& s) {
  files.dir.Write("f.dxf", DxfWithFaces({s.PictureFace()}));
  files.dir.Write("i.ppm", PlainPpm(s.PictureWidth, s.PictureHeight,
                                         DistinctColours(s.PictureWidth, s.PictureHeight)));
  files.output = files.dir.File("o.ppm");
  std::ostringstream p;
  p << "0 0\r\n" << D(s.Radius) << "\r\n" << files.dir.File("f.dxf") << "\r\n" << files.dir.File("i.ppm")
    << "\r\n" << files.output << "\r\n0 -300 250\r\n" << s.PixelCount << "\r\n" << s.Accuracy << "\r\n";
  files.parameters = files.dir.Write("p.txt", p.str());
  ASSERT_LE(files.parameters.size(), 80u);
}

// The window the scan should give, from the independent trace of its 51 x 51 rays.
struct ExpectedWindow {
  Real MinX = 1e30_r, MinY = 1e30_r, MaxX = -1e30_r, MaxY = -1e30_r, Cell = 0;
  long Misses = 0;
};

ExpectedWindow ScanByTrace(const Scene& s) {
  ExpectedWindow w;
  for (int i = 0; i <= 50; ++i) {
    for (int j = 0; j <= 50; ++j) {
      const auto h = s.Trace(s.FacePoint(2 * s.HalfWidth * i / 50, s.Height * j / 50));
      if (!h) {
        ++w.Misses;
        continue;
      }
      w.MinX = std::min(w.MinX, h->Ground.x);
      w.MaxX = std::max(w.MaxX, h->Ground.x);
      w.MinY = std::min(w.MinY, h->Ground.y);
      w.MaxY = std::max(w.MaxY, h->Ground.y);
    }
  }
  const Real mx = (w.MaxX - w.MinX) / 10, my = (w.MaxY - w.MinY) / 10;
  w.MinX -= mx;
  w.MaxX += mx;
  w.MinY -= my;
  w.MaxY += my;
  w.Cell = std::max(w.MaxX - w.MinX, w.MaxY - w.MinY) / s.PixelCount;
  return w;
}

std::vector<double> NumbersAfter(const std::string& line, std::string_view label) {
  EXPECT_EQ(line.rfind(label, 0), 0u) << line;
  std::istringstream in(line.substr(label.size()));
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// The input pixel whose colour the output shows where the centre of pixel
// (col, row) lands by the independent trace: -1 for black, -2 when that ray misses.
int PaintedAtCentreOf(const Scene& s, const ExpectedWindow& w, const PlainPicture& out, int col, int row) {
  const Real step = 2 * s.HalfWidth / s.PictureWidth;
  const auto h = s.Trace(s.FacePoint((col - 0.5_r) * step, (row - 0.5_r) * step));
  if (!h) return -2;
  const int c = static_cast<int>((h->Ground.x - w.MinX) / w.Cell) + 1;
  const int r = static_cast<int>((w.MaxY - h->Ground.y) / w.Cell) + 1;
  EXPECT_TRUE(c >= 1 && c <= out.Width && r >= 1 && r <= out.Height) << col << "," << row;
  if (c < 1 || c > out.Width || r < 1 || r > out.Height) return -3;
  return PixelOfColour(out.R(c, r), out.G(c, r), out.B(c, r));
}

TEST(Cilindro, WholeRunMatchesTheIndependentTrace) {
  const Scene s;
  SceneFiles files;
  WriteScene(files, s);
  const RunResult run = RunInProcess(CilindroProgram(), Cylinder{}, files.parameters + "\n\n");
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  const std::vector<std::string> head = {
      "Programma per la generazione di anamorfosi speculari di immagini bitmap",
      "Superficie dello specchio: cilindro verticale",
      "Gruppo Anamorfosi Speculari - anamorfosi@example.org - V MMI",
      "www.anamorfosi.example.org",
      "",
      "Immetti il nome del file di testo contenente i parametri : Coordinata X asse cilindro verticale  :       "
      "0.0000",
      "Coordinata Y asse cilindro verticale  :       0.0000",
      "Raggio del cilindro verticale         :      25.0000",
      "Nome file faccia per immagine (DXF)   : " + files.dir.File("f.dxf"),
      "Nome file immagine bitmap (PPM ascii) : " + files.dir.File("i.ppm"),
      "Nome file uscita immagine bitmap (PPM): " + files.output,
      "Coordinata X Centro di Proiezione     :       0.0000",
      "Coordinata Y Centro di Proiezione     :    -300.0000",
      "Coordinata Z Centro di Proiezione     :     250.0000",
      "Numero pixel lato maggiore immagine   :     400",
      "Accuratezza di calcolo  (1..20)       :       2",
      "",
  };
  ASSERT_EQ(lines.size(), head.size() + 8) << run.Transcript;
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(lines[i], head[i]) << i;

  // Window lines against the box of the traced scan, widened by a tenth.
  const ExpectedWindow w = ScanByTrace(s);
  ASSERT_EQ(w.Misses, 0);
  const std::size_t k = head.size();
  const std::vector<double> lo = NumbersAfter(lines[k], "Minimo  "), hi = NumbersAfter(lines[k + 1], "Massimo ");
  ASSERT_EQ(lo.size() + hi.size(), 4u);
  EXPECT_NEAR(lo[0], D(w.MinX), 1e-4);
  EXPECT_NEAR(lo[1], D(w.MinY), 1e-4);
  EXPECT_NEAR(hi[0], D(w.MaxX), 1e-4);
  EXPECT_NEAR(hi[1], D(w.MaxY), 1e-4);
  // Where to stand the cylinder, in cells from the top-left corner.
  const Real axisCol = -w.MinX / w.Cell, axisRow = w.MaxY / w.Cell;
  EXPECT_EQ(lines[k + 2], AxisCellLine({axisCol, axisRow, 0}));
  EXPECT_EQ(lines[k + 3], RadiusCellLine({0, 0, s.Radius / w.Cell}));
  EXPECT_EQ(lines[k + 4], "Elaboro il file " + files.dir.File("i.ppm") + " contenente l'immagine (16x12 pixel)");
  EXPECT_EQ(lines[k + 5], "Calcolo le righe     1..100");
  EXPECT_EQ(lines[k + 6], "Scrivo file immagine " + files.output);
  EXPECT_EQ(lines[k + 7], "FINE ELABORAZIONE. Premere tasto Invio...");

  const PlainPicture out = ParsePlainPicture(ReadBytes(files.output));
  ASSERT_EQ(out.Width, 400);
  ASSERT_EQ(out.Height, static_cast<int>(std::nearbyint(D((w.MaxY - w.MinY) / w.Cell))));
  // The image of every pixel's centre lies in a cell of that pixel's colour.
  for (int row = 1; row <= s.PictureHeight; ++row) {
    for (int col = 1; col <= s.PictureWidth; ++col) {
      EXPECT_EQ(PaintedAtCentreOf(s, w, out, col, row), (row - 1) * s.PictureWidth + (col - 1)) << col << "," << row;
    }
  }
  // The cylinder's own footprint receives nothing.
  const int ac = static_cast<int>(axisCol) + 1, ar = static_cast<int>(axisRow) + 1;
  ASSERT_TRUE(ac >= 1 && ac <= out.Width && ar >= 1 && ar <= out.Height);
  EXPECT_EQ(out.R(ac, ar) + out.G(ac, ar) + out.B(ac, ar), 0);
}

// A face wider than the cylinder: the rays past its sides miss, in the scan and
// in the mapping; the window and the picture are made of the rays that hit.
TEST(Cilindro, MissedRaysAreCountedAndLeftOut) {
  Scene s;
  s.HalfWidth = 42;
  s.Height = 63;
  s.Accuracy = 3;
  SceneFiles files;
  WriteScene(files, s);
  const RunResult run = RunInProcess(CilindroProgram(), Cylinder{}, files.parameters + "\n\n\n\n");
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  const ExpectedWindow w = ScanByTrace(s);
  ASSERT_GT(w.Misses, 0);

  // Misses of every pixel's border samples: the corners and Accuracy - 1 points
  // between them on each side, counted pixel by pixel.
  const Real step = 2 * s.HalfWidth / s.PictureWidth;
  const int a = s.Accuracy;
  long mappingMisses = 0;
  std::vector<bool> partial;
  for (int row = 1; row <= s.PictureHeight; ++row) {
    for (int col = 1; col <= s.PictureWidth; ++col) {
      const Real corners[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
      int missed = 0;
      for (int side = 0; side < 4; ++side) {
        for (int k = 0; k < a; ++k) {
          const Real f = static_cast<Real>(k) / a;
          const Real du = corners[side][0] + f * (corners[side + 1][0] - corners[side][0]);
          const Real dv = corners[side][1] + f * (corners[side + 1][1] - corners[side][1]);
          if (!s.Trace(s.FacePoint((col - 1 + du) * step, (row - 1 + dv) * step))) ++missed;
        }
      }
      mappingMisses += missed;
      partial.push_back(missed > 0);
    }
  }
  const std::size_t k = 17;  // banner, prompt and echoes, empty line
  ASSERT_GE(lines.size(), k + 12) << run.Transcript;
  EXPECT_EQ(lines[k], "ERRORE: modificare la giacitura dello specchio o del PV");
  EXPECT_EQ(lines[k + 1], "Alcune rette non intersecano il piano XY");
  // The pause waits on the same line; the window lines follow it.
  const std::vector<double> lo = NumbersAfter(lines[k + 2], "Premere tasto Invio...Minimo  ");
  ASSERT_EQ(lo.size(), 2u);
  EXPECT_NEAR(lo[0], D(w.MinX), 1e-4);
  EXPECT_NEAR(lo[1], D(w.MinY), 1e-4);
  const std::size_t e = lines.size() - 5;
  EXPECT_EQ(lines[e - 1], "Calcolo le righe     1..100");
  EXPECT_EQ(lines[e], "ERRORE");
  EXPECT_EQ(lines[e + 1], std::to_string(w.Misses + mappingMisses) +
                              " punti non intercettati dalla superficie dello specchio.");
  EXPECT_EQ(lines[e + 2], "Immagine finale non corretta");
  EXPECT_EQ(lines[e + 3], "Premere tasto Invio...Scrivo file immagine " + files.output);
  EXPECT_EQ(lines[e + 4], "FINE ELABORAZIONE. Premere tasto Invio...");

  // A pixel with a missed corner paints nothing, not even round its centre.
  const PlainPicture out = ParsePlainPicture(ReadBytes(files.output));
  int checkedPartial = 0, checkedWhole = 0;
  for (int row = 1; row <= s.PictureHeight; ++row) {
    for (int col = 1; col <= s.PictureWidth; ++col) {
      const int painted = PaintedAtCentreOf(s, w, out, col, row);
      if (painted == -2) continue;
      if (partial[(row - 1) * s.PictureWidth + (col - 1)]) {
        EXPECT_EQ(painted, -1) << col << "," << row;
        ++checkedPartial;
      } else {
        EXPECT_EQ(painted, (row - 1) * s.PictureWidth + (col - 1)) << col << "," << row;
        ++checkedWhole;
      }
    }
  }
  EXPECT_GT(checkedPartial, 0);
  EXPECT_GT(checkedWhole, 80);
}

TEST(Cilindro, RadiusZeroStopsWithoutOutput) {
  Scene s;
  s.Radius = 0;
  SceneFiles files;
  WriteScene(files, s);
  const RunResult run = RunInProcess(CilindroProgram(), Cylinder{}, files.parameters + "\n");
  EXPECT_EQ(run.Status, 1);
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  ASSERT_EQ(lines.size(), 19u) << run.Transcript;
  EXPECT_EQ(lines[16], "");
  EXPECT_EQ(lines[17], "ERRORE: il raggio del cilindro e' nullo: nessuna retta puo' essere riflessa dallo specchio");
  EXPECT_FALSE(FileExists(files.output));
  EXPECT_EQ(ListDir(files.dir.path()).size(), 3u);
}

}  // namespace

}  // namespace anamorfosi
