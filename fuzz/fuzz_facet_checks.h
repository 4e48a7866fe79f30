// What every facet table read by a fuzz target must hold: no more facets than
// its limit, each with finite corners inside its box.
#pragma once

#include <cmath>

#include "mirrors/facets.h"
#include "fuzz/fuzz_support.h"

namespace anamorfosi {

inline void CheckFacetTable(const FacetSet& set, int limit) {
  auto finite = [](const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
  auto inside = [](const Point3& p, const Point3& lo, const Point3& hi) {
    return lo.x <= p.x && p.x <= hi.x && lo.y <= p.y && p.y <= hi.y && lo.z <= p.z && p.z <= hi.z;
  };
  FUZZ_CHECK(set.FacetCount == static_cast<int>(set.Facets.size()));
  FUZZ_CHECK(set.FacetCount <= limit);
  for (const MirrorFacet& f : set.Facets) {
    for (const Point3& p : {f.Corner1, f.Corner2, f.Corner3}) {
      FUZZ_CHECK(finite(p));
      FUZZ_CHECK(inside(p, f.BoxMin, f.BoxMax));
    }
  }
}

}  // namespace anamorfosi
