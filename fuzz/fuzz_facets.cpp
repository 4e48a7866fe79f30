// The faceted mirror loader: the table never outgrows its limit, and every
// facet has finite corners, a box around them and a plane through them.
#include <cmath>

#include "errors.h"
#include "facets.h"
#include "fuzz_support.h"

namespace {
bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool Inside(const Point3& p, const Point3& lo, const Point3& hi) {
  return lo.x <= p.x && p.x <= hi.x && lo.y <= p.y && p.y <= hi.y && lo.z <= p.z && p.z <= hi.z;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput("facets", data, size);
  FacetSet set;
  try {
    LoadMirrorFacets(name, set);
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
    return 0;
  }
  FUZZ_CHECK(set.FacetCount == static_cast<int>(set.Facets.size()));
  FUZZ_CHECK(set.FacetCount <= MaxFacets);
  for (const MirrorFacet& f : set.Facets) {
    for (const Point3& p : {f.Corner1, f.Corner2, f.Corner3}) {
      FUZZ_CHECK(Finite(p));
      FUZZ_CHECK(Inside(p, f.BoxMin, f.BoxMax));
    }
  }
  return 0;
}
