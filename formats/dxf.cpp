#include "formats/dxf.h"

#include <string_view>

#include "core/errors.h"
#include "formats/text_file.h"

namespace anamorfosi {

namespace {

// The part of a group-code or value line that is kept; a longer line is not a
// number.
constexpr std::size_t kMaxLineChars = 256;

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

// The coordinates of one face as they come: [axis x/y/z][corner 1..4].
struct FaceGroups {
  Real value[3][4] = {};
  bool given[3][4] = {};

  bool HasCorner(int corner) const { return given[0][corner] || given[1][corner] || given[2][corner]; }
  bool HasPlanCorner(int corner) const { return given[0][corner] && given[1][corner]; }
  Point3 Corner(int corner) const { return {value[0][corner], value[1][corner], value[2][corner]}; }

  // A face needs x and y of its first three corners; a fourth corner, when
  // given at all, needs them too. Missing z values are already 0.
  bool ToFace(Face& face) const {
    for (int corner = 0; corner < 3; ++corner) {
      if (!HasPlanCorner(corner)) return false;
    }
    if (HasCorner(3) && !HasPlanCorner(3)) return false;
    face.C1 = Corner(0);
    face.C2 = Corner(1);
    face.C3 = Corner(2);
    face.C4 = HasCorner(3) ? Corner(3) : face.C3;
    return true;
  }
};

// Reads the group-code / value pairs after a "3DFACE" line up to and including
// the next group code 0. Answers false when the end of the file comes first.
bool ReadFaceGroups(TextFile& file, FaceGroups& groups) {
  while (!file.AtEnd()) {
    const long codeLine = file.line();
    const std::string codeText = file.ReadName(kMaxLineChars + 1);
    long code = 0;
    if (codeText.size() > kMaxLineChars || !ParseInteger(Trim(codeText), code)) {
      throw RuntimeFailure(kInvalidNumber, file.name(), codeLine);
    }
    if (code == 0) return true;
    if (file.AtEnd()) return false;
    const long valueLine = file.line();
    const std::string valueText = file.ReadName(kMaxLineChars + 1);
    // Codes 10-13, 20-23 and 30-33: axis from the tens, corner from the units.
    if (code < 10 || code > 33 || code % 10 > 3) continue;
    Real v = 0;
    if (valueText.size() > kMaxLineChars || !ParseReal(Trim(valueText), v)) {
      throw RuntimeFailure(kInvalidNumber, file.name(), valueLine);
    }
    const int axis = static_cast<int>(code / 10) - 1;
    const int corner = static_cast<int>(code % 10);
    groups.value[axis][corner] = v;
    groups.given[axis][corner] = true;
  }
  return false;
}

}  // namespace

void ScanDxfFaces(const std::string& fileName, const std::function<bool(const Face&)>& onFace) {
  TextFile file(fileName);
  while (!file.AtEnd()) {
    // Only the first six characters of a line can start a face.
    if (file.ReadName(6) != "3DFACE") continue;
    FaceGroups groups;
    if (!ReadFaceGroups(file, groups)) return;
    Face face;
    if (groups.ToFace(face) && !onFace(face)) return;
  }
}

bool ReadFaceDxf(const std::string& fileName, Face& face) {
  bool found = false;
  Face last;
  ScanDxfFaces(fileName, [&](const Face& f) {
    last = f;
    found = true;
    return true;
  });
  if (found) face = last;
  return found;
}

}  // namespace anamorfosi
