// Every program, run end to end on a small scene in a scratch folder: the
// cases (each program's parameter lines, picture face, mirror and eye) and the
// scene whose files the suites vary one at a time.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "testing/test_support.h"

#ifdef HAVE_SPECCHIO
#include "specchio/specchio_program.h"
#endif
#ifdef HAVE_CILINDRO
#include "cilindro/cilindro_program.h"
#endif
#ifdef HAVE_CONO
#include "cono/cono_program.h"
#endif
#ifdef HAVE_GENERICO
#include "generico/generico_program.h"
#endif

namespace anamorfosi {

namespace fs = std::filesystem;

namespace program_scenes {

// The lines of a parameter file, as text, so that any of them can be spoilt.
struct Params {
  std::string mirrorDxf, pictureDxf, inputPpm, output;
  std::string eye, pixelCount = "40", accuracy = "2";
};

struct ProgramCase {
  std::string name;
  bool hasMirrorDxf = false;
  bool hasAccuracy = true;
  Face picture;
  Face mirror;  // for the programs that read a mirror DXF
  std::string eye;
  // Extreme but valid: eyes all but on the mirror, a picture face touching it.
  std::vector<std::string> closeEyes;
  Face touching;
  std::function<std::string(const Params&)> lines;  // the parameter file
  std::function<RunResult(const std::string& input)> run;
};

inline std::string Crlf(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

// A plane mirror y = 0 facing the eye, the picture upright behind it.
const Face kPlanePicture{{-40, 100, 80}, {40, 100, 80}, {40, 100, 20}, {-40, 100, 20}};
const Face kPlaneMirror{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};

inline std::vector<ProgramCase> Programs() {
  std::vector<ProgramCase> all;
#ifdef HAVE_SPECCHIO
  {
    ProgramCase p;
    p.name = "specchio";
    p.hasMirrorDxf = true;
    p.hasAccuracy = false;
    p.picture = kPlanePicture;
    p.mirror = kPlaneMirror;
    p.eye = "0 -150 120";
    p.closeEyes = {"0 -1e-9 60", "0 -0.000001 60", "0 0 60", "-60 -1e-12 0"};
    p.touching = Face{{-40, 100, 80}, {40, 100, 80}, {40, 0, 20}, {-40, 0, 20}};
    p.lines = [](const Params& q) {
      return Crlf({q.pictureDxf, q.mirrorDxf, q.inputPpm, q.output, q.eye, q.pixelCount});
    };
    p.run = [](const std::string& in) { return RunInProcess(SpecchioProgram(), PlaneMirror{}, in); };
    all.push_back(p);
  }
#endif
#ifdef HAVE_CILINDRO
  {
    ProgramCase p;
    p.name = "cilindro";
    p.picture = Face{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};
    p.eye = "0 -300 250";
    p.closeEyes = {"0 -25.000000001 30", "0 -25 30", "25.0000001 0 0", "0 -25.001 1e-9"};
    // In front of the cylinder, its middle column on the surface.
    p.touching = Face{{-20, -25, 35}, {20, -25, 35}, {20, -25, 5}, {-20, -25, 5}};
    p.lines = [](const Params& q) {
      return Crlf({"0 0", "25", q.pictureDxf, q.inputPpm, q.output, q.eye, q.pixelCount, q.accuracy});
    };
    p.run = [](const std::string& in) { return RunInProcess(CilindroProgram(), Cylinder{}, in); };
    all.push_back(p);
  }
#endif
#ifdef HAVE_CONO
  {
    ProgramCase p;
    p.name = "cono";
    // Beside the axis: round it, the middle pixels of so coarse a picture
    // would have images wrapping round the axis, which the run leaves out.
    p.picture = Face{{1, 4.5, 200}, {13, 4.5, 200}, {13, -4.5, 200}, {1, -4.5, 200}};
    p.eye = "0 0 400";
    p.closeEyes = {"0 0 60.000000001", "0 0 60", "0.0000001 0 60", "30.000001 0 0", "15 0 30.000001"};
    // Level with the apex, which lies inside the face.
    p.touching = Face{{-10, 7.5, 60}, {10, 7.5, 60}, {10, -7.5, 60}, {-10, -7.5, 60}};
    p.lines = [](const Params& q) {
      return Crlf({"0 0", "30", "60", q.pictureDxf, q.inputPpm, q.output, q.eye, q.pixelCount, q.accuracy});
    };
    p.run = [](const std::string& in) { return RunInProcess(ConoProgram(), ConeMirror{}, in); };
    all.push_back(p);
  }
#endif
#ifdef HAVE_GENERICO
  {
    ProgramCase p;
    p.name = "generico";
    p.hasMirrorDxf = true;
    p.picture = kPlanePicture;
    p.mirror = kPlaneMirror;
    p.eye = "0 -150 120";
    p.closeEyes = {"0 -1e-9 60", "0 -0.000001 60", "0 0 60", "-60 -1e-12 0"};
    p.touching = Face{{-40, 100, 80}, {40, 100, 80}, {40, 0, 20}, {-40, 0, 20}};
    p.lines = [](const Params& q) {
      return Crlf({q.mirrorDxf, q.pictureDxf, q.inputPpm, q.output, q.eye, q.pixelCount, q.accuracy, "0"});
    };
    p.run = [](const std::string& in) { return RunInProcess(GenericoProgram(), FacetedMirror{}, in); };
    all.push_back(p);
  }
#endif
  return all;
}

// Test names carry the program's name; the parameter printed is the same.
inline void PrintTo(const ProgramCase& p, std::ostream* os) { *os << p.name; }

using Snapshot = std::map<std::string, std::string>;  // relative path -> bytes ("<dir>" for a folder)

inline Snapshot Take(const fs::path& root) {
  Snapshot s;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    s[rel] = e.is_directory() ? "<dir>" : ReadBytes(e.path().string());
  }
  return s;
}

// A number on the console that is not finite ("nan", "-inf", ...).
inline bool ShowsNonFiniteNumber(const std::string& transcript) {
  static const std::regex kNonFinite(R"((^|[\s:,(-])(nan|inf|infinity)($|[\s,)]))", std::regex::icase);
  return std::regex_search(transcript, kNonFinite);
}

inline bool HasClearMessage(const std::string& transcript) {
  return transcript.find("Runtime error ") != std::string::npos || transcript.find("ERRORE") != std::string::npos ||
         transcript.find("Errore") != std::string::npos;
}

// One program's scene in a scratch folder: a small valid run, whose parts the
// tests spoil one at a time.
class Scene {
 public:
  explicit Scene(const ProgramCase& program) : program_(program) {
    dxf = DxfWithFaces({program.picture});
    mirrorDxf = DxfWithFaces({program.mirror});
    ppm = PlainPpm(4, 3, DistinctColours(4, 3));
    params.pictureDxf = dir.File("faccia.dxf");
    params.mirrorDxf = program.hasMirrorDxf ? dir.File("specchio.dxf") : "";
    params.inputPpm = dir.File("in.ppm");
    params.output = dir.File("out.ppm");
    params.eye = program.eye;
  }

  // Writes the files (the parameter file from params unless parameterText is
  // set), runs, and keeps the folder's state before and after.
  RunResult Run() {
    dir.Write("faccia.dxf", dxf);
    if (program_.hasMirrorDxf) dir.Write("specchio.dxf", mirrorDxf);
    dir.Write("in.ppm", ppm);
    dir.Write("parametri.txt", parameterText ? *parameterText : program_.lines(params));
    before = Take(dir.path());
    const RunResult r = program_.run((parameterName.empty() ? dir.File("parametri.txt") : parameterName) + "\n");
    after = Take(dir.path());
    return r;
  }

  // The run could not complete: a message, a non-zero status, nothing written,
  // nothing changed.
  void ExpectStopped(const RunResult& r, const std::string& expected = {}) const {
    EXPECT_NE(r.Status, 0) << r.Transcript;
    EXPECT_TRUE(HasClearMessage(r.Transcript)) << r.Transcript;
    EXPECT_FALSE(ShowsNonFiniteNumber(r.Transcript)) << r.Transcript;
    if (!expected.empty()) {
      EXPECT_NE(r.Transcript.find(expected), std::string::npos) << r.Transcript;
    }
    EXPECT_EQ(before, after) << "files added, removed or changed; transcript:\n" << r.Transcript;
  }
  // The run completed: status 0, a readable output picture, the inputs unchanged.
  PlainPicture ExpectCompleted(const RunResult& r, const std::string& output = "out.ppm") const {
    EXPECT_EQ(r.Status, 0) << r.Transcript;
    EXPECT_FALSE(ShowsNonFiniteNumber(r.Transcript)) << r.Transcript;
    Snapshot inputs = after;
    const auto out = inputs.find(output);
    if (out == inputs.end()) {
      ADD_FAILURE() << "no output " << output << "; transcript:\n" << r.Transcript;
      return {};
    }
    const PlainPicture picture = ParsePlainPicture(out->second);
    inputs.erase(out);
    EXPECT_EQ(before, inputs);
    EXPECT_GE(picture.Width, 1);
    EXPECT_GE(picture.Height, 1);
    return picture;
  }
  // Either of the two, never anything in between.
  void ExpectCompletedOrStopped(const RunResult& r) const {
    if (r.Status == 0) {
      ExpectCompleted(r);
    } else {
      ExpectStopped(r);
    }
  }

  TempDir dir;
  Params params;
  std::string dxf, mirrorDxf, ppm;
  std::optional<std::string> parameterText;
  std::string parameterName;  // the name typed at the prompt; the scene's parameter file when empty
  Snapshot before, after;

 private:
  const ProgramCase& program_;
};


}  // namespace program_scenes

}  // namespace anamorfosi
