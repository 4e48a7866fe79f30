#include "web/form.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <sstream>

namespace anamorfosi {

using nlohmann::json;

namespace {

std::string Num(double v) {
  std::ostringstream s;
  s << std::setprecision(10) << v;
  return s.str();
}

double NumberField(const json& form, const char* key, const std::string& field, double low, double high) {
  if (!form.contains(key) || !form[key].is_number()) throw FieldError(field, field + ": a number is needed");
  const double v = form[key].get<double>();
  if (!std::isfinite(v) || v < low || v > high)
    throw FieldError(field, field + ": must be " + Num(low) + " to " + Num(high) + " (got " + Num(v) + ")");
  return v;
}

std::string ChoiceField(const json& form, const char* key, const std::vector<std::string>& allowed) {
  const std::string v = form.contains(key) && form[key].is_string() ? form[key].get<std::string>() : "";
  if (std::find(allowed.begin(), allowed.end(), v) == allowed.end())
    throw FieldError(key, std::string(key) + ": \"" + v.substr(0, 20) + "\" is not one of the choices");
  return v;
}

}  // namespace

std::vector<std::string> CommandArgs(const json& form, const JobFiles& files, const std::string& output) {
  const std::string mirror = ChoiceField(form, "mirror", {"cilindro", "cono", "specchio", "generico"});
  std::vector<std::string> a = {"anamorfosi", mirror};
  if (!files.Picture.empty()) {
    a.push_back(files.Picture);
  } else {
    const int cols = static_cast<int>(NumberField(form, "grid_columns", "grid", 1, 200));
    const int rows = static_cast<int>(NumberField(form, "grid_rows", "grid", 1, 200));
    a.insert(a.end(), {"--grid", std::to_string(cols) + "x" + std::to_string(rows)});
  }
  const double big = 1e6;
  if (mirror == "cilindro" || mirror == "cono") {
    a.insert(a.end(), {mirror == "cilindro" ? "--radius" : "--base-radius", Num(NumberField(form, "radius", "radius", 0, big))});
    if (mirror == "cono") a.insert(a.end(), {"--height", Num(NumberField(form, "height", "height", 0, big))});
    a.insert(a.end(), {"--axis", Num(NumberField(form, "axis_x", "axis", -big, big)) + "," +
                                     Num(NumberField(form, "axis_y", "axis", -big, big))});
  } else {
    if (files.Mirror.empty())
      throw FieldError("mirror_file", mirror == "specchio" ? "mirror file: choose the mirror's DXF file"
                                                           : "mirror file: choose the mirror's file (DXF, STL, OBJ, PLY, OFF, glTF, 3MF)");
    a.insert(a.end(), {"--mirror", files.Mirror});
    if (mirror == "generico") {
      if (files.Face.empty()) throw FieldError("face_file", "picture face: choose the face's DXF file");
      a.insert(a.end(), {"--face", files.Face});
    }
  }
  if (form.contains("vertical_axis") && !form["vertical_axis"].is_boolean())
    throw FieldError("vertical_axis", "vertical axis: must be on or off");
  if (mirror == "generico" && form.value("vertical_axis", false)) a.push_back("--vertical-axis");
  // The eye: all three numbers, or none for the mirror's usual place.
  const bool eye = form.contains("eye_x") && !form["eye_x"].is_null();
  if (eye || mirror == "generico")
    a.insert(a.end(), {"--eye", Num(NumberField(form, "eye_x", "eye", -big, big)) + "," +
                                    Num(NumberField(form, "eye_y", "eye", -big, big)) + "," +
                                    Num(NumberField(form, "eye_z", "eye", -big, big))});
  a.insert(a.end(), {"--units", ChoiceField(form, "units", {"mm", "cm", "in"})});
  // A quick preview asks for a number of cells instead of the resolution,
  // which is checked all the same so that its fault shows at once.
  const double dpi = NumberField(form, "dpi", "dpi", 1, 2400);
  if (form.contains("pixels"))
    a.insert(a.end(), {"--pixels", std::to_string(static_cast<int>(NumberField(form, "pixels", "pixels", 16, 20000)))});
  else
    a.insert(a.end(), {"--dpi", Num(dpi)});
  a.insert(a.end(), {"--accuracy", std::to_string(static_cast<int>(NumberField(form, "accuracy", "accuracy", 1, 20)))});
  if (form.contains("antialias"))
    a.insert(a.end(), {"--antialias", std::to_string(static_cast<int>(NumberField(form, "antialias", "antialias", 1, 8)))});
  a.insert(a.end(), {"--paper", ChoiceField(form, "paper", {"A4", "A3", "A2", "Letter", "Legal", "Tabloid", "none"})});
  a.insert(a.end(), {"-o", output});
  return a;
}

std::string FieldOfMessage(const std::string& m) {
  static const std::vector<std::pair<std::string, std::string>> prefixes = {
      {"--radius", "radius"}, {"--base-radius", "radius"}, {"--height", "height"}, {"--axis", "axis"},
      {"--eye", "eye"},       {"no picture face", "eye"},  {"--dpi", "dpi"},       {"--paper", "paper"},
      {"--accuracy", "accuracy"}, {"--grid", "grid"},      {"--face", "face_file"}, {"--mirror", "mirror_file"},
      {"mirror", "mirror_file"},  {"picture face", "face_file"}, {"not enough memory", "dpi"}};
  for (const auto& [prefix, field] : prefixes)
    if (m.rfind(prefix, 0) == 0) return field;
  return "";
}

std::vector<std::string> JobArgs(std::vector<std::string> args) {
  // A global option: before the subcommand, where every subcommand takes it.
  args.insert(args.begin() + (args.empty() ? 0 : 1), "--error-json");
  return args;
}

std::string FieldOfOption(const std::string& option) {
  // Value to value: the command's option names, without their dashes, and the
  // page's fields (the ids its error boxes are for).
  static const std::map<std::string, std::string> fields = {
      {"radius", "radius"},       {"base-radius", "radius"}, {"height", "height"},    {"axis", "axis"},
      {"eye", "eye"},             {"face", "face_file"},     {"mirror", "mirror_file"}, {"dpi", "dpi"},
      {"pixels", "dpi"},          {"paper", "paper"},        {"accuracy", "accuracy"}, {"grid", "grid"},
      {"picture", "picture"},     {"units", "units"},        {"vertical-axis", "vertical_axis"}};
  const auto at = fields.find(option);
  return at == fields.end() ? "" : at->second;
}

CommandFailure FailureOfLine(const std::string& line) {
  const json j = json::parse(line, nullptr, false);
  if (j.is_object() && j.contains("error") && j["error"].is_string()) {
    const json field = j.value("field", json());
    std::string message = j["error"].get<std::string>();
    if (message.rfind("anamorfosi: ", 0) == 0) message.erase(0, 12);
    return {message, field.is_string() ? FieldOfOption(field.get<std::string>()) : ""};
  }
  return {line, FieldOfMessage(line)};
}

std::string FieldOfLine(const std::string& line) { return FailureOfLine(line).Field; }

}  // namespace anamorfosi
