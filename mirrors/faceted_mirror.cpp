#include "mirrors/faceted_mirror.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace anamorfosi {

namespace {

inline Real Coordinate(Point3 p, int axis) {
  switch (axis) {
    case 1:
      return p.x;
    case 2:
      return p.y;
    default:
      return p.z;
  }
}

// ---- building the hierarchy ----

struct BoxD {
  double lo[3] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity()};
  double hi[3] = {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                  -std::numeric_limits<double>::infinity()};
  void Grow(const BoxD& b) {
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], b.lo[k]);
      hi[k] = std::max(hi[k], b.hi[k]);
    }
  }
  double Area() const {
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    if (!(dx >= 0) || !(dy >= 0) || !(dz >= 0)) return 0;
    return 2 * (dx * dy + dy * dz + dz * dx);
  }
};

struct Builder {
  const FacetSet& set;
  FacetIndex& index;
  std::vector<BoxD> boxes;          // padded box of every facet
  std::vector<double> centres;      // 3 per facet
  int areaSplitDepth = 0;           // below it the tree is split by surface area, deeper halved
};

constexpr int kBins = 16;

// The depth from which nodes are halved, so that however unbalanced the area
// splits above it, the halvings reach the leaves within FacetIndexMaxDepth:
// 42 up to about a million facets, less for more.
int AreaSplitDepth(int facets) {
  int halvings = 0;
  for (long long n = facets; n > FacetIndexLeafSize; n = (n + 1) / 2) ++halvings;
  return std::max(0, std::min(FacetIndexMaxDepth - 18, FacetIndexMaxDepth - halvings));
}

void MakeLeaf(FacetIndexNode& node, int begin, int end) {
  node.First = begin;
  node.Count = end - begin;
}

// Halves [begin, end) by the centres on the axis of the widest spread.
int MedianSplit(Builder& b, int begin, int end, const BoxD& centreBox) {
  int axis = 0;
  double widest = -1;
  for (int k = 0; k < 3; ++k) {
    if (centreBox.hi[k] - centreBox.lo[k] > widest) {
      widest = centreBox.hi[k] - centreBox.lo[k];
      axis = k;
    }
  }
  const int mid = begin + (end - begin) / 2;
  int* items = b.index.Items.data();
  std::nth_element(items + begin, items + mid, items + end,
                   [&](int p, int q) { return b.centres[3 * p + axis] < b.centres[3 * q + axis]; });
  return mid;
}

// Binned surface-area split; answers the first item of the right part, or -1
// when no split separates the items.
int AreaSplit(Builder& b, int begin, int end, const BoxD& centreBox) {
  double bestCost = std::numeric_limits<double>::infinity();
  int bestAxis = -1, bestBin = -1;
  const int* items = b.index.Items.data();
  for (int axis = 0; axis < 3; ++axis) {
    const double extent = centreBox.hi[axis] - centreBox.lo[axis];
    if (!(extent > 0)) continue;
    const double scale = kBins / extent;
    BoxD binBox[kBins];
    int binCount[kBins] = {};
    for (int i = begin; i < end; ++i) {
      const int f = items[i];
      const int bin = std::min(kBins - 1, static_cast<int>((b.centres[3 * f + axis] - centreBox.lo[axis]) * scale));
      binBox[bin].Grow(b.boxes[f]);
      ++binCount[bin];
    }
    // Costs of splitting after bin s: the areas and counts from the right first.
    double rightArea[kBins];
    int rightCount[kBins];
    BoxD acc;
    int n = 0;
    for (int s = kBins - 1; s > 0; --s) {
      acc.Grow(binBox[s]);
      n += binCount[s];
      rightArea[s] = acc.Area();
      rightCount[s] = n;
    }
    BoxD left;
    int nl = 0;
    for (int s = 0; s < kBins - 1; ++s) {
      left.Grow(binBox[s]);
      nl += binCount[s];
      if (nl == 0 || rightCount[s + 1] == 0) continue;
      const double cost = left.Area() * nl + rightArea[s + 1] * rightCount[s + 1];
      if (cost < bestCost) {
        bestCost = cost;
        bestAxis = axis;
        bestBin = s;
      }
    }
  }
  if (bestAxis < 0) return -1;
  const double scale = kBins / (centreBox.hi[bestAxis] - centreBox.lo[bestAxis]);
  int* it = b.index.Items.data();
  int* mid = std::partition(it + begin, it + end, [&](int f) {
    const int bin =
        std::min(kBins - 1, static_cast<int>((b.centres[3 * f + bestAxis] - centreBox.lo[bestAxis]) * scale));
    return bin <= bestBin;
  });
  const int m = static_cast<int>(mid - it);
  return (m == begin || m == end) ? -1 : m;
}

void BuildNode(Builder& b, int nodeIndex, int begin, int end, int depth) {
  BoxD box, centreBox;
  for (int i = begin; i < end; ++i) {
    const int f = b.index.Items[i];
    box.Grow(b.boxes[f]);
    BoxD c;
    for (int k = 0; k < 3; ++k) c.lo[k] = c.hi[k] = b.centres[3 * f + k];
    centreBox.Grow(c);
  }
  {
    FacetIndexNode& node = b.index.Nodes[nodeIndex];
    for (int k = 0; k < 3; ++k) {
      node.Min[k] = box.lo[k];
      node.Max[k] = box.hi[k];
    }
  }
  b.index.Depth = std::max(b.index.Depth, depth);
  if (end - begin <= FacetIndexLeafSize) {
    MakeLeaf(b.index.Nodes[nodeIndex], begin, end);
    return;
  }
  int mid = depth < b.areaSplitDepth ? AreaSplit(b, begin, end, centreBox) : -1;
  if (mid < 0) mid = MedianSplit(b, begin, end, centreBox);
  const int children = static_cast<int>(b.index.Nodes.size());
  b.index.Nodes.emplace_back();
  b.index.Nodes.emplace_back();
  b.index.Nodes[nodeIndex].First = children;
  b.index.Nodes[nodeIndex].Count = 0;
  BuildNode(b, children, begin, mid, depth + 1);
  BuildNode(b, children + 1, mid, end, depth + 1);
}

// ---- walking the hierarchy ----

struct RayD {
  double o[3], inv[3];
};

RayD MakeRayD(Point3 centre, Point3 d) {
  RayD r;
  const Real o[3] = {centre.x, centre.y, centre.z};
  const Real dir[3] = {d.x, d.y, d.z};
  for (int k = 0; k < 3; ++k) {
    r.o[k] = static_cast<double>(o[k]);
    double dk = static_cast<double>(dir[k]);
    // A direction without a component on an axis gets a tiny one, so that the
    // slab bounds stay finite numbers (never 0 * infinity).
    if (std::fabs(dk) < 1e-30) dk = std::signbit(dk) ? -1e-30 : 1e-30;
    r.inv[k] = 1.0 / dk;
  }
  return r;
}

// Where the line enters the box (along the ray), when it meets the box at all
// somewhere in front of the centre.
template <class Box>
inline bool EnterBox(const Box& n, const RayD& r, double& tEnter) {
  double t0 = -std::numeric_limits<double>::infinity(), t1 = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 3; ++k) {
    double a = (n.Min[k] - r.o[k]) * r.inv[k];
    double b = (n.Max[k] - r.o[k]) * r.inv[k];
    if (a > b) std::swap(a, b);
    t0 = a > t0 ? a : t0;
    t1 = b < t1 ? b : t1;
  }
  tEnter = t0;
  return t0 <= t1 && t1 >= 0;
}

// Calls visit(facet, k) for every facet in a leaf (k its place in the leaves) whose box the line meets in
// front of the centre and enters no farther than bound; visit may lower bound.
// Nearer boxes are visited first.
template <class Visit>
void WalkIndex(const FacetIndex& index, const RayD& ray, double& bound, Visit&& visit) {
  if (index.Nodes.empty()) return;
  struct Pending {
    int node;
    double tEnter;
  };
  Pending stack[FacetIndexStackSize];
  int top = 0;
  const FacetIndexNode* nodes = index.Nodes.data();
  const int* items = index.Items.data();
  const FacetIndexBox* boxes = index.Boxes.data();
  double t;
  if (!EnterBox(nodes[0], ray, t)) return;
  stack[top++] = {0, t};
  while (top > 0) {
    const Pending e = stack[--top];
    if (e.tEnter > bound) continue;
    const FacetIndexNode& node = nodes[e.node];
    if (node.Count > 0) {
      // Each facet's own box first: the exact test of a facet costs far more.
      for (int k = node.First; k < node.First + node.Count; ++k) {
        if (EnterBox(boxes[k], ray, t) && t <= bound) visit(items[k], k);
      }
      continue;
    }
    double tl, tr;
    const bool hl = EnterBox(nodes[node.First], ray, tl) && tl <= bound;
    const bool hr = EnterBox(nodes[node.First + 1], ray, tr) && tr <= bound;
    if (hl && hr) {
      if (tl <= tr) {
        stack[top++] = {node.First + 1, tr};
        stack[top++] = {node.First, tl};
      } else {
        stack[top++] = {node.First, tl};
        stack[top++] = {node.First + 1, tr};
      }
    } else if (hl) {
      stack[top++] = {node.First, tl};
    } else if (hr) {
      stack[top++] = {node.First + 1, tr};
    }
  }
}

// The pruning bound for hits no farther than limit, a little beyond it so that
// the rounding of the double box tests never drops a box that matters.
inline double BoundFor(Real limit, double slack) {
  const double l = static_cast<double>(limit);
  return l + std::fabs(l) * 1e-12 + slack;
}

}  // namespace

void BuildFacetIndex(const FacetSet& set, FacetIndex& index) {
  index = FacetIndex{};
  const int n = std::min(set.FacetCount, static_cast<int>(set.Facets.size()));
  if (n <= 0) return;
  // Scale of the drawing, for the widening of the boxes.
  Real scale = 1;
  for (int f = 0; f < n; ++f) {
    const MirrorFacet& m = set.Facets[f];
    for (const Point3& p : {m.BoxMin, m.BoxMax}) {
      scale = std::max({scale, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    }
  }
  index.Slack = static_cast<double>(scale) * 1e-9;
  Builder b{set, index, std::vector<BoxD>(n), std::vector<double>(3 * static_cast<std::size_t>(n)), AreaSplitDepth(n)};
  for (int f = 0; f < n; ++f) {
    const MirrorFacet& m = set.Facets[f];
    const Real lo[3] = {m.BoxMin.x, m.BoxMin.y, m.BoxMin.z};
    const Real hi[3] = {m.BoxMax.x, m.BoxMax.y, m.BoxMax.z};
    for (int k = 0; k < 3; ++k) {
      b.boxes[f].lo[k] = static_cast<double>(lo[k]) - index.Slack;
      b.boxes[f].hi[k] = static_cast<double>(hi[k]) + index.Slack;
      b.centres[3 * f + k] = 0.5 * (b.boxes[f].lo[k] + b.boxes[f].hi[k]);
    }
  }
  index.Items.resize(n);
  for (int f = 0; f < n; ++f) index.Items[f] = f;
  index.Nodes.reserve(2 * static_cast<std::size_t>(n));
  index.Nodes.emplace_back();
  BuildNode(b, 0, 0, n, 0);
  index.Boxes.resize(n);
  // Copied in place, without first filling the table with empty facets.
  index.Ordered.reserve(n);
  for (int k = 0; k < n; ++k) {
    index.Ordered.push_back(set.Facets[index.Items[k]]);
    const BoxD& box = b.boxes[index.Items[k]];
    for (int a = 0; a < 3; ++a) {
      index.Boxes[k].Min[a] = box.lo[a];
      index.Boxes[k].Max[a] = box.hi[a];
    }
  }
}

bool OutsideFacetBox(Point3 h, const MirrorFacet& f) {
  // Written as "not inside" so that an unordered comparison counts as outside.
  return !(f.BoxMin.x <= h.x && f.BoxMin.y <= h.y && f.BoxMin.z <= h.z && f.BoxMax.x >= h.x && f.BoxMax.y >= h.y &&
           f.BoxMax.z >= h.z);
}

bool PointInTriangle2D(Point3 v1, Point3 v2, Point3 v3, int a, int b, Real u, Real v) {
  const Point3 walk[4] = {v1, v2, v3, v1};
  int count = 0;
  Real pa = Coordinate(v1, a) - u, pb = Coordinate(v1, b) - v;
  for (const Point3& w : walk) {
    const Real ca = Coordinate(w, a) - u, cb = Coordinate(w, b) - v;
    if (std::fabs(ca) < 1e-6_r && std::fabs(cb) < 1e-6_r) return false;
    if ((cb > 0) != (pb > 0)) {
      // Signed distance along axis a from the point to where the edge crosses its line.
      const Real x = pa + (pa - ca) * pb / (cb - pb);
      if (std::fabs(x) < 1e-6_r) return false;
      if (x > 0) ++count;
    } else if (std::fabs(pb) < 1e-6_r && std::fabs(cb) < 1e-6_r && pa * ca < 0) {
      return false;
    }
    pa = ca;
    pb = cb;
  }
  return (count & 1) != 0;
}

Real DistanceToSegment(Point3 a, Point3 b, Point3 p) {
  const Point3 e = b - a, w = a - p;
  const Real l2 = Dot(e, e);
  if (l2 < 1e-10_r) return Distance3(a, p);
  const Real t = -Dot(w, e) / l2;
  if (t < 0) return Distance3(a, p);
  if (t > 1) return Distance3(b, p);
  const Point3 q = w + t * e;
  return std::sqrt(Dot(q, q));
}

namespace {

// Whether p lies more than twice the edge tolerance away from the box of the
// segment ab on some axis: then its distance from the segment is surely not
// below the tolerance, and the square root need not be taken.
inline bool FarFromSegmentBox(Point3 a, Point3 b, Point3 p) {
  constexpr Real kGap = 2e-4_r;
  return p.x < std::min(a.x, b.x) - kGap || p.x > std::max(a.x, b.x) + kGap || p.y < std::min(a.y, b.y) - kGap ||
         p.y > std::max(a.y, b.y) + kGap || p.z < std::min(a.z, b.z) - kGap || p.z > std::max(a.z, b.z) + kGap;
}

inline bool NearEdge(Point3 a, Point3 b, Point3 p) { return !FarFromSegmentBox(a, b, p) && DistanceToSegment(a, b, p) < 1e-4_r; }

}  // namespace

bool FacetContains(const MirrorFacet& f, Point3 h) {
  if (OutsideFacetBox(h, f)) return false;
  // The point is on the facet when one of the projections on (x, y), (y, z),
  // (x, z) holds it; a facet seen edge-on in a projection is a segment there
  // and that projection says no. The answer does not depend on the order, so
  // the projection facing the facet best is tried first.
  const Real ax = std::fabs(f.Plane.nx), ay = std::fabs(f.Plane.ny), az = std::fabs(f.Plane.nz);
  const int first = (az >= ax && az >= ay) ? 0 : (ax >= ay ? 1 : 2);
  for (int k = 0; k < 3; ++k) {
    switch ((first + k) % 3) {
      case 0:
        if (PointInTriangle2D(f.Corner1, f.Corner2, f.Corner3, 1, 2, h.x, h.y)) return true;
        break;
      case 1:
        if (PointInTriangle2D(f.Corner1, f.Corner2, f.Corner3, 2, 3, h.y, h.z)) return true;
        break;
      default:
        if (PointInTriangle2D(f.Corner1, f.Corner2, f.Corner3, 1, 3, h.x, h.z)) return true;
        break;
    }
  }
  // Points on the border, rejected by the projections.
  return NearEdge(f.Corner1, f.Corner2, h) || NearEdge(f.Corner1, f.Corner3, h) || NearEdge(f.Corner2, f.Corner3, h);
}

bool HitFacet(const MirrorFacet& facet, Point3 centre, Point3 d, Point3& hit, Real& along) {
  if (!IntersectLinePlane(centre, facet.Plane, d, hit, along)) return false;
  // The sight line is a half-line: a facet behind the centre, or through it, is not seen.
  if (!(along > 0)) return false;
  return FacetContains(facet, hit);
}

int NearestFacetByTable(const FacetSet& set, Point3 centre, Point3 d, Point3& hit) {
  const int n = std::min(set.FacetCount, static_cast<int>(set.Facets.size()));
  Real nearest = std::numeric_limits<Real>::infinity();
  Point3 h;
  Real along = 0;
  for (int i = 0; i < n; ++i) {
    if (HitFacet(set.Facets[i], centre, d, h, along) && along < nearest) nearest = along;
  }
  if (nearest == std::numeric_limits<Real>::infinity()) return -1;
  for (int i = 0; i < n; ++i) {
    if (HitFacet(set.Facets[i], centre, d, h, along) && along <= nearest + FacetTieTolerance) {
      hit = h;
      return i;
    }
  }
  return -1;
}

int NearestFacet(const FacetedMirror& mirror, Point3 centre, Point3 d, Point3& hit) {
  const FacetSet& set = mirror.Facets;
  const FacetIndex& index = mirror.Index;
  if (index.Nodes.empty()) return set.FacetCount > 0 ? NearestFacetByTable(set, centre, d, hit) : -1;
  const RayD ray = MakeRayD(centre, d);
  // The facets in the order of the index's leaves, so that a walk reads them
  // from neighbouring memory.
  const MirrorFacet* ordered = index.Ordered.data();

  // Hits no farther than the nearest so far plus the tie tolerance; when more
  // of them pile up than there is room for, a second walk settles the tie.
  struct Candidate {
    Real along;
    int facet;
    Point3 hit;
  };
  constexpr int kRoom = 8;
  Candidate kept[kRoom];
  int count = 0;
  bool crowded = false;
  Real nearest = std::numeric_limits<Real>::infinity();
  double bound = std::numeric_limits<double>::infinity();
  WalkIndex(index, ray, bound, [&](int f, int k) {
    const MirrorFacet& facet = ordered[k];
    Point3 h;
    Real along = 0;
    // Farther than the nearest hit so far: no need to ask whether it is on the facet.
    if (!IntersectLinePlane(centre, facet.Plane, d, h, along) || !(along > 0)) return;
    if (along > nearest + FacetTieTolerance || !FacetContains(facet, h)) return;
    if (along < nearest) {
      nearest = along;
      int k = 0;
      for (int i = 0; i < count; ++i) {
        if (kept[i].along <= nearest + FacetTieTolerance) kept[k++] = kept[i];
      }
      count = k;
      bound = BoundFor(nearest + FacetTieTolerance, index.Slack);
    }
    if (count < kRoom) {
      kept[count++] = {along, f, h};
    } else {
      crowded = true;
    }
  });
  if (count == 0) return -1;
  const Real limit = nearest + FacetTieTolerance;
  int best = -1;
  if (!crowded) {
    for (int i = 0; i < count; ++i) {
      if (kept[i].along <= limit && (best < 0 || kept[i].facet < kept[best].facet)) best = i;
    }
    hit = kept[best].hit;
    return kept[best].facet;
  }
  int bestFacet = -1;
  WalkIndex(index, ray, bound, [&](int f, int k) {
    if (bestFacet >= 0 && f > bestFacet) return;
    Point3 h;
    Real along = 0;
    if (HitFacet(ordered[k], centre, d, h, along) && along <= limit) {
      bestFacet = f;
      hit = h;
    }
  });
  return bestFacet;
}

bool ReflectOnFacet(const MirrorFacet& facet, Point3 centre, Point3 hit, Point3& result, MissRecord& misses) {
  return ReflectOnPlane(hit, facet.Plane, centre, result, misses);
}

namespace {

// Whether some corner lies farther than tolerance on the outer side of the
// plane, whose inner side is where inward * (n . x + d) > 0: the index's
// boxes that lie wholly on the inner side are passed over.
bool CornerOutside(const FacetIndex& index, const Plane& plane, Real inward, Real tolerance) {
  const double n[3] = {static_cast<double>(inward * plane.nx), static_cast<double>(inward * plane.ny),
                       static_cast<double>(inward * plane.nz)};
  const double d = static_cast<double>(inward * plane.d);
  // The box's lowest value of the signed distance, a little lower for the
  // rounding of the double sums.
  auto lowest = [&](const double* lo, const double* hi) {
    double v = d;
    for (int k = 0; k < 3; ++k) v += n[k] * (n[k] > 0 ? lo[k] : hi[k]);
    return v - 1e-12 * (std::fabs(d) + 1);
  };
  int stack[FacetIndexStackSize];
  int top = 0;
  stack[top++] = 0;
  const double limit = -static_cast<double>(tolerance);
  while (top > 0) {
    const FacetIndexNode& node = index.Nodes[stack[--top]];
    if (lowest(node.Min, node.Max) >= limit) continue;
    if (node.Count > 0) {
      for (int k = node.First; k < node.First + node.Count; ++k) {
        const MirrorFacet& f = index.Ordered[k];
        for (const Point3& c : {f.Corner1, f.Corner2, f.Corner3})
          if (inward * (Dot(Normal(plane), c) + plane.d) < -tolerance) return true;
      }
      continue;
    }
    stack[top++] = node.First;
    stack[top++] = node.First + 1;
  }
  return false;
}

}  // namespace

MeshHull HullOf(const FacetedMirror& mirror) {
  const FacetSet& set = mirror.Facets;
  const FacetIndex& index = mirror.Index;
  MeshHull hull;
  if (set.Facets.empty() || index.Nodes.empty()) return hull;
  Point3 lo = set.Facets[0].Corner1, hi = lo, sum{0, 0, 0};
  for (const MirrorFacet& f : set.Facets) {
    for (const Point3& p : {f.Corner1, f.Corner2, f.Corner3}) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
      sum = sum + p;
    }
  }
  hull.Inside = (1 / (3 * static_cast<Real>(set.Facets.size()))) * sum;
  hull.Tolerance = 1e-6_r * std::max<Real>(Distance3(lo, hi), 1e-6_r);
  for (const MirrorFacet& f : set.Facets) {
    const Real inside = Dot(Normal(f.Plane), hull.Inside) + f.Plane.d;
    if (!(std::fabs(inside) > hull.Tolerance)) return hull;
    if (CornerOutside(index, f.Plane, inside > 0 ? 1 : -1, hull.Tolerance)) return hull;
  }
  hull.Convex = true;
  return hull;
}

bool OnOuterSide(const MeshHull& hull, const MirrorFacet& f, Point3 p) {
  const Real inside = Dot(Normal(f.Plane), hull.Inside) + f.Plane.d;
  const Real at = Dot(Normal(f.Plane), p) + f.Plane.d;
  return (inside > 0 ? -at : at) > hull.Tolerance;
}

bool ReflectOnSmoothFacet(const MirrorFacet& facet, const FacetNormals& normals, Point3 centre, Point3 hit,
                          Point3& result, MissRecord& misses) {
  // The sight line meets the smooth surface, not the flat facet below it:
  // where it crosses the tangent plane at the surface point over a point of
  // the facet, first the flat hit, then the foot of that crossing on the
  // facet's plane, three times in all (an oblique line crosses the surface
  // beside the flat hit; each step leaves a fraction of the step before). A
  // line within 1e-7 of parallel to the tangent plane keeps the point it has.
  const Point3 d = UnitDirection(centre, hit);
  const Point3 plane = Normal(facet.Plane);
  const FacetFrame frame = FrameOf(facet);
  Point3 over = hit, at = hit;
  for (int step = 0; step < 3; ++step) {
    const SmoothSample s = SmoothAt(facet, frame, normals, over);
    const Real across = Dot(d, s.Normal);
    if (!(std::fabs(across) > 1e-7_r)) break;
    at = centre + (Dot(s.Surface - centre, s.Normal) / across) * d;
    over = at - (Dot(at - facet.Corner1, plane)) * plane;
  }
  const Point3 n = InterpolatedNormal(facet, frame, normals, over);
  return ReflectOnPlane(at, Plane{n.x, n.y, n.z, -Dot(n, at)}, centre, result, misses);
}

bool ReflectRay(const FacetedMirror& mirror, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses) {
  if (mirror.VerticalAxisMode && std::fabs(centre.x - facePoint.x) < mirror.AxisTolerance &&
      std::fabs(centre.y - facePoint.y) < mirror.AxisTolerance) {
    result = {facePoint.x, facePoint.y, 0};
    return true;
  }
  const Point3 d = UnitDirection(centre, facePoint);
  Point3 hit;
  const int f = NearestFacet(mirror, centre, d, hit);
  if (f < 0) return RecordMiss(result, misses);
  if (!mirror.CornerNormals.empty())
    return ReflectOnSmoothFacet(mirror.Facets.Facets[f], mirror.CornerNormals[f], centre, hit, result, misses);
  return ReflectOnFacet(mirror.Facets.Facets[f], centre, hit, result, misses);
}

}  // namespace anamorfosi
