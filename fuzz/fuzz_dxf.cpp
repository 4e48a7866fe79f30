// The DXF face reader: every face it hands out has finite corners, and the
// last face of the scan is the one ReadFaceDxf answers.
#include <cmath>

#include "formats/dxf.h"
#include "core/errors.h"
#include "fuzz/fuzz_support.h"

using namespace anamorfosi;

namespace {
bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool Same(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput("dxf", data, size);
  bool scanned = false;
  Face last{};
  int count = 0;
  try {
    ScanDxfFaces(name, [&](const Face& face) {
      for (const Point3& p : {face.C1, face.C2, face.C3, face.C4}) FUZZ_CHECK(Finite(p));
      last = face;
      ++count;
      return true;
    });
    scanned = true;
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
  }
  Face face{};
  try {
    const bool found = ReadFaceDxf(name, face);
    FUZZ_CHECK(scanned);
    FUZZ_CHECK(found == (count > 0));
    if (found)
      FUZZ_CHECK(Same(face.C1, last.C1) && Same(face.C2, last.C2) && Same(face.C3, last.C3) &&
                 Same(face.C4, last.C4));
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
  }
  return 0;
}
