#include "pipeline/mirror_kinds.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <variant>

namespace anamorfosi {

const std::vector<MirrorKindEntry>& MirrorKinds() {
  static const std::vector<MirrorKindEntry> kinds = [] {
    std::vector<MirrorKindEntry> all = KindFileEntries();
    std::stable_sort(all.begin(), all.end(),
                     [](const MirrorKindEntry& a, const MirrorKindEntry& b) { return a.Place < b.Place; });
    return all;
  }();
  return kinds;
}

const MirrorKindEntry& KindEntry(const std::string& kind) {
  if (const MirrorKindEntry* k = FindKind(kind)) return *k;
  throw PrintError("the mirror must be " + KindNameList() + " (got \"" + kind + "\")", "mirror");
}

const MirrorKindEntry* FindKind(const std::string& name) {
  for (const MirrorKindEntry& k : MirrorKinds())
    if (name == k.Name) return &k;
  return nullptr;
}

std::string KindNameList() {
  const std::vector<MirrorKindEntry>& kinds = MirrorKinds();
  std::string list;
  for (std::size_t i = 0; i < kinds.size(); ++i)
    list += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + std::string(kinds[i].Name);
  return list;
}

namespace {
// The option's words joined by joint instead of dashes, a file's followed by its word for "file".
std::string OptionWords(const KindParameter& p, char joint, const char* file) {
  std::string words = p.Option;
  std::replace(words.begin(), words.end(), '-', joint);
  return p.Value == KindValue::kFile ? words + file : words;
}
}  // namespace

std::string PageField(const KindParameter& p) { return p.Field != nullptr ? p.Field : OptionWords(p, '_', "_file"); }

std::string PageLabel(const KindParameter& p) { return p.Label != nullptr ? p.Label : OptionWords(p, ' ', " file"); }

std::string KindNumber(Real v) {
  std::ostringstream s;
  s << std::setprecision(10) << static_cast<double>(v);
  return s.str();
}

std::string KindFixed(double v, int decimals) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << v;
  return s.str();
}

const char* MirrorKindName(const std::string& kind) { return KindEntry(kind).Name; }

AnyMirrorModel BuildSceneMirror(const Scene& s, const MirrorFileReader& mirrors, MappingSetup& setup,
                                PrintReport& report) {
  const Real faceSide = Distance3(s.PictureFace.C1, s.PictureFace.C2);
  AnyMirrorModel model = KindEntry(s.Mirror.Kind).Build(s, mirrors, faceSide, report);
  SetUpSceneMirror(s, model, setup);
  return model;
}

void SetUpSceneMirror(const Scene& s, const AnyMirrorModel& model, MappingSetup& setup) {
  setup.PictureFace = s.PictureFace;
  setup.ProjectionCentre = s.Eye;
  setup.Accuracy = s.Accuracy;
  // The axis step of the cone and of the mesh's vertical mode.
  const AxisStep step = std::visit([&](const auto& m) { return AxisStepOf(m, s.Eye); }, model);
  if (step.Exclusion) {
    setup.AxisExclusion = true;
    setup.AxisFoot = {step.FootX, step.FootY};
    setup.AxialTolerance = step.Tolerance;
  }
}

}  // namespace anamorfosi
