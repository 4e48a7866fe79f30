#include "pipeline/scene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pipeline/mirror_kinds.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

Scene Sample(const TempDir& dir) {
  Scene s;
  s.Mirror.Kind = "generico";
  s.Mirror.File = dir.File("mesh [v2] a b.dxf");
  s.Mirror.VerticalAxis = true;
  s.Eye = {0.1, -300.25, 1e-3};
  s.PictureFace = {{-20, 0, 35}, {20, 0, 35}, {20, 0, 5.5}, {-20, 0, 5.5}};
  s.Picture = dir.File("foto.jpg");
  s.Unit = Units::kInches;
  s.Pixels = 1234;
  s.Accuracy = 7;
  s.Antialias = 3;
  s.BlackBackground = true;
  s.Marks = false;
  s.ProgramWindow = true;
  OutputWindow w;
  w.MinX = -101.15876;
  w.MinY = -108.4561;
  w.MaxX = 101.1588;
  w.MaxY = 6.9707;
  w.CellSize = 0.1638932;
  w.Width = 1234;
  w.Height = 704;
  s.Window = w;
  return s;
}

std::string ReadError(const std::string& path) {
  try {
    ReadSceneFile(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(read)";
}

}  // namespace

TEST(Scene, FileReadsBackEveryValueWithItsFilesBesideIt) {
  TempDir dir;
  const Scene s = Sample(dir);
  const std::string text = SceneToJson(s, dir.path().string());
  EXPECT_NE(text.find("\"file\": \"mesh [v2] a b.dxf\""), std::string::npos) << text;  // relative, as written
  EXPECT_NE(text.find("\"eye\": [0.1, -300.25, 0.001]"), std::string::npos) << text;
  const Scene r = ReadSceneFile(dir.Write("scena.json", text));
  EXPECT_EQ(r.Mirror.Kind, "generico");
  EXPECT_EQ(std::filesystem::path(r.Mirror.File), std::filesystem::path(s.Mirror.File));
  EXPECT_TRUE(r.Mirror.VerticalAxis);
  EXPECT_EQ(r.Eye.y, s.Eye.y);
  EXPECT_EQ(r.Eye.z, static_cast<Real>(1e-3));
  EXPECT_EQ(r.PictureFace.C3.z, 5.5_r);
  EXPECT_EQ(std::filesystem::path(r.Picture), std::filesystem::path(s.Picture));
  EXPECT_EQ(r.Unit, Units::kInches);
  EXPECT_EQ(r.Pixels, 1234);
  EXPECT_EQ(r.Accuracy, 7);
  EXPECT_EQ(r.Antialias, 3);
  EXPECT_TRUE(r.BlackBackground);
  EXPECT_FALSE(r.Marks);
  EXPECT_TRUE(r.ProgramWindow);
  ASSERT_TRUE(r.Window);
  EXPECT_EQ(r.Window->MinX, static_cast<Real>(-101.15876));
  EXPECT_EQ(r.Window->Height, 704);
  // The same scene gives the same text again.
  EXPECT_EQ(SceneToJson(r, dir.path().string()), text);
}

TEST(Scene, BadFilesNameTheKey) {
  TempDir dir;
  const std::string good = SceneToJson(Sample(dir), dir.path().string());
  auto spoilt = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    const std::size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) t.replace(at, from.size(), to);
    return ReadError(dir.Write("bad.json", t));
  };
  EXPECT_NE(spoilt("\"eye\"", "\"eyes\"").find("\"eye\" is missing"), std::string::npos);
  EXPECT_NE(spoilt("\"units\": \"in\"", "\"units\": \"furlong\"").find("\"units\""), std::string::npos);
  EXPECT_NE(spoilt("\"accuracy\": 7", "\"accuracy\": 70").find("\"accuracy\""), std::string::npos);
  EXPECT_NE(spoilt("\"accuracy\": 7", "\"accuracy\": 7.5").find("\"accuracy\""), std::string::npos);
  // 2^32 + 4 would narrow to 4.
  EXPECT_NE(spoilt("\"accuracy\": 7", "\"accuracy\": 4294967300").find("\"accuracy\""), std::string::npos);
  EXPECT_NE(spoilt("\"type\": \"generico\"", "\"type\": \"ellissoide\"").find("\"type\""), std::string::npos);
  EXPECT_NE(spoilt("[0.1, -300.25, 0.001]", "[0.1, -300.25]").find("\"eye\""), std::string::npos);
  EXPECT_NE(spoilt("\"pixels\": 1234", "\"pixels\": 0").find("\"pixels\""), std::string::npos);
  EXPECT_NE(spoilt("{", "[").find("not a scene file"), std::string::npos);
  // Found by fuzz_scene: a number beyond a double's range stopped the parser
  // with an exception of another kind, which ended the program.
  EXPECT_NE(spoilt("\"accuracy\": 7", "\"accuracy\": 25888888888888888888E888").find("not a scene file"),
            std::string::npos);
  EXPECT_NE(ReadError(dir.Write("huge.json", "{\"mirror\": 1e999}")).find("not a scene file"), std::string::npos);
  EXPECT_NE(ReadError(dir.File("none.json")).find("cannot be read"), std::string::npos);
}


// A scene file is written by hand as often as by the command: a mirror's size
// of 0 or below made a print of nothing that looked like one.
TEST(Scene, MirrorSizesMustBeAboveZero) {
  TempDir dir;
  for (const MirrorKindEntry& kind : MirrorKinds()) {
    for (const KindParameter& p : kind.Parameters) {
      if (p.Value != KindValue::kLength) continue;
      for (const char* bad : {"0", "-5"}) {
        SCOPED_TRACE(std::string(kind.Name) + " " + p.Key + " " + bad);
        Scene s = Sample(dir);
        s.Mirror = SceneMirror{};
        s.Mirror.Kind = kind.Name;
        for (const KindParameter& q : kind.Parameters)
          if (q.Value == KindValue::kLength) s.Mirror.*q.Number = 30;
        std::string text = SceneToJson(s, dir.path().string());
        const std::string key = std::string("\"") + p.Key + "\": ";
        const std::size_t at = text.find(key + "30");
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, key.size() + 2, key + bad);
        const std::string error = ReadError(dir.Write("bad.json", text));
        const std::string said = key.substr(0, key.size() - 2) + " must be a number above 0";
        EXPECT_NE(error.find(said), std::string::npos) << error;
        try {
          ParseScene(text, "scene", dir.path().string());
        } catch (const PrintError& e) {
          EXPECT_EQ(e.Field, p.Key);
        }
      }
    }
  }
}

}  // namespace anamorfosi
