// The units DXF files state, as the command meets them: every $INSUNITS length
// read and honoured, a face and a mirror in different units each scaled into
// the drawing units, and a code that is no length refused in one line.
#include "pipeline/dxf_units.h"

#include <gtest/gtest.h>

#include <sstream>

#include "anamorfosi/command.h"
#include "picture/png_file.h"
#include "pipeline/print.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

std::string Header(const std::string& value) {
  return "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1015\r\n  9\r\n$INSUNITS\r\n 70\r\n" + value +
         "\r\n  0\r\nENDSEC\r\n";
}

// A DXF of one face, its coordinates multiplied by scale, with $INSUNITS value (none when empty).
std::string FaceDxf(const Face& f, double scale, const std::string& value) {
  const Face g{scale * f.C1, scale * f.C2, scale * f.C3, scale * f.C4};
  return (value.empty() ? "" : Header(value)) + DxfWithFaces({g});
}

struct Result {
  int Status = 0;
  std::string Out, Err;
};

Result Anamorfosi(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"anamorfosi"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  Result r;
  r.Status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err, false);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

Picture Cells(const std::string& file) {
  const std::string bytes = ReadBytes(file);
  return DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), file);
}

const Face kPlaneFace{{-40, 100, 80}, {40, 100, 80}, {40, 100, 20}, {-40, 100, 20}};
const Face kPlaneMirror{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}};

}  // namespace

TEST(DxfUnits, EveryLengthOfTheHeaderTable) {
  TempDir dir;
  // Code, name, millimetres: the $INSUNITS table from 1 to 24.
  const struct {
    int code;
    const char* name;
    double mm;
  } table[] = {{1, "in", 25.4},           {2, "ft", 304.8},        {3, "mi", 1609344},        {4, "mm", 1},
               {5, "cm", 10},             {6, "m", 1000},          {7, "km", 1e6},            {8, "uin", 25.4e-6},
               {9, "mil", 0.0254},        {10, "yd", 914.4},       {11, "angstrom", 1e-7},    {12, "nm", 1e-6},
               {13, "um", 1e-3},          {14, "dm", 100},         {15, "dam", 1e4},          {16, "hm", 1e5},
               {17, "Gm", 1e12},          {18, "au", 1.495978707e14}, {19, "ly", 9.4607304725808e18},
               {20, "pc", 3.0856775814913673e19}, {21, "us-ft", 304.8006096012192}, {22, "us-in", 25.40005080010160},
               {23, "us-yd", 914.4018288036576}, {24, "us-mi", 1609347.218694437}};
  for (const auto& t : table) {
    SCOPED_TRACE(t.code);
    std::ostringstream code;
    code << " " << t.code;
    const DxfUnits u = ReadDxfUnits(dir.Write("u.dxf", FaceDxf(kPlaneFace, 1, code.str())));
    ASSERT_EQ(u.State, DxfUnits::Status::kUnit);
    EXPECT_STREQ(UnitsName(u.Unit), t.name);
    EXPECT_NEAR(MillimetresPerUnit(u.Unit) / t.mm, 1, 1e-12);
    EXPECT_EQ(ParseUnits(t.name), u.Unit);
  }
  // Unitless, no header, or a header without the variable: no unit.
  EXPECT_EQ(ReadDxfUnits(dir.Write("u.dxf", FaceDxf(kPlaneFace, 1, "0"))).State, DxfUnits::Status::kNone);
  EXPECT_EQ(ReadDxfUnits(dir.Write("u.dxf", FaceDxf(kPlaneFace, 1, ""))).State, DxfUnits::Status::kNone);
  EXPECT_EQ(ReadDxfUnits(dir.File("missing.dxf")).State, DxfUnits::Status::kNone);
  // Codes that are no length are named as written.
  for (const char* bad : {"25", "-1", "6.5", "metres", "99999999999999999999"}) {
    const DxfUnits u = ReadDxfUnits(dir.Write("u.dxf", FaceDxf(kPlaneFace, 1, bad)));
    EXPECT_EQ(u.State, DxfUnits::Status::kUnknown) << bad;
    EXPECT_EQ(u.Value, bad);
  }
}

TEST(DxfUnits, OldUnitNamesReadTheSameInSceneFiles) {
  for (const char* name : {"mm", "cm", "in"}) {
    const std::string text = std::string("{\"mirror\": {\"type\": \"cilindro\", \"axis\": [0, 0], \"radius\": 1}, ") +
                             "\"eye\": [0, -12, 10], \"face\": [[-1, 0, 3], [1, 0, 3], [1, 0, 1], [-1, 0, 1]], " +
                             "\"picture\": \"p.png\", \"units\": \"" + name + "\", \"dpi\": 300, \"accuracy\": 4, " +
                             "\"antialias\": 2, \"background\": \"white\"}";
    const Scene s = ParseScene(text, "s.json", ".");
    EXPECT_STREQ(UnitsName(s.Unit), name);
    EXPECT_FALSE(s.Mirror.FileUnit);
  }
  EXPECT_DOUBLE_EQ(MillimetresPerUnit(*ParseUnits("in")), 25.4);
  EXPECT_DOUBLE_EQ(MillimetresPerUnit(*ParseUnits("cm")), 10);
}

TEST(DxfUnits, FilesInOtherUnitsAreScaledIntoTheDrawingUnits) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(24, 18, DistinctColours(24, 18)));
  // The reference: both files in plain mm numbers, no header.
  dir.Write("f.dxf", FaceDxf(kPlaneFace, 1, ""));
  dir.Write("m.dxf", FaceDxf(kPlaneMirror, 1, ""));
  ASSERT_EQ(Anamorfosi({"specchio", picture, "--face", dir.File("f.dxf"), "--mirror", dir.File("m.dxf"), "--eye",
                        "0,-150,120", "--pixels", "200", "--antialias", "1", "--quiet", "-o", dir.File("ref.png")})
                .Status,
            0);
  const Picture ref = Cells(dir.File("ref.png"));
  // Both in metres (as ezdxf writes by default): the same print, in metres.
  dir.Write("fm.dxf", FaceDxf(kPlaneFace, 0.001, "6"));
  dir.Write("mm_.dxf", FaceDxf(kPlaneMirror, 0.001, "6"));
  Result r = Anamorfosi({"specchio", picture, "--face", dir.File("fm.dxf"), "--mirror", dir.File("mm_.dxf"), "--eye",
                         "0,-0.15,0.12", "--pixels", "200", "--antialias", "1", "-o", dir.File("m.png")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("units: m (stated by"), std::string::npos) << r.Out;
  EXPECT_TRUE(Cells(dir.File("m.png")).Rgb == ref.Rgb);
  // A face in inches and a mirror in mm: each keeps its own, the mirror scaled into inches.
  dir.Write("fi.dxf", FaceDxf(kPlaneFace, 1 / 25.4, "1"));
  dir.Write("m4.dxf", FaceDxf(kPlaneMirror, 1, "4"));
  r = Anamorfosi({"specchio", picture, "--face", dir.File("fi.dxf"), "--mirror", dir.File("m4.dxf"), "--eye",
                  std::to_string(0.0) + "," + std::to_string(-150 / 25.4) + "," + std::to_string(120 / 25.4),
                  "--pixels", "200", "--antialias", "1", "--save-scene", dir.File("mixed.json"), "-o", dir.File("i.png")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("units: in (stated by " + dir.File("fi.dxf") + ")"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("units: " + dir.File("m4.dxf") + " states mm, its coordinates scaled into in"), std::string::npos)
      << r.Out;
  const Picture mixed = Cells(dir.File("i.png"));
  EXPECT_EQ(mixed.Width, ref.Width);
  EXPECT_EQ(mixed.Height, ref.Height);
  // The eye's numbers were rounded to 6 decimals: nearly every cell as in mm.
  long same = 0;
  for (std::size_t i = 0; i < std::min(mixed.Rgb.size(), ref.Rgb.size()); ++i) same += mixed.Rgb[i] == ref.Rgb[i];
  EXPECT_GT(same, static_cast<long>(ref.Rgb.size() * 99 / 100));
  // The scene keeps the mirror's unit, so that its rerun is the same print.
  EXPECT_NE(ReadBytes(dir.File("mixed.json")).find("\"file_units\": \"mm\""), std::string::npos);
  ASSERT_EQ(Anamorfosi({"run", dir.File("mixed.json"), "--quiet", "-o", dir.File("again.png")}).Status, 0);
  EXPECT_TRUE(Cells(dir.File("again.png")).Rgb == mixed.Rgb);
  // --units is the last word: files drawn in mm that state metres (a writer's
  // default) are read in mm, and the report names what they state.
  dir.Write("f6.dxf", FaceDxf(kPlaneFace, 1, "6"));
  dir.Write("m6.dxf", FaceDxf(kPlaneMirror, 1, "6"));
  r = Anamorfosi({"specchio", picture, "--face", dir.File("f6.dxf"), "--mirror", dir.File("m6.dxf"), "--units", "mm",
                  "--eye", "0,-150,120", "--pixels", "200", "--antialias", "1", "--save-scene", dir.File("u.json"),
                  "-o", dir.File("u.png")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Cells(dir.File("u.png")).Rgb == ref.Rgb);
  EXPECT_NE(r.Out.find("units: " + dir.File("f6.dxf") + " states m, its numbers taken as mm (--units)"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("units: " + dir.File("m6.dxf") + " states m, its numbers taken as mm (--units)"),
            std::string::npos)
      << r.Out;
  ASSERT_EQ(Anamorfosi({"run", dir.File("u.json"), "--quiet", "-o", dir.File("u2.png")}).Status, 0);
  EXPECT_TRUE(Cells(dir.File("u2.png")).Rgb == ref.Rgb);
}

TEST(DxfUnits, AFileStatingNoLengthIsRefusedInOneLine) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(24, 18, DistinctColours(24, 18)));
  dir.Write("f.dxf", FaceDxf(kPlaneFace, 1, "30"));
  dir.Write("m.dxf", FaceDxf(kPlaneMirror, 1, "4"));
  Result r = Anamorfosi({"specchio", picture, "--face", dir.File("f.dxf"), "--mirror", dir.File("m.dxf"), "--eye",
                         "0,-150,120", "-o", dir.File("out.png")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "anamorfosi: " + dir.File("f.dxf") +
                       ": its header states $INSUNITS 30, which is no unit of length (1 to 24, or 0 for none)\n");
  EXPECT_FALSE(FileExists(dir.File("out.png")));
  // The mirror's file is judged as well, whatever --units says.
  dir.Write("f.dxf", FaceDxf(kPlaneFace, 1, "4"));
  dir.Write("m.dxf", FaceDxf(kPlaneMirror, 1, "furlongs"));
  r = Anamorfosi({"specchio", picture, "--face", dir.File("f.dxf"), "--mirror", dir.File("m.dxf"), "--units", "mm",
                  "-o", dir.File("out.png")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find(dir.File("m.dxf") + ": its header states $INSUNITS furlongs"), std::string::npos) << r.Err;
  EXPECT_FALSE(FileExists(dir.File("out.png")));
}

}  // namespace anamorfosi
