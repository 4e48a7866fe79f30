#include "web/form.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <sstream>

#include "pipeline/mirror_kinds.h"

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

// A point's fields as the option's X,Y,Z; a Z left empty, where the kind
// places it, gives X,Y.
std::string PointField(const json& form, const KindParameter& p, const std::string& field, double big) {
  std::vector<std::string> keys = {field + "_x", field + "_y", field + "_z"};
  if (p.ZWhenLeftOut != nullptr && (!form.contains(keys[2]) || form[keys[2]].is_null())) keys.pop_back();
  std::string xyz;
  for (const std::string& key : keys)
    xyz.append(xyz.empty() ? "" : ",").append(Num(NumberField(form, key.c_str(), field, -big, big)));
  return xyz;
}

// "vertical axis": the option in words.
std::string OptionWords(const KindParameter& p) {
  std::string words = p.Option;
  std::replace(words.begin(), words.end(), '-', ' ');
  return words;
}

}  // namespace

std::vector<std::string> CommandArgs(const json& form, const JobFiles& files, const std::string& output) {
  std::vector<std::string> names;
  for (const MirrorKindEntry& k : MirrorKinds()) names.push_back(k.Name);
  const std::string mirror = ChoiceField(form, "mirror", names);
  const MirrorKindEntry& kind = *FindKind(mirror);
  std::vector<std::string> a = {"anamorfosi", mirror};
  if (!files.Picture.empty()) {
    a.push_back(files.Picture);
  } else {
    const int cols = static_cast<int>(NumberField(form, "grid_columns", "grid", 1, 200));
    const int rows = static_cast<int>(NumberField(form, "grid_rows", "grid", 1, 200));
    a.insert(a.end(), {"--grid", std::to_string(cols) + "x" + std::to_string(rows)});
  }
  const double big = 1e6;
  // A flag of any kind that is there must be one, whichever kind is chosen.
  for (const MirrorKindEntry& k : MirrorKinds())
    for (const KindParameter& p : k.Parameters) {
      const std::string field = PageField(p);
      if (p.Value == KindValue::kFlag && form.contains(field) && !form[field].is_boolean())
        throw FieldError(field, OptionWords(p) + ": must be on or off");
    }
  // The kind's values as the command lists them, the required first; a kind
  // without an automatic face takes the face's file after them.
  for (const bool required : {true, false}) {
    for (const KindParameter& p : kind.Parameters) {
      if (p.Required != required) continue;
      const std::string field = PageField(p), option = "--" + std::string(p.Option);
      switch (p.Value) {
        case KindValue::kLength:
          a.insert(a.end(), {option, Num(NumberField(form, field.c_str(), field, 0, big))});
          break;
        case KindValue::kPlanPoint:
          a.insert(a.end(), {option, Num(NumberField(form, (field + "_x").c_str(), field, -big, big)) + "," +
                                         Num(NumberField(form, (field + "_y").c_str(), field, -big, big))});
          break;
        case KindValue::kPoint: a.insert(a.end(), {option, PointField(form, p, field, big)}); break;
        case KindValue::kFile:
          // The page uploads one file a kind: the mirror's.
          if (files.Mirror.empty())
            throw FieldError(field, PageLabel(p) + ": choose the mirror's " + kind.Page.FileWords);
          a.insert(a.end(), {option, files.Mirror});
          break;
        case KindValue::kFlag:
          if (form.value(field, false)) a.push_back(option);
          break;
        case KindValue::kAngle:
          // Sent only while its flag is on, and then only when it is filled in.
          if (p.OnlyWith) {
            bool on = false;
            for (const KindParameter& flag : kind.Parameters)
              if (flag.Value == KindValue::kFlag && p.OnlyWith == std::string(flag.Key))
                on = form.value(PageField(flag), false);
            if (!on) break;
          }
          if (form.contains(field) && !form[field].is_null())
            a.insert(a.end(), {option, Num(NumberField(form, field.c_str(), field, 0, 89.999))});
          break;
      }
    }
    if (required && kind.AutomaticFace == nullptr) {
      if (files.Face.empty()) throw FieldError("face_file", "picture face: choose the face's DXF file");
      a.insert(a.end(), {"--face", files.Face});
    }
  }
  // The eye: all three numbers, or none for the mirror's usual place.
  const bool eye = form.contains("eye_x") && !form["eye_x"].is_null();
  if (eye || kind.AutomaticFace == nullptr)
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

json KindsJson() {
  json kinds = json::array();
  for (const MirrorKindEntry& k : MirrorKinds()) {
    json parameters = json::array();
    std::string per;
    for (const KindParameter& p : k.Parameters) {
      static const char* const kValues[] = {"length", "plan point", "file", "flag", "point", "angle"};
      parameters.push_back({{"option", p.Option},
                            {"key", p.Key},
                            {"value", kValues[static_cast<int>(p.Value)]},
                            {"unit", p.Unit},
                            {"default", p.Default},
                            {"required", p.Required},
                            {"field", PageField(p)},
                            {"label", PageLabel(p)},
                            {"start", p.Start}});
      // A point's Z may be left empty where the kind places it.
      if (p.Value == KindValue::kPoint) parameters.back()["z_left_out"] = p.ZWhenLeftOut != nullptr;
      if (k.Page.EyePer == std::string(p.Option)) per = PageField(p);
    }
    kinds.push_back({{"name", k.Name},
                     {"words", k.Words},
                     {"choice", k.Page.Choice},
                     {"accept", k.Page.Accept},
                     {"file_words", k.Page.FileWords},
                     {"automatic_face", k.AutomaticFace != nullptr},
                     {"eye",
                      {{"per", per},
                       {"offset", {static_cast<double>(k.Page.EyeX), static_cast<double>(k.Page.EyeY),
                                   static_cast<double>(k.Page.EyeZ)}}}},
                     {"parameters", parameters}});
  }
  return {{"kinds", kinds}};
}

std::string FieldOfMessage(const std::string& m) {
  // The kinds' options first ("--base-radius" -> "radius"), then the rest;
  // "mirror" after "--mirror" words a mirror file's failure.
  for (const MirrorKindEntry& k : MirrorKinds())
    for (const KindParameter& p : k.Parameters)
      if (m.rfind("--" + std::string(p.Option), 0) == 0) return PageField(p);
  static const std::vector<std::pair<std::string, std::string>> prefixes = {
      {"--eye", "eye"},       {"no picture face", "eye"},  {"--dpi", "dpi"},       {"--paper", "paper"},
      {"--accuracy", "accuracy"}, {"--grid", "grid"},      {"--face", "face_file"},
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
  // page's fields (the ids its error boxes are for): the kinds' values, then the rest.
  for (const MirrorKindEntry& k : MirrorKinds())
    for (const KindParameter& p : k.Parameters)
      if (option == p.Option) return PageField(p);
  static const std::map<std::string, std::string> fields = {
      {"eye", "eye"},             {"face", "face_file"},     {"dpi", "dpi"},
      {"pixels", "dpi"},          {"paper", "paper"},        {"accuracy", "accuracy"}, {"grid", "grid"},
      {"picture", "picture"},     {"units", "units"}};
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

// The command's lines for the page: without the progress lines and the
// "anamorfosi: " of each, and with no name of the machine's folders.
std::vector<std::string> Messages(const std::string& text, const std::string& folder, const std::string& root) {
  std::vector<std::string> v;
  std::istringstream in(text);
  std::string line;
  auto cut = [&line](const std::string& prefix, const std::string& by) {
    if (prefix.empty()) return;
    for (std::size_t p; (p = line.find(prefix)) != std::string::npos;) line.replace(p, prefix.size(), by);
  };
  while (std::getline(in, line)) {
    if (line.rfind("mapping ", 0) == 0) continue;
    cut(folder + "/", "");
    // Any other name under the private folder is the server's business alone.
    cut(root + "/", "");
    cut(root, "");
    if (line.rfind("anamorfosi: ", 0) == 0) line.erase(0, 12);
    v.push_back(line);
  }
  return v;
}

}  // namespace anamorfosi
