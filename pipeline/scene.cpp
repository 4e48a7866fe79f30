#include "pipeline/scene.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "layout/grid_text.h"
#include "pipeline/mirror_kinds.h"

namespace anamorfosi {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

struct UnitRecord {
  Units Unit;
  const char* Name;
  double Millimetres;
  int Insunits;  // the DXF header's code
};

// Exact by definition: the inch 25.4 mm, the US survey foot 1200/3937 m, the
// astronomical unit 149 597 870 700 m, the light year 9 460 730 472 580 800 m;
// the parsec (648000/pi au) to the double's precision.
constexpr double kUsSurveyFootMm = 1200000.0 / 3937;
const UnitRecord kUnits[] = {
    {Units::kMillimetres, "mm", 1, 4},
    {Units::kCentimetres, "cm", 10, 5},
    {Units::kInches, "in", 25.4, 1},
    {Units::kFeet, "ft", 304.8, 2},
    {Units::kMiles, "mi", 1609344, 3},
    {Units::kMetres, "m", 1000, 6},
    {Units::kKilometres, "km", 1e6, 7},
    {Units::kMicroinches, "uin", 25.4e-6, 8},
    {Units::kMils, "mil", 0.0254, 9},
    {Units::kYards, "yd", 914.4, 10},
    {Units::kAngstroms, "angstrom", 1e-7, 11},
    {Units::kNanometres, "nm", 1e-6, 12},
    {Units::kMicrons, "um", 1e-3, 13},
    {Units::kDecimetres, "dm", 100, 14},
    {Units::kDecametres, "dam", 1e4, 15},
    {Units::kHectometres, "hm", 1e5, 16},
    {Units::kGigametres, "Gm", 1e12, 17},
    {Units::kAstronomicalUnits, "au", 1.495978707e14, 18},
    {Units::kLightYears, "ly", 9.4607304725808e18, 19},
    {Units::kParsecs, "pc", 3.0856775814913673e19, 20},
    {Units::kUsSurveyFeet, "us-ft", kUsSurveyFootMm, 21},
    {Units::kUsSurveyInches, "us-in", kUsSurveyFootMm / 12, 22},
    {Units::kUsSurveyYards, "us-yd", kUsSurveyFootMm * 3, 23},
    {Units::kUsSurveyMiles, "us-mi", kUsSurveyFootMm * 5280, 24},
};

const UnitRecord& RecordOf(Units units) {
  for (const UnitRecord& r : kUnits)
    if (r.Unit == units) return r;
  return kUnits[0];
}

}  // namespace

const char* UnitsName(Units units) { return RecordOf(units).Name; }

std::optional<Units> ParseUnits(const std::string& text) {
  for (const UnitRecord& r : kUnits)
    if (text == r.Name) return r.Unit;
  return std::nullopt;
}

double MillimetresPerUnit(Units units) { return RecordOf(units).Millimetres; }

std::string UnitsList() {
  std::string list;
  for (const UnitRecord& r : kUnits) list += (list.empty() ? "" : ", ") + std::string(r.Name);
  return list;
}

std::optional<Units> UnitsOfInsunits(long code) {
  for (const UnitRecord& r : kUnits)
    if (r.Insunits == code) return r.Unit;
  return std::nullopt;
}

namespace {

// Reals go out as doubles: 17 significant digits read back to the same double,
// and every value a scene holds came from a double (an option or a JSON number).
ordered_json Number(Real v) { return static_cast<double>(v); }
ordered_json PointJson(Point3 p) { return ordered_json::array({Number(p.x), Number(p.y), Number(p.z)}); }

std::string Relative(const std::string& file, const std::string& folder) {
  if (file.empty()) return file;
  std::error_code ec;
  const fs::path abs = fs::absolute(file, ec);
  const fs::path base = fs::absolute(folder.empty() ? "." : folder, ec);
  const fs::path rel = abs.lexically_relative(base);
  return rel.empty() ? file : rel.generic_string();
}

struct Reader {
  const std::string& path;
  [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
    throw PrintError(path + ": \"" + key + "\" " + what, key);
  }
  const ordered_json& Need(const ordered_json& j, const std::string& key) const {
    if (!j.is_object() || !j.contains(key)) Fail(key, "is missing");
    return j.at(key);
  }
  Real Finite(const ordered_json& v, const std::string& key) const {
    if (!v.is_number()) Fail(key, "must be a number");
    const double d = v.get<double>();
    if (!std::isfinite(d)) Fail(key, "must be finite");
    return d;
  }
  Real NumberAt(const ordered_json& j, const std::string& key) const { return Finite(Need(j, key), key); }
  Point3 PointAt(const ordered_json& v, const std::string& key) const {
    if (!v.is_array() || v.size() != 3) Fail(key, "must be [x, y, z]");
    return {Finite(v[0], key), Finite(v[1], key), Finite(v[2], key)};
  }
  std::string Text(const ordered_json& j, const std::string& key) const {
    const ordered_json& v = Need(j, key);
    if (!v.is_string()) Fail(key, "must be a text");
    return v.get<std::string>();
  }
  // A whole number within lo..hi (checked before any narrowing).
  long Whole(const ordered_json& j, const std::string& key, long lo, long hi, const std::string& range) const {
    const ordered_json& v = Need(j, key);
    if (!v.is_number_integer()) Fail(key, "must be a whole number");
    // Non-negative numbers are unsigned in the parser: compared as such first.
    if (v.is_number_unsigned() && v.get<unsigned long long>() > static_cast<unsigned long long>(hi))
      Fail(key, "must be " + range);
    if (v.get<long long>() < lo || v.get<long long>() > hi)
      Fail(key, "must be " + range);
    return static_cast<long>(v.get<long long>());
  }
};

// Arrays of numbers on one line ("axis": [0.0, 0.0]), the rest as dumped.
std::string CompactNumberArrays(const std::string& text) {
  std::string out;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (inString) {
      out += text[i];
      if (text[i] == '\\' && i + 1 < text.size()) out += text[++i];
      else if (text[i] == '"') inString = false;
      continue;
    }
    if (text[i] == '"') inString = true;
    if (text[i] == '[') {
      const std::size_t end = text.find_first_of("[]{}\"", i + 1);
      if (end != std::string::npos && text[end] == ']') {
        std::string inner;
        for (std::size_t k = i + 1; k < end; ++k) {
          if (text[k] == '\n' || text[k] == ' ') continue;
          inner += text[k];
          if (text[k] == ',') inner += ' ';
        }
        out += "[" + inner + "]";
        i = end;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Whether the scene file holds the value: always, or while the flag it goes
// with is on.
bool Held(const MirrorKindEntry& kind, const KindParameter& p, const SceneMirror& m) {
  if (!p.OnlyWith) return true;
  for (const KindParameter& flag : kind.Parameters)
    if (flag.Value == KindValue::kFlag && std::string(flag.Key) == p.OnlyWith) return m.*flag.Flag;
  return true;
}

}  // namespace

std::string SceneToJson(const Scene& s, const std::string& folder) {
  ordered_json j;
  ordered_json m;
  const MirrorKindEntry& kind = KindEntry(s.Mirror.Kind);
  m["type"] = kind.Name;
  for (const KindParameter& p : kind.Parameters) {
    if (!Held(kind, p, s.Mirror)) continue;
    switch (p.Value) {
      case KindValue::kPlanPoint: m[p.Key] = {Number(s.Mirror.AxisX), Number(s.Mirror.AxisY)}; break;
      case KindValue::kLength:
      case KindValue::kAngle: m[p.Key] = Number(s.Mirror.*p.Number); break;
      case KindValue::kFile: m[p.Key] = Relative(s.Mirror.*p.Text, folder); break;
      case KindValue::kFlag: m[p.Key] = s.Mirror.*p.Flag; break;
      case KindValue::kPoint: m[p.Key] = PointJson(s.Mirror.*p.Point); break;
    }
  }
  if (s.Mirror.FileUnit) m["file_units"] = UnitsName(*s.Mirror.FileUnit);
  j["mirror"] = m;
  j["eye"] = PointJson(s.Eye);
  const Face& f = s.PictureFace;
  j["face"] = {PointJson(f.C1), PointJson(f.C2), PointJson(f.C3), PointJson(f.C4)};
  if (!s.Grid.empty())
    j["grid"] = s.Grid;
  else
    j["picture"] = Relative(s.Picture, folder);
  j["units"] = UnitsName(s.Unit);
  if (s.Pixels > 0)
    j["pixels"] = s.Pixels;
  else
    j["dpi"] = s.Dpi;
  j["accuracy"] = s.Accuracy;
  j["antialias"] = s.Antialias;
  j["background"] = s.BlackBackground ? "black" : "white";
  j["marks"] = s.Marks;
  j["program_window"] = s.ProgramWindow;
  if (s.Window) {
    const OutputWindow& w = *s.Window;
    j["window"] = {{"min_x", Number(w.MinX)},          {"min_y", Number(w.MinY)}, {"max_x", Number(w.MaxX)},
                   {"max_y", Number(w.MaxY)},          {"cell_size", Number(w.CellSize)},
                   {"width", w.Width},                 {"height", w.Height}};
  }
  return CompactNumberArrays(j.dump(2)) + "\n";
}

Scene ReadSceneFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseScene(text.str(), path, fs::path(path).parent_path().string());
}

Scene ParseScene(const std::string& text, const std::string& path, const std::string& folder) {
  ordered_json j;
  try {
    j = ordered_json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    // A syntax error, or a number too large for a double (out_of_range).
    throw std::runtime_error(path + ": not a scene file (" + std::string(e.what()) + ")");
  }
  const Reader r{path};
  auto inFolder = [&](const std::string& name) {
    return name.empty() || fs::path(name).is_absolute() ? name : (fs::path(folder) / name).lexically_normal().string();
  };
  Scene s;
  const ordered_json& m = r.Need(j, "mirror");
  const std::string type = r.Text(m, "type");
  const MirrorKindEntry* kind = FindKind(type);
  if (!kind) r.Fail("type", "must be " + KindNameList() + " (got \"" + type + "\")");
  s.Mirror.Kind = kind->Name;
  bool hasFile = false;
  // Points given as [x, y], their Z placed once every value is read.
  std::vector<const KindParameter*> placeZ;
  for (const KindParameter& p : kind->Parameters) {
    // A value that goes with a flag is read once the flag is (flags come first).
    if (p.Value != KindValue::kFlag && !Held(*kind, p, s.Mirror)) continue;
    switch (p.Value) {
      case KindValue::kPlanPoint: {
        const ordered_json& axis = r.Need(m, p.Key);
        if (!axis.is_array() || axis.size() != 2) r.Fail(p.Key, "must be [x, y]");
        s.Mirror.AxisX = r.Finite(axis[0], p.Key);
        s.Mirror.AxisY = r.Finite(axis[1], p.Key);
        break;
      }
      case KindValue::kLength:
        // A mirror of no size, or of a negative one, makes a print of nothing
        // that looks like one: refused here as the command's options refuse it.
        s.Mirror.*p.Number = r.NumberAt(m, p.Key);
        if (!(s.Mirror.*p.Number > 0))
          r.Fail(p.Key, "must be a number above 0 (got " + KindNumber(s.Mirror.*p.Number) + ")");
        break;
      case KindValue::kAngle:
        s.Mirror.*p.Number = r.NumberAt(m, p.Key);
        if (!(s.Mirror.*p.Number >= 0 && s.Mirror.*p.Number < CreaseBelowDegrees))
          r.Fail(p.Key, "must be 0 or more and below 90 (degrees)");
        break;
      case KindValue::kFile:
        s.Mirror.*p.Text = inFolder(r.Text(m, p.Key));
        hasFile = true;
        break;
      case KindValue::kFlag:
        // Left out: off.
        if (!m.contains(p.Key)) break;
        if (!m[p.Key].is_boolean()) r.Fail(p.Key, "must be true or false");
        s.Mirror.*p.Flag = m[p.Key].get<bool>();
        break;
      case KindValue::kPoint: {
        const ordered_json& v = r.Need(m, p.Key);
        if (!v.is_array() || !PointTakes(p, v.size())) r.Fail(p.Key, p.ZWhenLeftOut ? "must be [x, y, z] or [x, y]" : "must be [x, y, z]");
        Point3& point = s.Mirror.*p.Point;
        point = {r.Finite(v[0], p.Key), r.Finite(v[1], p.Key), 0};
        if (v.size() == 3) point.z = r.Finite(v[2], p.Key);
        else placeZ.push_back(&p);
        break;
      }
    }
  }
  for (const KindParameter* p : placeZ) (s.Mirror.*p->Point).z = p->ZWhenLeftOut(s.Mirror);
  // Scene files written before the mirror's unit was recorded read the
  // file's numbers as drawing units, as they were made.
  if (hasFile && m.contains("file_units")) {
    s.Mirror.FileUnit = ParseUnits(r.Text(m, "file_units"));
    if (!s.Mirror.FileUnit) r.Fail("file_units", "must be one of " + UnitsList());
  }
  s.Eye = r.PointAt(r.Need(j, "eye"), "eye");
  const ordered_json& face = r.Need(j, "face");
  if (!face.is_array() || face.size() != 4) r.Fail("face", "must hold four corners [x, y, z]");
  s.PictureFace = {r.PointAt(face[0], "face"), r.PointAt(face[1], "face"), r.PointAt(face[2], "face"),
                   r.PointAt(face[3], "face")};
  if (j.contains("grid")) {
    s.Grid = r.Text(j, "grid");
    if (!ParseGrid(s.Grid)) r.Fail("grid", "must be COLUMNSxROWS, each 1 to 200");
  } else {
    s.Picture = inFolder(r.Text(j, "picture"));
  }
  const std::optional<Units> units = ParseUnits(r.Text(j, "units"));
  if (!units) r.Fail("units", "must be one of " + UnitsList());
  s.Unit = *units;
  if (j.contains("pixels")) {
    s.Pixels = r.Whole(j, "pixels", 1, 2000000000L, "at least 1");
  } else {
    s.Dpi = static_cast<double>(r.NumberAt(j, "dpi"));
    if (!(s.Dpi > 0)) r.Fail("dpi", "must be above 0");
  }
  s.Accuracy = static_cast<int>(r.Whole(j, "accuracy", 1, 20, "1 to 20"));
  s.Antialias = static_cast<int>(r.Whole(j, "antialias", 1, 8, "1 to 8"));
  const std::string background = r.Text(j, "background");
  if (background != "white" && background != "black") r.Fail("background", "must be white or black");
  s.BlackBackground = background == "black";
  for (const auto& [key, field] : {std::pair{"marks", &s.Marks}, std::pair{"program_window", &s.ProgramWindow}}) {
    if (!j.contains(key)) continue;
    if (!j[key].is_boolean()) r.Fail(key, "must be true or false");
    *field = j[key].get<bool>();
  }
  if (j.contains("window")) {
    const ordered_json& w = j["window"];
    OutputWindow win;
    win.MinX = r.NumberAt(w, "min_x");
    win.MinY = r.NumberAt(w, "min_y");
    win.MaxX = r.NumberAt(w, "max_x");
    win.MaxY = r.NumberAt(w, "max_y");
    win.CellSize = r.NumberAt(w, "cell_size");
    win.HalfCell = win.CellSize / 2;
    win.Width = static_cast<int>(r.Whole(w, "width", 1, 2000000000L, "at least 1"));
    win.Height = static_cast<int>(r.Whole(w, "height", 1, 2000000000L, "at least 1"));
    s.Window = win;
  }
  return s;
}

}  // namespace anamorfosi
