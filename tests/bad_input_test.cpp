// Bad input, end to end: whatever the parameter file, DXF files and pictures
// hold, a run either completes or stops with a clear message (the runtime
// report or an Italian message), a non-zero status and no output file (nor a
// temporary one); the input files are never changed. Every program that is
// built is run through the same cases.
#include "testing/program_scenes.h"

namespace anamorfosi {

namespace fs = std::filesystem;
using namespace program_scenes;

namespace {

class BadInput : public ::testing::TestWithParam<ProgramCase> {};

std::string Garbage(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

TEST_P(BadInput, TheSceneItselfRuns) {
  Scene s(GetParam());
  s.ExpectCompleted(s.Run());
}

TEST_P(BadInput, MissingFilesEndWithTheRuntimeReport) {
  {
    Scene s(GetParam());
    s.parameterName = s.dir.File("assente.txt");
    s.ExpectStopped(s.Run(), "Runtime error 2: " + s.dir.File("assente.txt"));
  }
  {
    Scene s(GetParam());
    s.parameterName = s.dir.File("nessuna/parametri.txt");
    s.ExpectStopped(s.Run(), "Runtime error 3: " + s.dir.File("nessuna/parametri.txt"));
  }
  for (std::string Params::*field : {&Params::pictureDxf, &Params::mirrorDxf, &Params::inputPpm}) {
    Scene s(GetParam());
    if ((s.params.*field).empty()) continue;
    s.params.*field = s.dir.File("assente.dat");
    s.ExpectStopped(s.Run(), "Runtime error 2: " + s.dir.File("assente.dat"));
  }
}

TEST_P(BadInput, EmptyFilesStop) {
  for (std::string Scene::*file : {&Scene::dxf, &Scene::mirrorDxf, &Scene::ppm}) {
    Scene s(GetParam());
    if (file == &Scene::mirrorDxf && !GetParam().hasMirrorDxf) continue;
    s.*file = "";
    s.ExpectStopped(s.Run());
  }
  Scene s(GetParam());
  s.parameterText = "";
  s.ExpectStopped(s.Run());
}

TEST_P(BadInput, DirectoryGivenAsAFile) {
  {
    Scene s(GetParam());
    s.parameterName = s.dir.path().string();
    s.ExpectStopped(s.Run(), "Runtime error 5: " + s.dir.path().string());
  }
  for (std::string Params::*field : {&Params::pictureDxf, &Params::mirrorDxf, &Params::inputPpm}) {
    Scene s(GetParam());
    if ((s.params.*field).empty()) continue;
    fs::create_directory(s.dir.File("cartella"));
    s.params.*field = s.dir.File("cartella");
    s.ExpectStopped(s.Run(), "Runtime error 5: " + s.dir.File("cartella"));
  }
  // An output name that is a folder: the folder stays, nothing is left beside it.
  Scene s(GetParam());
  fs::create_directory(s.dir.File("cartella"));
  s.params.output = s.dir.File("cartella");
  s.ExpectStopped(s.Run(), s.dir.File("cartella"));
}

TEST_P(BadInput, UnreadableFiles) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root: a file without read permission is still readable";
  for (std::string name : {"parametri.txt", "faccia.dxf", "in.ppm"}) {
    Scene s(GetParam());
    s.dir.Write(name, "");
    fs::permissions(s.dir.File(name), fs::perms::none);
    // Run() rewrites the files, which fails on a file without permissions: write them first.
    const std::string input = s.dir.File("parametri.txt") + "\n";
    s.dir.Write("faccia.dxf", s.dxf);
    if (GetParam().hasMirrorDxf) s.dir.Write("specchio.dxf", s.mirrorDxf);
    s.dir.Write("in.ppm", s.ppm);
    s.dir.Write("parametri.txt", GetParam().lines(s.params));
    fs::permissions(s.dir.File(name), fs::perms::none);
    const RunResult r = GetParam().run(input);
    EXPECT_NE(r.Status, 0) << r.Transcript;
    EXPECT_NE(r.Transcript.find("Runtime error 5: " + s.dir.File(name)), std::string::npos) << r.Transcript;
    EXPECT_FALSE(FileExists(s.dir.File("out.ppm")));
    fs::permissions(s.dir.File(name), fs::perms::owner_all);
  }
}

TEST_P(BadInput, NumbersThatAreNotNumbers) {
  const int eyeLine = GetParam().name == "specchio" || GetParam().name == "generico" ? 5
                      : GetParam().name == "cilindro"                                ? 6
                                                                                     : 7;
  for (const std::string& bad : std::vector<std::string>{"abc", "1e5000", "-1e5000", "nan", "NaN", "inf", "-inf",
                                                         "0x10", "1..2", "--1", std::string(100, '9') + "e99999"}) {
    Scene s(GetParam());
    s.params.eye = "0 " + bad + " 120";
    s.ExpectStopped(s.Run(), "Runtime error 106: " + s.dir.File("parametri.txt") + " (riga " +
                                 std::to_string(eyeLine) + ")");
  }
  for (const std::string bad : {"abc", "1e3", "12.5", "2147483648", "-2147483649", "99999999999999999999999"}) {
    Scene s(GetParam());
    s.params.pixelCount = bad;
    s.ExpectStopped(s.Run(), "Runtime error 106: " + s.dir.File("parametri.txt"));
  }
  if (GetParam().hasAccuracy) {
    Scene s(GetParam());
    s.params.accuracy = "nan";
    s.ExpectStopped(s.Run(), "Runtime error 106: " + s.dir.File("parametri.txt"));
  }
  // A DXF coordinate that is not a number, in the picture face and in the mirror.
  {
    Scene s(GetParam());
    const std::size_t at = s.dxf.find("\r\n 20\r\n") + 7;
    s.dxf.replace(at, s.dxf.find("\r\n", at) - at, "1e5000");
    s.ExpectStopped(s.Run(), "Runtime error 106: " + s.dir.File("faccia.dxf"));
  }
  if (GetParam().hasMirrorDxf) {
    Scene s(GetParam());
    const std::size_t at = s.mirrorDxf.find("\r\n 30\r\n") + 7;
    s.mirrorDxf.replace(at, s.mirrorDxf.find("\r\n", at) - at, "nan");
    s.ExpectStopped(s.Run(), "Runtime error 106: " + s.dir.File("specchio.dxf"));
  }
}

TEST_P(BadInput, PixelCountZeroNegativeAndHuge) {
  for (const std::string count : {"0", "-1", "-2147483648"}) {
    Scene s(GetParam());
    s.params.pixelCount = count;
    s.ExpectStopped(s.Run(), "almeno 1");
  }
  // Huge is held to the limit of 5000 cells on the longer side. Run where the
  // window is the box of the reflected face (the plane mirrors), with a face
  // two hundred times wider than high, so that the picture stays small.
  if (!GetParam().hasMirrorDxf) return;
  Scene s(GetParam());
  s.dxf = DxfWithFaces({Face{{-40, 100, 50.4_r}, {40, 100, 50.4_r}, {40, 100, 50}, {-40, 100, 50}}});
  s.params.pixelCount = "2147483647";
  const PlainPicture out = s.ExpectCompleted(s.Run());
  EXPECT_EQ(out.Width, 5000);
  EXPECT_LT(out.Height, 100);
}

TEST_P(BadInput, AccuracyOutOfRangeIsHeldToItsLimits) {
  if (!GetParam().hasAccuracy) GTEST_SKIP() << GetParam().name << " has no accuracy line";
  for (const std::string accuracy : {"0", "-7", "21", "2147483647", "-2147483648"}) {
    Scene s(GetParam());
    s.params.accuracy = accuracy;
    const RunResult r = s.Run();
    s.ExpectCompleted(r);
    EXPECT_NE(r.Transcript.find("Accuratezza di calcolo  (1..20)       : " + FormatInteger(std::stol(accuracy))),
              std::string::npos)
        << r.Transcript;
  }
}

TEST_P(BadInput, NamesLongerThan80CharactersAreCut) {
  // Every name line holds 80 characters that name a real file, then more.
  Scene s(GetParam());
  auto longName = [&](const std::string& stem) {
    std::string name = s.dir.path().string() + "/" + stem;
    name += std::string(80 - name.size(), 'x');
    return name;
  };
  const std::string picture = longName("faccia"), mirror = longName("specchio"), input = longName("in"),
                    output = longName("out");
  s.params.pictureDxf = picture + "-and-the-rest.dxf";
  s.params.inputPpm = input + std::string(500, 'y');
  s.params.output = output + ".ppm";
  if (GetParam().hasMirrorDxf) s.params.mirrorDxf = mirror + "!";
  s.dir.Write(fs::path(picture).filename().string(), s.dxf);
  s.dir.Write(fs::path(mirror).filename().string(), s.mirrorDxf);
  s.dir.Write(fs::path(input).filename().string(), s.ppm);
  const RunResult r = s.Run();
  s.ExpectCompleted(r, fs::path(output).filename().string());
  EXPECT_NE(r.Transcript.find("Scrivo file immagine " + output + "\r\n"), std::string::npos) << r.Transcript;
}

TEST_P(BadInput, LinesOfAMillionCharacters) {
  const std::string million(1000000, 'a');
  {
    // A name line: cut at 80 characters, then not found.
    Scene s(GetParam());
    s.params.inputPpm = s.dir.path().string() + "/" + million;
    const std::string cut = s.params.inputPpm.substr(0, 80);
    s.ExpectStopped(s.Run(), "Runtime error 2: " + cut + "\r\n");
  }
  {
    // A number of a million digits is not a number.
    Scene s(GetParam());
    s.params.eye = "0 -1" + std::string(1000000, '0') + " 120";
    s.ExpectStopped(s.Run(), "Runtime error 106");
  }
  {
    // The rest of a number line is skipped, however long.
    Scene s(GetParam());
    s.params.pixelCount += " " + million;
    s.ExpectCompleted(s.Run());
  }
  {
    // A DXF layer name of a million characters inside the face.
    Scene s(GetParam());
    const std::size_t layer = s.dxf.find("\r\n  8\r\n", s.dxf.find("3DFACE")) + 7;
    s.dxf.replace(layer, s.dxf.find("\r\n", layer) - layer, million);
    s.ExpectCompleted(s.Run());
  }
  {
    // A picture comment of a million characters: cut to 72 in the output.
    Scene s(GetParam());
    s.ppm = "P3\n#" + million + "\n4 3\n255\n" + s.ppm.substr(s.ppm.find("255\n") + 4);
    const PlainPicture out = s.ExpectCompleted(s.Run());
    ASSERT_GE(out.HeaderLines.size(), 2u);
    EXPECT_EQ(out.HeaderLines[1], "#" + std::string(71, 'a'));
  }
  {
    // A sample of a million digits is clamped to the maximum.
    Scene s(GetParam());
    s.ppm = "P3\n4 3\n255\n" + std::string(1000000, '7') + s.ppm.substr(s.ppm.find("255\n") + 4 + 1);
    s.ExpectCompleted(s.Run());
  }
}

TEST_P(BadInput, BinaryGarbageInEveryKindOfFile) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    {
      Scene s(GetParam());
      s.parameterText = Garbage(4096, seed);
      s.ExpectStopped(s.Run());
    }
    {
      Scene s(GetParam());
      s.dxf = Garbage(4096, seed);
      s.ExpectStopped(s.Run());
    }
    if (GetParam().hasMirrorDxf) {
      Scene s(GetParam());
      s.mirrorDxf = Garbage(4096, seed);
      s.ExpectStopped(s.Run());
    }
    {
      Scene s(GetParam());
      s.ppm = Garbage(4096, seed);
      s.ExpectStopped(s.Run(), "Errore: il file " + s.dir.File("in.ppm"));
    }
    {
      // A valid header over garbage: P6 takes any bytes, P3 refuses them.
      Scene s(GetParam());
      s.ppm = "P6\n4 3\n255\n" + Garbage(36, seed);
      s.ExpectCompleted(s.Run());
      s.ppm = "P3\n4 3\n255\n" + Garbage(4096, seed);
      s.ExpectStopped(s.Run(), "Errore: il file " + s.dir.File("in.ppm"));
    }
  }
}

// Every prefix of a small valid file: the run completes or stops cleanly.
template <class Check>
void ForEveryPrefix(const ProgramCase& program, std::string Scene::*file, Check check) {
  Scene full(program);
  const std::string whole = full.*file;
  for (std::size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes of " + std::to_string(whole.size()));
    Scene s(program);
    s.*file = whole.substr(0, n);
    const RunResult r = s.Run();
    check(s, r, n);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST_P(BadInput, DxfFilesCutShortAnywhere) {
  ForEveryPrefix(GetParam(), &Scene::dxf, [](Scene& s, const RunResult& r, std::size_t n) {
    s.ExpectCompletedOrStopped(r);
    // Until the group code 0 after the face, the face is cut short and not used.
    if (n < s.dxf.find("  0\r\n", s.dxf.find("3DFACE")) + 5) {
      EXPECT_NE(r.Status, 0);
    }
  });
  if (GetParam().hasMirrorDxf) {
    ForEveryPrefix(GetParam(), &Scene::mirrorDxf, [](Scene& s, const RunResult& r, std::size_t n) {
      s.ExpectCompletedOrStopped(r);
      if (n < s.mirrorDxf.find("  0\r\n", s.mirrorDxf.find("3DFACE")) + 5) {
        EXPECT_NE(r.Status, 0);
      }
    });
  }
}

TEST_P(BadInput, PicturesCutShortAnywhere) {
  auto check = [](Scene& s, const RunResult& r, std::size_t n) {
    s.ExpectCompletedOrStopped(r);
    // Before the last sample has begun, the data is incomplete.
    const std::size_t lastSample = s.ppm.find_last_not_of(" \n", s.ppm.find_last_of("0123456789") - 1) + 1;
    if (s.ppm[0] == 'P' && s.ppm[1] == '3' && n <= s.ppm.find_last_of(" \n", lastSample)) {
      EXPECT_NE(r.Status, 0);
    }
  };
  ForEveryPrefix(GetParam(), &Scene::ppm, check);
  // The binary form: every byte counts.
  Scene p6(GetParam());
  std::string binary = "P6\n# binary\n4 3\n255\n";
  for (int v : DistinctColours(4, 3)) binary.push_back(static_cast<char>(v & 0xff));
  for (std::size_t n = 0; n < binary.size(); ++n) {
    SCOPED_TRACE("P6 prefix of " + std::to_string(n) + " bytes");
    Scene s(GetParam());
    s.ppm = binary.substr(0, n);
    s.ExpectStopped(s.Run());
    if (HasFailure()) return;
  }
}

TEST_P(BadInput, OutputInAMissingFolder) {
  {
    Scene s(GetParam());
    s.params.output = s.dir.File("nessuna/out.ppm");
    s.ExpectStopped(s.Run(), "Runtime error 3: " + s.dir.File("nessuna/out.ppm"));
  }
}

TEST_P(BadInput, OutputInAReadOnlyFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root: a read-only folder is still writable";
  Scene s(GetParam());
  fs::create_directory(s.dir.File("sola"));
  fs::permissions(s.dir.File("sola"), fs::perms::owner_read | fs::perms::owner_exec);
  s.params.output = s.dir.File("sola/out.ppm");
  s.ExpectStopped(s.Run(), "Runtime error 5: " + s.dir.File("sola/out.ppm"));
  fs::permissions(s.dir.File("sola"), fs::perms::owner_all);
}

TEST_P(BadInput, OutputNamedAsAnInput) {
  std::vector<std::string> inputs = {"parametri.txt", "faccia.dxf", "in.ppm"};
  if (GetParam().hasMirrorDxf) inputs.push_back("specchio.dxf");
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    Scene s(GetParam());
    // Spelt another way, so that only the file itself can tell.
    s.params.output = s.dir.path().string() + "/./" + input;
    s.ExpectStopped(s.Run(), "e' anche un file di ingresso");
  }
  // A NUL byte in the output name would make the system see a shorter name:
  // that of an input, or of another file.
  for (const std::string& name : {std::string("in.ppm"), std::string("nuovo.ppm")}) {
    Scene s(GetParam());
    s.params.output = s.dir.File(name) + std::string(1, '\0') + "x.ppm";
    s.ExpectStopped(s.Run());
  }
}

// Extreme but valid geometry: each run completes with a picture or stops with
// its message; a sanitizer build also catches any undefined conversion of an
// infinite or undefined coordinate to a cell index on the way.
TEST_P(BadInput, ExtremeGeometry) {
  const ProgramCase& p = GetParam();
  {
    // The eye in the plane of the picture face: the face is seen edge-on.
    Scene s(p);
    const Face& f = p.picture;
    const Point3 eye = f.C1 + 4 * (f.C2 - f.C1);
    s.params.eye = std::to_string(static_cast<double>(eye.x)) + " " + std::to_string(static_cast<double>(eye.y)) +
                   " " + std::to_string(static_cast<double>(eye.z));
    s.ExpectCompletedOrStopped(s.Run());
  }
  for (const std::string& eye : p.closeEyes) {
    SCOPED_TRACE("eye " + eye);
    Scene s(p);
    s.params.eye = eye;
    s.ExpectCompletedOrStopped(s.Run());
  }
  {
    Scene s(p);
    s.dxf = DxfWithFaces({p.touching});
    s.ExpectCompletedOrStopped(s.Run());
  }
  {
    // The eye on the sheet, and the eye far away.
    for (const std::string eye : {"0 -150 0", "0 -1e30 1e30", "1e-30 1e-30 1e-30"}) {
      SCOPED_TRACE(eye);
      Scene s(p);
      s.params.eye = eye;
      s.ExpectCompletedOrStopped(s.Run());
    }
  }
  {
    // A picture face of no extent, and one of a single long line.
    Scene s(p);
    s.dxf = DxfWithFaces({Face{p.picture.C1, p.picture.C1, p.picture.C1, p.picture.C1}});
    s.ExpectStopped(s.Run());
    Scene t(p);
    t.dxf = DxfWithFaces({Face{p.picture.C1, p.picture.C2, p.picture.C2, p.picture.C1}});
    t.ExpectCompletedOrStopped(t.Run());
  }
}

// The plane-mirror scenes (specchio and generico share them): a flat window,
// a mirror of one degenerate triangle.
TEST_P(BadInput, ExtremePlaneMirrorGeometry) {
  const ProgramCase& p = GetParam();
  if (!p.hasMirrorDxf) GTEST_SKIP() << p.name << " has no mirror file";
  {
    // A sliver of the picture face, ten million times wider than high: the
    // window (the box of the reflected face) would have 0 cells on its
    // shorter side, and the run says so.
    Scene s(p);
    const Face& f = p.picture;
    const Real thin = 1e-7_r;
    s.dxf = DxfWithFaces({Face{f.C1, f.C2, f.C2 + thin * (f.C3 - f.C2), f.C1 + thin * (f.C4 - f.C1)}});
    s.ExpectStopped(s.Run(), "avrebbe 0 pixel");
  }
  for (const Face& mirror : {Face{{-60, 0, 0}, {60, 0, 0}, {0, 0, 0}, {0, 0, 0}},      // three points on a line
                             Face{{-60, 0, 0}, {-60, 0, 0}, {-60, 0, 0}, {-60, 0, 0}}}) {  // one point
    Scene s(p);
    s.mirrorDxf = DxfWithFaces({mirror});
    s.ExpectStopped(s.Run());
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, BadInput, ::testing::ValuesIn(Programs()),
                         [](const ::testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

}  // namespace

}  // namespace anamorfosi
