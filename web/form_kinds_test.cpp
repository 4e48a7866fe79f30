// The page's form of every mirror kind, as the registry describes it: the
// list the page builds its fields from, and the form turned into the command
// line through each kind's values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>

#include "pipeline/mirror_kinds.h"
#include "web/form.h"

namespace anamorfosi {

namespace {

using nlohmann::json;

// A number as the form writes it into the command line.
std::string Num(double v) {
  std::ostringstream s;
  s << std::setprecision(10) << v;
  return s.str();
}

// The value after option in args ("" when the option is not there).
std::string After(const std::vector<std::string>& args, const std::string& option) {
  const auto at = std::find(args.begin(), args.end(), option);
  return at == args.end() || at + 1 == args.end() ? "" : *(at + 1);
}

std::string FieldOf(const json& form, const JobFiles& files) {
  try {
    CommandArgs(form, files, "/job/out.png");
  } catch (const FieldError& e) {
    return e.Field;
  }
  return "(accepted)";
}

}  // namespace

TEST(Form, ThePageIsGivenEveryKindWithItsValues) {
  const json list = KindsJson();
  ASSERT_EQ(list["kinds"].size(), MirrorKinds().size());
  std::size_t i = 0;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    const json& kind = list["kinds"][i++];
    SCOPED_TRACE(k.Name);
    EXPECT_EQ(kind["name"], k.Name);
    EXPECT_EQ(kind["words"], k.Words);
    EXPECT_EQ(kind["choice"], k.Page.Choice);
    EXPECT_EQ(kind["automatic_face"], k.AutomaticFace != nullptr);
    ASSERT_EQ(kind["parameters"].size(), k.Parameters.size());
    std::set<std::string> fields;
    for (std::size_t j = 0; j < k.Parameters.size(); ++j) {
      const json& p = kind["parameters"][j];
      EXPECT_EQ(p["option"], k.Parameters[j].Option);
      EXPECT_EQ(p["key"], k.Parameters[j].Key);
      EXPECT_EQ(p["required"], k.Parameters[j].Required);
      EXPECT_EQ(p["default"], k.Parameters[j].Default);
      fields.insert(p["field"].get<std::string>());
    }
    // The usual eye follows one of the kind's own fields, or the server's answer.
    const std::string per = kind["eye"]["per"];
    EXPECT_TRUE(per.empty() ? std::string(k.Page.EyePer).empty() : fields.count(per) == 1) << per;
    EXPECT_EQ(kind["eye"]["offset"].size(), 3u);
  }
}

TEST(Form, EveryKindIsTranslatedThroughItsValues) {
  const JobFiles files{"/job", "/job/picture.ppm", "/job/mirror.dxf", "/job/face.dxf"};
  // Kept whole for the loop: a range over a part of a temporary outlives it.
  const json kinds = KindsJson();
  for (const json& kind : kinds["kinds"]) {
    const std::string name = kind["name"];
    SCOPED_TRACE(name);
    // The form as the page fills it for the kind, each number its own.
    json form = {{"mirror", name}, {"picture", "card"}, {"units", "mm"}, {"dpi", 300}, {"accuracy", 4}, {"paper", "A4"}};
    std::map<std::string, std::string> expected;
    double number = 11.5;
    for (const json& p : kind["parameters"]) {
      const std::string field = p["field"], option = "--" + p["option"].get<std::string>();
      if (p["value"] == "length") {
        form[field] = number;
        expected[option] = Num(number);
      } else if (p["value"] == "plan point") {
        form[field + "_x"] = number;
        form[field + "_y"] = -number;
        expected[option] = Num(number) + "," + Num(-number);
      } else if (p["value"] == "point") {
        form[field + "_x"] = number;
        form[field + "_y"] = -number;
        form[field + "_z"] = number / 4;
        expected[option] = Num(number) + "," + Num(-number) + "," + Num(number / 4);
      } else if (p["value"] == "file") {
        expected[option] = files.Mirror;
      } else if (p["value"] == "angle") {
        // Degrees below 90; sent while the flag it goes with is on (every flag is).
        form[field] = std::fmod(number, 90);
        expected[option] = Num(std::fmod(number, 90));
      } else {
        form[field] = true;
        expected[option] = "";
      }
      number *= 2;
    }
    if (!kind["automatic_face"]) {
      for (const char* eye : {"eye_x", "eye_y", "eye_z"}) form[eye] = 100;
      expected["--face"] = files.Face;
    }
    const std::vector<std::string> a = CommandArgs(form, files, "/job/out.png");
    EXPECT_EQ(a[1], name);
    for (const auto& [option, value] : expected) {
      const auto at = std::find(a.begin(), a.end(), option);
      ASSERT_NE(at, a.end()) << option;
      // A switch stands alone; a value follows its option.
      if (!value.empty()) {
        EXPECT_EQ(After(a, option), value);
      }
    }
    // Each value the command needs, left out or wrong, names its own field.
    for (const json& p : kind["parameters"]) {
      const std::string field = p["field"];
      if (p["value"] == "length") {
        json wrong = form;
        wrong[field] = -1;
        EXPECT_EQ(FieldOf(wrong, files), field);
        wrong.erase(field);
        EXPECT_EQ(FieldOf(wrong, files), field);
      } else if (p["value"] == "plan point") {
        json wrong = form;
        wrong[field + "_y"] = "3";
        EXPECT_EQ(FieldOf(wrong, files), field);
      } else if (p["value"] == "point") {
        json wrong = form;
        wrong[field + "_y"] = "3";
        EXPECT_EQ(FieldOf(wrong, files), field);
        // A Z left empty is X,Y where the kind places Z, and wanted otherwise.
        wrong = form;
        wrong[field + "_z"] = nullptr;
        if (p["z_left_out"]) {
          EXPECT_EQ(After(CommandArgs(wrong, files, "/job/out.png"), "--" + p["option"].get<std::string>()),
                    Num(form[field + "_x"]) + "," + Num(form[field + "_y"]));
        } else {
          EXPECT_EQ(FieldOf(wrong, files), field);
        }
      } else if (p["value"] == "file") {
        EXPECT_EQ(FieldOf(form, {"/job", "/job/picture.ppm", "", files.Face}), field);
      } else if (p["value"] == "angle") {
        json wrong = form;
        wrong[field] = 90;
        EXPECT_EQ(FieldOf(wrong, files), field);
        wrong[field] = "30";
        EXPECT_EQ(FieldOf(wrong, files), field);
      } else {
        json wrong = form;
        wrong[field] = 1;
        EXPECT_EQ(FieldOf(wrong, files), field);
      }
    }
  }
}

}  // namespace anamorfosi
