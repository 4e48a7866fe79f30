#include "specchio/specchio_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "testing/test_support.h"

namespace anamorfosi {

namespace {

// A vertical mirror on the plane y = 0 facing the eye, and the picture seen
// upright behind it: the example scene, in a scratch folder.
struct Scene {
  TempDir dir;
  Face picture{{-40, 100, 80}, {40, 100, 80}, {40, 100, 20}, {-40, 100, 20}};
  Face mirror{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};
  Point3 eye{0, -150, 120};
  int width = 8, height = 6;
  long pixelCount = 400;
  std::string output = "out.ppm";

  std::string Parameters() const {
    return dir.File("faccia.dxf") + "\r\n" + dir.File("specchio.dxf") + "\r\n" + dir.File("in.ppm") + "\r\n" +
           dir.File(output) + "\r\n" + std::to_string(static_cast<double>(eye.x)) + " " +
           std::to_string(static_cast<double>(eye.y)) + " " + std::to_string(static_cast<double>(eye.z)) +
           "\r\n" + std::to_string(pixelCount) + "\r\n";
  }
  // Writes the files and answers the standard input of a run.
  std::string Write() const {
    dir.Write("faccia.dxf", DxfWithFaces({picture}));
    dir.Write("specchio.dxf", DxfWithFaces({mirror}));
    dir.Write("in.ppm", PlainPpm(width, height, DistinctColours(width, height)));
    return dir.Write("parametri.txt", Parameters()) + "\n";
  }
  RunResult Run(int threads = 1) const {
    const std::string input = Write();
    return RunInProcess(SpecchioProgram(), PlaneMirror{}, input, threads);
  }
};

Real ParseWindowValue(const std::string& line, int index) {
  // "Minimo  " / "Massimo " then two fields of 12 characters and a blank.
  return std::stold(line.substr(8 + index * 13, 12));
}

TEST(Specchio, TranscriptOfACompleteRun) {
  Scene scene;
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  const std::string d = scene.dir.path().string() + "/";
  ASSERT_EQ(lines.size(), 20u) << run.Transcript;
  EXPECT_EQ(lines[0], "Programma per la generazione di anamorfosi speculari di immagini bitmap");
  EXPECT_EQ(lines[1], "Superficie dello specchio: piano");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 5), "V MMI");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "Immetti il nome del file di testo contenente i parametri : "
                      "Nome file faccia per immagine (DXF)   : " + d + "faccia.dxf");
  EXPECT_EQ(lines[6], "Nome file faccia per specchio (DXF)   : " + d + "specchio.dxf");
  EXPECT_EQ(lines[7], "Nome file immagine bitmap (PPM ascii) : " + d + "in.ppm");
  EXPECT_EQ(lines[8], "Nome file uscita immagine bitmap (PPM): " + d + "out.ppm");
  EXPECT_EQ(lines[9], "Coordinata X Centro di Proiezione     :       0.0000");
  EXPECT_EQ(lines[10], "Coordinata Y Centro di Proiezione     :    -150.0000");
  EXPECT_EQ(lines[11], "Coordinata Z Centro di Proiezione     :     120.0000");
  EXPECT_EQ(lines[12], "Numero pixel lato maggiore immagine   :     400");
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[14].substr(0, 8), "Minimo  ");
  EXPECT_EQ(lines[14].size(), 8u + 12 + 1 + 12);
  EXPECT_EQ(lines[15].substr(0, 8), "Massimo ");
  EXPECT_EQ(lines[16], "Elaboro il file " + d + "in.ppm contenente l'immagine (8x6 pixel)");
  EXPECT_EQ(lines[17], "Calcolo le righe     1..100");
  EXPECT_EQ(lines[18], "Scrivo file immagine " + d + "out.ppm");
  // The final pause waits on its own line, with no line end.
  EXPECT_EQ(lines[19], "FINE ELABORAZIONE. Premere tasto Invio...");
  // The files of the scene are left as they were, and only the output is added.
  EXPECT_EQ(ListDir(scene.dir.path()),
            (std::vector<std::string>{"faccia.dxf", "in.ppm", "out.ppm", "parametri.txt", "specchio.dxf"}));
}

// For a plane mirror the anamorphosis of a face point P is found without any
// of the program's code: the reflected ray is the line through the mirror
// images E' and P' of the eye and of P, and it meets the sheet where that line
// does.
TEST(Specchio, PixelCentresLandWhereClosedFormGeometryPutsThem) {
  Scene scene;
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  const Real minX = ParseWindowValue(lines[14], 0), minY = ParseWindowValue(lines[14], 1);
  const Real maxX = ParseWindowValue(lines[15], 0), maxY = ParseWindowValue(lines[15], 1);
  const PlainPicture out = ParsePlainPicture(ReadBytes(scene.dir.File("out.ppm")));
  ASSERT_EQ(std::max(out.Width, out.Height), 400);
  const Real cell = std::max((maxX - minX) / out.Width, (maxY - minY) / out.Height);
  auto mirrorImage = [](Point3 p) { return Point3{p.x, -p.y, p.z}; };  // the mirror is y = 0
  const Point3 eyeImage = mirrorImage(scene.eye);
  const Real step = 80.0_r / scene.width;  // face 80 wide, 60 high
  int checked = 0;
  for (int row = 1; row <= scene.height; ++row) {
    for (int col = 1; col <= scene.width; ++col) {
      const Point3 p{-40 + (col - 0.5_r) * step, 100, 80 - (row - 0.5_r) * step};
      const Point3 pi = mirrorImage(p);
      const Real s = eyeImage.z / (eyeImage.z - pi.z);
      const Point3 g = eyeImage + s * (pi - eyeImage);
      const int c = static_cast<int>(std::floor((g.x - minX) / cell)) + 1;
      const int r = static_cast<int>(std::floor((maxY - g.y) / cell)) + 1;
      ASSERT_GE(c, 1);
      ASSERT_LE(c, out.Width);
      ASSERT_GE(r, 1);
      ASSERT_LE(r, out.Height);
      EXPECT_EQ(PixelOfColour(out.R(c, r), out.G(c, r), out.B(c, r)), (row - 1) * scene.width + (col - 1))
          << "pixel " << col << "," << row << " expected at cell " << c << "," << r;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 48);
}

TEST(Specchio, WindowSizesFollowTheLongerSide) {
  // Seen in this mirror the picture's image is taller than wide on the sheet.
  Scene tall;
  tall.pixelCount = 300;
  ASSERT_EQ(tall.Run().Status, 0);
  const PlainPicture t = ParsePlainPicture(ReadBytes(tall.dir.File("out.ppm")));
  EXPECT_EQ(t.Height, 300);
  EXPECT_LT(t.Width, 300);
  // A wide, low picture face gives a wider window.
  Scene wide;
  wide.picture = {{-80, 100, 40}, {80, 100, 40}, {80, 100, 30}, {-80, 100, 30}};
  wide.pixelCount = 300;
  ASSERT_EQ(wide.Run().Status, 0);
  const PlainPicture w = ParsePlainPicture(ReadBytes(wide.dir.File("out.ppm")));
  EXPECT_EQ(w.Width, 300);
  EXPECT_LT(w.Height, 300);
  EXPECT_EQ(w.HeaderLines[0], "P3");
  EXPECT_EQ(w.HeaderLines[1], "# test picture");
  EXPECT_EQ(w.Rgb.size(), static_cast<std::size_t>(w.Width) * w.Height * 3);
}

TEST(Specchio, MissedRaysAreReportedAndKeptOutOfThePicture) {
  // The eye below the top of the picture's image: the upper rows of the face
  // reflect upward and never reach the sheet.
  Scene scene;
  scene.picture = {{-40, 100, 160}, {40, 100, 160}, {40, 100, 40}, {-40, 100, 40}};
  scene.eye = {0, -150, 120};
  const RunResult run = scene.Run();
  ASSERT_EQ(run.Status, 0) << run.Transcript;
  const std::vector<std::string> lines = ConsoleLines(run.Transcript);
  EXPECT_EQ(lines[14], "ERRORE: modificare la giacitura dello specchio o del PV");
  EXPECT_EQ(lines[15], "Alcune rette non intersecano il piano XY");
  EXPECT_EQ(lines[16], "Premere tasto Invio...Minimo  " + lines[16].substr(30));
  // The window is the box of the rays that reached the sheet: the scene is
  // symmetric about x = 0 and so is the window, which the miss marker
  // (-999.999, -999.999) would have pulled to one side.
  const Real minX = ParseWindowValue(lines[16].substr(22), 0);
  const Real maxX = ParseWindowValue(lines[17], 0);
  EXPECT_NEAR(static_cast<double>(minX + maxX), 0, 1e-3);
  const std::size_t n = lines.size();
  EXPECT_EQ(lines[n - 5], "ERRORE");
  EXPECT_NE(lines[n - 4].find(" punti non intercettati dalla superficie dello specchio."), std::string::npos);
  const long misses = std::stol(lines[n - 4]);
  EXPECT_GT(misses, 0);
  EXPECT_EQ(lines[n - 3], "Immagine finale non corretta");
  EXPECT_EQ(lines[n - 2].substr(0, 22 + 21), "Premere tasto Invio...Scrivo file immagine ");
  // The output exists; the rows whose rays rose painted nothing, the others did.
  const PlainPicture out = ParsePlainPicture(ReadBytes(scene.dir.File("out.ppm")));
  std::vector<bool> seen(48, false);
  for (std::size_t i = 0; i + 2 < out.Rgb.size(); i += 3) {
    const int p = PixelOfColour(out.Rgb[i], out.Rgb[i + 1], out.Rgb[i + 2]);
    if (p >= 0) seen.at(p) = true;
  }
  EXPECT_FALSE(seen[0]);   // top-left pixel, above the eye
  EXPECT_TRUE(seen[47]);   // bottom-right pixel
}

TEST(Specchio, DegenerateRunsStopWithAMessageAndWriteNothing) {
  struct Case {
    const char* what;
    std::function<void(Scene&)> change;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"pixel count 0", [](Scene& s) { s.pixelCount = 0; }, "ERRORE: il numero di pixel"},
      {"pixel count negative", [](Scene& s) { s.pixelCount = -5; }, "ERRORE: il numero di pixel"},
      {"picture face without area", [](Scene& s) { s.picture = Face{}; }, "ERRORE: l'immagine riflessa"},
      {"window one cell high",
       [](Scene& s) {
         s.picture = {{-80, 100, 40}, {80, 100, 40}, {80, 100, 39.9_r}, {-80, 100, 39.9_r}};
         s.pixelCount = 3;
       },
       "ERRORE: l'immagine riflessa sul piano XY e' troppo stretta"},
      {"every ray rises", [](Scene& s) { s.eye = {0, -150, 5}; }, "ERRORE: nessuna retta riflessa"},
  };
  for (const Case& c : cases) {
    Scene scene;
    c.change(scene);
    const RunResult run = scene.Run();
    EXPECT_EQ(run.Status, 1) << c.what << "\n" << run.Transcript;
    const std::vector<std::string> lines = ConsoleLines(run.Transcript);
    EXPECT_NE(lines[lines.size() - 2].find(c.message), std::string::npos) << c.what << "\n" << run.Transcript;
    EXPECT_FALSE(FileExists(scene.dir.File("out.ppm"))) << c.what;
    EXPECT_EQ(ListDir(scene.dir.path()).size(), 4u) << c.what;
  }
}

TEST(Specchio, MirrorFileWithoutFaceStops) {
  Scene scene;
  const std::string input = scene.Write();
  scene.dir.Write("specchio.dxf", "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n");
  const RunResult run = RunInProcess(SpecchioProgram(), PlaneMirror{}, input);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Transcript.find("non contiene nessuna faccia 3DFACE"), std::string::npos) << run.Transcript;
  EXPECT_FALSE(FileExists(scene.dir.File("out.ppm")));
}

TEST(Specchio, OutputNamedAsAnInputIsRefusedAndTheInputKept) {
  Scene scene;
  scene.output = "in.ppm";
  const std::string input = scene.Write();
  const std::string before = ReadBytes(scene.dir.File("in.ppm"));
  const RunResult run = RunInProcess(SpecchioProgram(), PlaneMirror{}, input);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Transcript.find("e' anche un file di ingresso"), std::string::npos) << run.Transcript;
  EXPECT_EQ(ReadBytes(scene.dir.File("in.ppm")), before);
  EXPECT_EQ(ListDir(scene.dir.path()).size(), 4u);
}

TEST(Specchio, FileFailuresEndWithTheRuntimeReport) {
  {
    Scene scene;
    scene.output = "missing/out.ppm";
    const RunResult run = scene.Run();
    EXPECT_EQ(run.Status, 3);
    EXPECT_NE(run.Transcript.find("Runtime error 3: " + scene.dir.File("missing/out.ppm")), std::string::npos)
        << run.Transcript;
    EXPECT_EQ(ListDir(scene.dir.path()).size(), 4u);
  }
  {
    Scene scene;
    scene.Write();
    const RunResult run =
        RunInProcess(SpecchioProgram(), PlaneMirror{}, scene.dir.File("nessuno.txt") + "\n");
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Transcript.find("Runtime error 2: " + scene.dir.File("nessuno.txt")), std::string::npos);
  }
}

TEST(Specchio, ExistingOutputIsReplacedOnlyWhenTheRunSucceeds) {
  Scene scene;
  scene.Write();
  scene.dir.Write("out.ppm", "old");
  scene.pixelCount = 0;
  EXPECT_EQ(scene.Run().Status, 1);
  EXPECT_EQ(ReadBytes(scene.dir.File("out.ppm")), "old");
  scene.pixelCount = 50;
  EXPECT_EQ(scene.Run().Status, 0);
  EXPECT_EQ(ReadBytes(scene.dir.File("out.ppm")).substr(0, 3), "P3\n");
}

TEST(Specchio, ThreadsDoNotChangeOutputOrTranscript) {
  Scene scene;
  scene.width = 40;
  scene.height = 30;
  scene.pixelCount = 120;  // several pixels per cell: polygons overlap
  const RunResult one = scene.Run(1);
  const std::string reference = ReadBytes(scene.dir.File("out.ppm"));
  for (int threads : {2, 3, 8}) {
    const RunResult many = scene.Run(threads);
    EXPECT_EQ(many.Transcript, one.Transcript) << threads;
    EXPECT_EQ(ReadBytes(scene.dir.File("out.ppm")), reference) << threads;
  }
}

TEST(PlaneMirror, ReadsThePlaneOfTheLastFaceAndWarnsOnBentFaces) {
  TempDir dir;
  std::ostringstream out;
  std::istringstream in;
  Console console{&in, &out};
  const Face flat{{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};
  const Face slightlyBent{{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0.0005_r, 10}};
  const Face bent{{5, 0, 0}, {5, 10, 0}, {5, 10, 10}, {5.002_r, 0, 10}};
  PlaneMirror m;
  ReadMirrorFaceDxf(dir.Write("a.dxf", DxfWithFaces({flat, slightlyBent})), m, console);
  EXPECT_EQ(out.str(), "");
  EXPECT_NEAR(static_cast<double>(std::fabs(m.MirrorPlane.ny)), 1, 1e-12);
  ReadMirrorFaceDxf(dir.Write("b.dxf", DxfWithFaces({bent, flat, bent})), m, console);
  EXPECT_EQ(out.str(),
            "Attenzione: faccia specchio non piana. Uso i primi tre punti\r\n"
            "Attenzione: faccia specchio non piana. Uso i primi tre punti\r\n");
  EXPECT_NEAR(static_cast<double>(std::fabs(m.MirrorPlane.nx)), 1, 1e-12);
  EXPECT_NEAR(static_cast<double>(std::fabs(m.MirrorPlane.d)), 5, 1e-12);
  PlaneMirror none;
  ReadMirrorFaceDxf(dir.Write("c.dxf", DxfWithFaces({})), none, console);
  EXPECT_FALSE(none.HasFace);
}

}  // namespace

}  // namespace anamorfosi
