#include "mirrors/facets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

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
  set.FileNormals.clear();
}

namespace {

Point3 Unit(Point3 v) {
  const Real l = std::sqrt(Dot(v, v));
  return l > 0 ? (1 / l) * v : v;
}

Point3 CornerOf(const MirrorFacet& f, int c) { return c == 0 ? f.Corner1 : c == 1 ? f.Corner2 : f.Corner3; }

// Max's weighted normal of the facet at its corner c: the cross product of the
// two edges leaving the corner, divided by both edges' squared lengths.
Point3 MaxWeighted(const MirrorFacet& f, int c) {
  const Point3 p = CornerOf(f, c);
  const Point3 e1 = CornerOf(f, (c + 1) % 3) - p, e2 = CornerOf(f, (c + 2) % 3) - p;
  const Real l = Dot(e1, e1) * Dot(e2, e2);
  return l > 0 ? (1 / l) * Cross(e1, e2) : Point3{0, 0, 0};
}

bool SamePoint(Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// A hash of a point that equal points share: each coordinate rounded to
// double (equal values round alike; adding 0 makes -0 and +0 one value), its
// bits mixed. Points that differ may share it; the table compares them whole.
std::uint64_t PointHash(Point3 p) {
  std::uint64_t h = 0x9e3779b97f4a7c15ULL;
  for (const Real v : {p.x, p.y, p.z}) {
    const double d = static_cast<double>(v) + 0.0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    h = (h ^ bits) * 0xff51afd7ed558ccdULL;
    h ^= h >> 32;
  }
  return h;
}

}  // namespace

std::vector<FacetNormals> ComputeCornerNormals(const FacetSet& set, Real creaseDegrees) {
  const int n = std::min(set.FacetCount, static_cast<int>(set.Facets.size()));
  std::vector<FacetNormals> normals(static_cast<std::size_t>(n));
  // Corner c of facet f is number 3 f + c. The corners at one point (the same
  // coordinates to the last bit) are one vertex, numbered in the order of its
  // first corner, found through an open-addressed table of the vertices'
  // numbers with at least twice as many places as corners.
  const std::size_t corners = 3 * static_cast<std::size_t>(n);
  auto pointOf = [&](std::size_t k) { return CornerOf(set.Facets[k / 3], static_cast<int>(k % 3)); };
  std::size_t size = 16;
  while (size < 2 * corners) size *= 2;
  std::vector<int> places(size, -1);   // a vertex's number, or -1
  std::vector<int> firstCorner;        // of each vertex
  std::vector<int> vertexOf(corners);  // of each corner
  firstCorner.reserve(corners / 4);
  for (std::size_t k = 0; k < corners; ++k) {
    const Point3 p = pointOf(k);
    std::size_t at = PointHash(p) & (size - 1);
    while (places[at] >= 0 && !SamePoint(pointOf(static_cast<std::size_t>(firstCorner[places[at]])), p))
      at = (at + 1) & (size - 1);
    if (places[at] < 0) {
      places[at] = static_cast<int>(firstCorner.size());
      firstCorner.push_back(static_cast<int>(k));
    }
    vertexOf[k] = places[at];
  }
  places = {};
  // Each vertex's corners together, in the order of their numbers (the
  // facets' order, so that the sums below add in one order).
  const std::size_t vertices = firstCorner.size();
  std::vector<int> from(vertices + 1, 0), members(corners);
  for (std::size_t k = 0; k < corners; ++k) ++from[static_cast<std::size_t>(vertexOf[k]) + 1];
  for (std::size_t v = 0; v < vertices; ++v) from[v + 1] += from[v];
  {
    std::vector<int>& next = firstCorner;  // no longer needed: each vertex's next free place
    for (std::size_t v = 0; v < vertices; ++v) next[v] = from[v];
    for (std::size_t k = 0; k < corners; ++k) members[static_cast<std::size_t>(next[vertexOf[k]]++)] = static_cast<int>(k);
  }
  vertexOf = {};
  // Facets whose unit normals' dot product is at least this are smoothed
  // together; the 1e-12 lets coplanar facets join at a crease of 0 despite the
  // rounding of their normals.
  const Real limit = std::cos(std::clamp<Real>(creaseDegrees, 0, CreaseBelowDegrees) * std::numbers::pi_v<Real> / 180) - 1e-12_r;
  // Each corner's weighted normal, computed once for the vertex instead of once
  // for every corner it is summed into.
  std::vector<Point3> weighted;
  for (std::size_t v = 0; v < vertices; ++v) {
    const int* begin = members.data() + from[v];
    const std::size_t count = static_cast<std::size_t>(from[v + 1] - from[v]);
    weighted.resize(std::max(weighted.size(), count));
    for (std::size_t j = 0; j < count; ++j) weighted[j] = MaxWeighted(set.Facets[begin[j] / 3], begin[j] % 3);
    for (std::size_t i = 0; i < count; ++i) {
      const MirrorFacet& own = set.Facets[begin[i] / 3];
      const Point3 ownNormal = Normal(own.Plane);
      Point3 sum{0, 0, 0};
      for (std::size_t j = 0; j < count; ++j) {
        const MirrorFacet& other = set.Facets[begin[j] / 3];
        // At a right angle or more they never join (the crease stays below 90).
        const Real cosine = Dot(ownNormal, Normal(other.Plane));
        if (cosine < limit || cosine <= 0) continue;
        sum = sum + weighted[j];
      }
      Point3 unit = Unit(sum);
      if (!(Dot(unit, unit) > 0.5_r)) unit = ownNormal;
      FacetNormals& out = normals[static_cast<std::size_t>(begin[i] / 3)];
      (begin[i] % 3 == 0 ? out.N1 : begin[i] % 3 == 1 ? out.N2 : out.N3) = unit;
    }
  }
  return normals;
}

FacetFrame FrameOf(const MirrorFacet& f) {
  FacetFrame frame;
  frame.E1 = f.Corner2 - f.Corner1;
  frame.E2 = f.Corner3 - f.Corner1;
  frame.Area = Cross(frame.E1, frame.E2);
  frame.Whole = Dot(frame.Area, frame.Area);
  return frame;
}

namespace {

// h's barycentric coordinates in the facet, the sub-triangles' areas over the
// whole, clamped into the triangle (a point just outside an edge, within its
// tolerance, is taken on it); false for a facet without area.
bool Barycentric(const MirrorFacet& f, const FacetFrame& frame, Point3 h, Real b[3]) {
  const Point3 w = h - f.Corner1;
  const Real whole = frame.Whole;
  if (!(whole > 0)) return false;
  b[1] = std::max<Real>(0, Dot(Cross(w, frame.E2), frame.Area) / whole);
  b[2] = std::max<Real>(0, Dot(Cross(frame.E1, w), frame.Area) / whole);
  b[0] = std::max<Real>(0, 1 - b[1] - b[2]);
  const Real total = b[0] + b[1] + b[2];
  for (int k = 0; k < 3; ++k) b[k] /= total;
  return true;
}

Point3 NormalFrom(const MirrorFacet& f, const FacetNormals& normals, const Real b[3]) {
  const Point3 n = Unit(b[0] * normals.N1 + b[1] * normals.N2 + b[2] * normals.N3);
  return Dot(n, n) > 0.5_r ? n : Normal(f.Plane);
}

Point3 SurfaceFrom(const MirrorFacet& f, const FacetNormals& normals, Point3 h, const Real b[3]) {
  const Point3 corners[3] = {f.Corner1, f.Corner2, f.Corner3};
  const Point3 n[3] = {normals.N1, normals.N2, normals.N3};
  Point3 lift{0, 0, 0};
  for (int k = 0; k < 3; ++k) lift = lift + (b[k] * Dot(corners[k] - h, n[k])) * n[k];
  return h + 0.5_r * lift;
}

}  // namespace

Point3 InterpolatedNormal(const MirrorFacet& f, const FacetFrame& frame, const FacetNormals& normals, Point3 h) {
  Real b[3];
  if (!Barycentric(f, frame, h, b)) return Normal(f.Plane);
  return NormalFrom(f, normals, b);
}

Point3 InterpolatedNormal(const MirrorFacet& f, const FacetNormals& normals, Point3 h) {
  return InterpolatedNormal(f, FrameOf(f), normals, h);
}

Point3 SmoothSurfacePoint(const MirrorFacet& f, const FacetNormals& normals, Point3 h) {
  Real b[3];
  if (!Barycentric(f, FrameOf(f), h, b)) return h;
  return SurfaceFrom(f, normals, h, b);
}

SmoothSample SmoothAt(const MirrorFacet& f, const FacetFrame& frame, const FacetNormals& normals, Point3 h) {
  Real b[3];
  if (!Barycentric(f, frame, h, b)) return {h, Normal(f.Plane)};
  return {SurfaceFrom(f, normals, h, b), NormalFrom(f, normals, b)};
}

}  // namespace anamorfosi
