#include "web/form.h"

#include <string>

#include "pipeline/mirror_kinds.h"

namespace anamorfosi {

using nlohmann::json;

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

}  // namespace anamorfosi
