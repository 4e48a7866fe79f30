#include "pipeline/mirror_kinds.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <utility>
#include <variant>

#include "pipeline/pipeline_files.h"
#include "pipeline/vista.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

// A scene of the kind with a value of its own for each of the kind's values,
// its files written in dir (a plane mirror standing on the sheet, a pyramid).
Scene SceneOfKind(const MirrorKindEntry& k, const TempDir& dir) {
  Scene s;
  s.Mirror.Kind = k.Name;
  Real length = 12.125_r;
  for (const KindParameter& p : k.Parameters) {
    switch (p.Value) {
      case KindValue::kPlanPoint:
        s.Mirror.AxisX = 3.5_r;
        s.Mirror.AxisY = -4.25_r;
        break;
      case KindValue::kLength:
        s.Mirror.*p.Number = length;
        length *= 3;
        break;
      case KindValue::kFile: {
        const Point3 apex{0, 0, 50};
        const std::vector<Face> faces =
            std::string(k.Name) == "specchio"
                ? std::vector<Face>{{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}}}
                : std::vector<Face>{{apex, {30, 0, 0}, {0, 30, 0}, {0, 30, 0}}, {apex, {0, 30, 0}, {-30, 0, 0}, {-30, 0, 0}},
                                    {apex, {-30, 0, 0}, {0, -30, 0}, {0, -30, 0}}, {apex, {0, -30, 0}, {30, 0, 0}, {30, 0, 0}}};
        s.Mirror.*p.Text = dir.Write(std::string(k.Name) + ".dxf", DxfWithFaces(faces));
        break;
      }
      case KindValue::kFlag: s.Mirror.*p.Flag = true; break;
      // Off the axis in plan, standing on the sheet with the first length as its radius.
      case KindValue::kPoint: s.Mirror.*p.Point = {5.5_r, -2.75_r, 12.125_r}; break;
      case KindValue::kAngle: s.Mirror.*p.Number = 37.5_r; break;
    }
  }
  s.Eye = {0, -300, 250};
  s.PictureFace = {{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};
  s.Picture = dir.File("in.ppm");
  return s;
}

// Where the kind stands in plan: its plan point, or the plan place of its point.
std::pair<Real, Real> PlanPlace(const MirrorKindEntry& k, const Scene& s) {
  for (const KindParameter& p : k.Parameters)
    if (p.Value == KindValue::kPoint) return {(s.Mirror.*p.Point).x, (s.Mirror.*p.Point).y};
  return {s.Mirror.AxisX, s.Mirror.AxisY};
}

// Words joined (appended in turn, so that no text is inserted before another).
std::string Joined(std::initializer_list<const char*> words) {
  std::string s;
  for (const char* w : words) s.append(w);
  return s;
}

std::string FieldOfBuild(const Scene& s) {
  MappingSetup setup;
  PrintReport report;
  try {
    BuildSceneMirror(s, FileMirrorReader(), setup, report);
  } catch (const PrintError& e) {
    return e.Field;
  }
  return "(built)";
}

}  // namespace

TEST(MirrorKinds, EachKindIsFoundByItsKindAndItsNameAndHoldsConsistentValues) {
  std::set<std::string> names, words;
  std::set<std::string> kinds;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    EXPECT_TRUE(names.insert(k.Name).second);
    EXPECT_TRUE(words.insert(k.Words).second);
    EXPECT_TRUE(kinds.insert(k.Name).second);
    EXPECT_EQ(&KindEntry(k.Name), &k);
    EXPECT_EQ(FindKind(k.Name), &k);
    EXPECT_STREQ(MirrorKindName(k.Name), k.Name);
    ASSERT_TRUE(k.Build && k.FootprintOf && k.FootprintLabel && k.ReportDetails && k.TitleDetails && k.DefaultEye &&
                k.EyeRefusal);
    EXPECT_GT(k.ProgramMargin, 0);
    std::set<std::string> options, keys;
    for (const KindParameter& p : k.Parameters) {
      EXPECT_TRUE(options.insert(p.Option).second) << p.Option;
      EXPECT_TRUE(keys.insert(p.Key).second) << p.Key;
      // Each value is held where its way of writing says.
      EXPECT_EQ(p.Number != nullptr, p.Value == KindValue::kLength || p.Value == KindValue::kAngle) << p.Key;
      EXPECT_EQ(p.Text != nullptr, p.Value == KindValue::kFile) << p.Key;
      EXPECT_EQ(p.Flag != nullptr, p.Value == KindValue::kFlag) << p.Key;
      EXPECT_EQ(p.Point != nullptr, p.Value == KindValue::kPoint) << p.Key;
      EXPECT_TRUE(p.ZWhenLeftOut == nullptr || p.Value == KindValue::kPoint) << p.Key;
      // A value the command needs has no default.
      EXPECT_EQ(std::string(p.Default).empty(), p.Required) << p.Key;
    }
  }
  EXPECT_EQ(FindKind("ellissoide"), nullptr);
  EXPECT_EQ(KindNameList(), "cilindro, cono, specchio, generico or sfera");
}

TEST(MirrorKinds, EveryKindRoundTripsThroughASceneFile) {
  TempDir dir;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    const Scene s = SceneOfKind(k, dir);
    const std::string text = SceneToJson(s, dir.path().string());
    EXPECT_NE(text.find(Joined({"\"type\": \"", k.Name, "\""})), std::string::npos) << text;
    for (const KindParameter& p : k.Parameters)
      EXPECT_NE(text.find(Joined({"\"", p.Key, "\":"})), std::string::npos) << p.Key << "\n" << text;
    const Scene r = ReadSceneFile(dir.Write("scena.json", text));
    EXPECT_EQ(r.Mirror.Kind, std::string(k.Name));
    EXPECT_EQ(r.Mirror.AxisX, s.Mirror.AxisX);
    EXPECT_EQ(r.Mirror.AxisY, s.Mirror.AxisY);
    EXPECT_EQ(r.Mirror.Radius, s.Mirror.Radius);
    EXPECT_EQ(r.Mirror.Height, s.Mirror.Height);
    EXPECT_EQ(r.Mirror.File, s.Mirror.File);
    EXPECT_EQ(r.Mirror.VerticalAxis, s.Mirror.VerticalAxis);
    EXPECT_EQ(r.Mirror.Centre.x, s.Mirror.Centre.x);
    EXPECT_EQ(r.Mirror.Centre.y, s.Mirror.Centre.y);
    EXPECT_EQ(r.Mirror.Centre.z, s.Mirror.Centre.z);
    EXPECT_EQ(r.Mirror.Smooth, s.Mirror.Smooth);
    EXPECT_EQ(r.Mirror.Crease, s.Mirror.Crease);
    // And the file it writes again is the same, byte for byte.
    EXPECT_EQ(SceneToJson(r, dir.path().string()), text);
  }
}

TEST(MirrorKinds, ASceneFileLackingAKindsValueIsRefusedWithItsKey) {
  TempDir dir;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    const std::string text = SceneToJson(SceneOfKind(k, dir), dir.path().string());
    for (const KindParameter& p : k.Parameters) {
      if (p.Value == KindValue::kFlag) continue;  // may be left out
      SCOPED_TRACE(std::string(k.Name) + " " + p.Key);
      // The key renamed: the value is missing.
      std::string without = text;
      const std::string quoted = Joined({"\"", p.Key, "\":"});
      without.replace(without.find(quoted), quoted.size(), Joined({"\"x", p.Key, "\":"}));
      try {
        ParseScene(without, "s.json", dir.path().string());
        ADD_FAILURE() << "read without " << p.Key;
      } catch (const PrintError& e) {
        EXPECT_EQ(e.Field, p.Key);
        EXPECT_EQ(std::string(e.what()), Joined({"s.json: \"", p.Key, "\" is missing"}));
      }
    }
  }
}

TEST(MirrorKinds, TheSceneMirrorIsBuiltAsTheKindsModelWithItsAxisStep) {
  TempDir dir;
  const std::size_t expected[] = {0, 1, 2, 3, 4};  // the alternatives of AnyMirrorModel, in the registry's order
  std::size_t i = 0;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    const Scene s = SceneOfKind(k, dir);
    MappingSetup setup;
    PrintReport report;
    const AnyMirrorModel model = BuildSceneMirror(s, FileMirrorReader(), setup, report);
    EXPECT_EQ(model.index(), expected[i++]);
    EXPECT_EQ(setup.ProjectionCentre.y, s.Eye.y);
    EXPECT_EQ(setup.Accuracy, s.Accuracy);
    // The cone and the mesh in its vertical mode leave out pixels round their axis.
    const bool axis = std::string(k.Name) == "cono" || std::string(k.Name) == "generico";
    EXPECT_EQ(setup.AxisExclusion, axis);
    if (std::string(k.Name) == "cono") {
      EXPECT_EQ(setup.AxisFoot.x, s.Mirror.AxisX);
      EXPECT_EQ(setup.AxisFoot.y, s.Mirror.AxisY);
    }
    if (std::string(k.Name) == "generico") {
      EXPECT_EQ(setup.AxisFoot.x, s.Eye.x);
      EXPECT_EQ(setup.AxisFoot.y, s.Eye.y);
      EXPECT_EQ(report.FacetCount, 4);
    }
    // The first side of the face is 40: its thousandth is the axial tolerance.
    EXPECT_EQ(setup.AxialTolerance, axis ? Real(40) / 1000 : 0);
    // WithSceneMirror hands fn the same model.
    MappingSetup again;
    PrintReport againReport;
    const std::size_t seen =
        WithSceneMirror(s, FileMirrorReader(), again, againReport, [](const auto& m) { return AnyMirrorModel(m).index(); });
    EXPECT_EQ(seen, model.index());
  }
}

TEST(MirrorKinds, AMirrorThatCannotBeBuiltNamesItsOption) {
  TempDir dir;
  Scene cylinder = SceneOfKind(KindEntry("cilindro"), dir);
  cylinder.Mirror.Radius = 0;
  EXPECT_EQ(FieldOfBuild(cylinder), "radius");
  Scene cone = SceneOfKind(KindEntry("cono"), dir);
  cone.Mirror.Height = -1;
  EXPECT_EQ(FieldOfBuild(cone), "height");
  cone.Mirror.Radius = 0;
  EXPECT_EQ(FieldOfBuild(cone), "base-radius");
  Scene sphere = SceneOfKind(KindEntry("sfera"), dir);
  sphere.Mirror.Centre.z = -sphere.Mirror.Radius;
  EXPECT_EQ(FieldOfBuild(sphere), "centre");
  sphere.Mirror.Centre.z = 1 - sphere.Mirror.Radius;
  EXPECT_EQ(FieldOfBuild(sphere), "(built)");
  sphere.Mirror.Radius = 0;
  EXPECT_EQ(FieldOfBuild(sphere), "radius");
  for (const std::string kind : {"specchio", "generico"}) {
    Scene s = SceneOfKind(KindEntry(kind), dir);
    s.Mirror.File = dir.File("none.dxf");
    EXPECT_EQ(FieldOfBuild(s), "mirror");
    s.Mirror.File = dir.Write("empty.dxf", "0\nEOF\n");
    EXPECT_EQ(FieldOfBuild(s), "mirror");
  }
}

TEST(MirrorKinds, FootprintsAndEyesComeFromTheEntry) {
  TempDir dir;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    const Scene s = SceneOfKind(k, dir);
    const Footprint f = MirrorFootprint(s, FileMirrorReader());
    const std::string name = k.Name;
    if (name == "cilindro" || name == "cono") {
      EXPECT_TRUE(f.Circle);
      EXPECT_EQ(f.CentreX, s.Mirror.AxisX);
      EXPECT_EQ(f.Radius, s.Mirror.Radius);
    } else if (name == "specchio") {
      // The side on the sheet, centred on its middle.
      ASSERT_EQ(f.Segments.size(), 1u);
      EXPECT_EQ(f.CentreX, 0);
    } else if (name == "generico") {
      EXPECT_TRUE(f.Empty());
    } else if (name == "sfera") {
      // The ball's outline from above, round its centre's foot.
      EXPECT_TRUE(f.Circle);
      EXPECT_EQ(f.CentreX, s.Mirror.Centre.x);
      EXPECT_EQ(f.CentreY, s.Mirror.Centre.y);
      EXPECT_EQ(f.Radius, s.Mirror.Radius);
    }
    const EyeChoice eye = k.DefaultEye(s, FileMirrorReader());
    // Every kind places its eye (the mesh from its bounds), above the sheet.
    EXPECT_TRUE(eye.Refusal.empty()) << eye.Refusal;
    if (eye.Refusal.empty()) {
      EXPECT_GT(eye.Eye.z, 0);
    }
  }
  Scene inside = SceneOfKind(KindEntry("cilindro"), dir);
  inside.Eye = {inside.Mirror.AxisX + 1, inside.Mirror.AxisY, 100};
  EXPECT_EQ(KindEntry("cilindro").EyeRefusal(inside), "is inside the cylinder");
  // Inside the ball, or on it; just off it, the eye may stand.
  Scene ball = SceneOfKind(KindEntry("sfera"), dir);
  const Real r = ball.Mirror.Radius;
  ball.Eye = ball.Mirror.Centre + Point3{0, 0, r};
  EXPECT_EQ(KindEntry("sfera").EyeRefusal(ball), "is inside the sphere");
  ball.Eye = ball.Mirror.Centre + Point3{0, -0.6_r * r, 0.79_r * r};
  EXPECT_EQ(KindEntry("sfera").EyeRefusal(ball), "is inside the sphere");
  ball.Eye = ball.Mirror.Centre + Point3{0, -0.6_r * r, 0.81_r * r};
  EXPECT_EQ(KindEntry("sfera").EyeRefusal(ball), "");
}

TEST(MirrorKinds, EveryKindDrawsItsOwnMirrorInTheView) {
  TempDir dir;
  // A white sheet round the mirrors.
  Picture cells;
  cells.Width = cells.Height = 20;
  cells.Rgb.assign(20 * 20 * 3, 255);
  PrintedSheet sheet{&cells, nullptr, {}};
  sheet.Window = {-40, -40, 40, 40, 4, 2, 20, 20};
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    ASSERT_NE(k.DrawView, nullptr);
    const Scene s = SceneOfKind(k, dir);
    const SceneView view = ViewScene(s, FileMirrorReader(), sheet, 64, 2);
    EXPECT_EQ(view.Image.Width, 64);
    EXPECT_EQ(view.Stats.Rays, 4LL * view.Image.Width * view.Image.Height);
    // The mirror stands in the frame: a good share of the rays meet it.
    EXPECT_GT(view.Stats.MirrorRays, view.Stats.Rays / 50);
    // Drawn by its own entry: the same picture as the entry draws from the model.
    MappingSetup setup;
    PrintReport report;
    const AnyMirrorModel model = BuildSceneMirror(s, FileMirrorReader(), setup, report);
    EXPECT_EQ(k.DrawView(model, s, FileMirrorReader(), sheet, 64, 1).Image.Rgb, view.Image.Rgb);
    // Another kind's model is refused, not drawn as this kind's.
    for (const MirrorKindEntry& other : MirrorKinds()) {
      if (&other == &k) continue;
      const AnyMirrorModel wrong = BuildSceneMirror(SceneOfKind(other, dir), FileMirrorReader(), setup, report);
      if (wrong.index() != model.index()) {
        EXPECT_ANY_THROW(k.DrawView(wrong, s, FileMirrorReader(), sheet, 64, 1));
      }
    }
  }
}

TEST(MirrorKinds, EveryKindDescribesItsPage) {
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    EXPECT_STRNE(k.Page.Choice, "");
    std::set<std::string> fields;
    bool file = false, eyePer = std::string(k.Page.EyePer).empty();
    for (const KindParameter& p : k.Parameters) {
      // One field for each value of a kind, named as the page's ids may be.
      const std::string field = PageField(p);
      EXPECT_TRUE(fields.insert(field).second) << field;
      EXPECT_EQ(field.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << field;
      EXPECT_FALSE(PageLabel(p).empty());
      // A length the command needs starts from a value on the page.
      if (p.Value == KindValue::kLength && p.Required) {
        EXPECT_GT(std::atof(p.Start), 0) << p.Option;
      }
      file = file || p.Value == KindValue::kFile;
      if (k.Page.EyePer == std::string(p.Option)) eyePer = p.Value == KindValue::kLength;
    }
    // A kind that takes a file says which; the usual eye follows a length of the kind.
    EXPECT_EQ(std::string(k.Page.Accept).empty(), !file);
    EXPECT_EQ(std::string(k.Page.FileWords).empty(), !file);
    EXPECT_TRUE(eyePer) << k.Page.EyePer;
  }
  // Kinds that share a field share its kind of value.
  for (const MirrorKindEntry& a : MirrorKinds())
    for (const MirrorKindEntry& b : MirrorKinds())
      for (const KindParameter& p : a.Parameters)
        for (const KindParameter& q : b.Parameters)
          if (PageField(p) == PageField(q)) {
            EXPECT_EQ(p.Value, q.Value) << PageField(p);
          }
}

TEST(MirrorKinds, ThePagesUsualEyeIsTheKindsDefaultEye) {
  TempDir dir;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    if (std::string(k.Page.EyePer).empty()) continue;
    SCOPED_TRACE(k.Name);
    const Scene s = SceneOfKind(k, dir);
    Real per = 0;
    for (const KindParameter& p : k.Parameters)
      if (k.Page.EyePer == std::string(p.Option)) per = s.Mirror.*p.Number;
    const Point3 eye = k.DefaultEye(s, FileMirrorReader()).Eye;
    const auto [x, y] = PlanPlace(k, s);
    // Exact: the page's numbers are the very factors DefaultEye multiplies by.
    EXPECT_EQ(eye.x, x + k.Page.EyeX * per);
    EXPECT_EQ(eye.y, y + k.Page.EyeY * per);
    EXPECT_EQ(eye.z, k.Page.EyeZ * per);
  }
}

TEST(MirrorKinds, TheSceneNamesItsKindByTheEntrysName) {
  TempDir dir;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    const Scene s = SceneOfKind(k, dir);
    EXPECT_EQ(s.Mirror.Kind, k.Name);
    EXPECT_EQ(&KindEntry(s.Mirror.Kind), &k);
  }
  // A name no entry has is refused, never taken for another kind.
  Scene s = SceneOfKind(MirrorKinds().front(), dir);
  s.Mirror.Kind = "ellissoide";
  EXPECT_EQ(FieldOfBuild(s), "mirror");
  try {
    KindEntry("ellissoide");
    ADD_FAILURE() << "an unknown kind was accepted";
  } catch (const PrintError& e) {
    EXPECT_NE(std::string(e.what()).find("\"ellissoide\""), std::string::npos) << e.what();
  }
}

TEST(MirrorKinds, EveryKindFileIsListedOnceInItsPlace) {
  // Each entry file of the source tree gives one entry, and the list keeps
  // the help's order of places.
  std::size_t files = 0;
  for (const auto& f : std::filesystem::directory_iterator(std::string(EXAMPLES_DIR) + "/../pipeline/kinds")) {
    const std::string name = f.path().filename().string();
    files += name.size() > 9 && name.compare(name.size() - 9, 9, "_kind.cpp") == 0;
  }
  EXPECT_EQ(files, MirrorKinds().size());
  EXPECT_EQ(KindFileEntries().size(), MirrorKinds().size());
  for (std::size_t i = 1; i < MirrorKinds().size(); ++i) EXPECT_LT(MirrorKinds()[i - 1].Place, MirrorKinds()[i].Place);
}

}  // namespace anamorfosi
