#include "mirrors/facets.h"

#include <cmath>

namespace anamorfosi {


bool IsDegenerateTriangle(Point3 a, Point3 b, Point3 c) {
  const Real ab = Distance3(a, b);
  const Real bc = Distance3(b, c);
  const Real ca = Distance3(c, a);
  const Real s = (ab + bc + ca) / 2;
  Real area = 0;
  if (s > 1e-5_r) {
    // Heron; for a flat triangle rounding can make the product slightly
    // negative (or undefined), which is area 0.
    const Real product = (s - ab) * s * (s - bc) * (s - ca);
    if (product > 0) area = std::sqrt(product);
  }
  return area <= 1e-5_r;
}

void FacetBox(Point3 p1, Point3 p2, Point3 p3, Point3& boxMin, Point3& boxMax) {
  Point3 lo{1e30_r, 1e30_r, 1e30_r}, hi{-1e30_r, -1e30_r, -1e30_r};
  for (const Point3& p : {p1, p2, p3}) {
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  const Point3 margin{FacetBoxMargin, FacetBoxMargin, FacetBoxMargin};
  boxMin = lo - margin;
  boxMax = hi + margin;
}

bool AddFacet(FacetSet& set, Point3 p1, Point3 p2, Point3 p3) {
  if (set.FacetCount >= set.Limit) {
    set.FacetOverflow = true;
    return false;
  }
  MirrorFacet f;
  f.Corner1 = p1;
  f.Corner2 = p2;
  f.Corner3 = p3;
  f.Plane = PlaneFromPoints(p1, p2, p3);
  FacetBox(p1, p2, p3, f.BoxMin, f.BoxMax);
  set.Facets.push_back(f);
  ++set.FacetCount;
  return true;
}

void AddFace(FacetSet& set, const Face& face) {
  if (!IsDegenerateTriangle(face.C1, face.C2, face.C3)) AddFacet(set, face.C1, face.C2, face.C3);
  if (!IsDegenerateTriangle(face.C3, face.C4, face.C1)) AddFacet(set, face.C3, face.C4, face.C1);
}

void ClearFacets(FacetSet& set, int limit) {
  set.Facets.clear();
  set.FacetCount = 0;
  set.FacetOverflow = false;
  set.Limit = limit;
  set.FileUnitMm = 0;
}

}  // namespace anamorfosi
