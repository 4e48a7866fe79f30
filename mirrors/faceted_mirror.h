// Reflection on the faceted mirror: the sight line from the projection centre
// through a point of the picture face meets the nearest facet in front of the
// centre, is reflected on that facet's plane, and goes on to the sheet Z = 0.
//
// The nearest facet is found through a bounding-volume hierarchy built once
// after loading; FacetContains alone decides whether a point lies on a facet,
// so the index gives exactly the facet that a search of the whole table gives.
#pragma once

#include <vector>

#include "mirrors/axis_step.h"
#include "mirrors/facets.h"
#include "core/geometry.h"
#include "core/mirror.h"

// Hits whose distances from the centre differ by no more than this (drawing
// units) count as equally near, and the lower facet number wins: a line
// through an edge shared by two facets meets both at the same point, up to
// rounding.

namespace anamorfosi {
inline constexpr Real FacetTieTolerance = 1e-6_r;

// One node of the hierarchy, boxes in double widened to cover the rounding of
// the box tests. A leaf (Count > 0) holds Items[First .. First + Count); an
// inner node (Count == 0) has its children at Nodes[First] and Nodes[First + 1].
struct FacetIndexNode {
  double Min[3] = {0, 0, 0};
  double Max[3] = {0, 0, 0};
  int First = 0;
  int Count = 0;
};

// A facet's own box in the same widened double form, kept beside its number.
struct FacetIndexBox {
  double Min[3] = {0, 0, 0};
  double Max[3] = {0, 0, 0};
};

struct FacetIndex {
  std::vector<FacetIndexNode> Nodes;  // Nodes[0] is the root; empty without facets
  std::vector<int> Items;             // facet numbers, leaf after leaf
  std::vector<FacetIndexBox> Boxes;   // the box of the facet Items[k] at k
  std::vector<MirrorFacet> Ordered;   // a copy of the facet Items[k] at k
  int Depth = 0;                      // levels below the root
  double Slack = 0;                   // distance added to every box for rounding
};

inline constexpr int FacetIndexLeafSize = 4;
// The traversal keeps its pending nodes in a fixed array of this size; the
// build never goes deeper than FacetIndexMaxDepth.
inline constexpr int FacetIndexStackSize = 64;
inline constexpr int FacetIndexMaxDepth = 60;

// Bytes a mirror takes for each triangle: the table, the index's copy, box,
// number and two nodes, and the build's own boxes and centres.
inline constexpr std::size_t FacetBytesEach = 2 * sizeof(MirrorFacet) + sizeof(FacetIndexBox) + sizeof(int) +
                                              2 * sizeof(FacetIndexNode) + 9 * sizeof(double);

// Bytes a smooth mirror takes for each triangle beyond FacetBytesEach: its
// corners' normals and, while they are computed, what groups its corners into
// vertices (under 100 bytes a triangle: the hash table's places, each
// corner's vertex and its place among the vertex's corners).
inline constexpr std::size_t SmoothFacetBytesEach = sizeof(FacetNormals) + 3 * (sizeof(Point3) + 2 * sizeof(int));

struct FacetedMirror {
  FacetSet Facets;
  FacetIndex Index;
  // A smooth mesh: the normals at the corners of each facet (by its number),
  // interpolated across it where a ray hits it. Empty: flat facets.
  std::vector<FacetNormals> CornerNormals;
  bool VerticalAxisMode = false;
  // Picture points this close to the centre in x and in y take the axis
  // shortcut in the vertical mode (first side of the picture face / 1000).
  Real AxisTolerance = 0;
};

// The vertical mode's axis stands straight below the eye.
inline AxisStep AxisStepOf(const FacetedMirror& mirror, Point3 eye) {
  if (!mirror.VerticalAxisMode) return {};
  return {true, eye.x, eye.y, mirror.AxisTolerance};
}

// A smooth mesh claims SmoothReflection (mirror_model.h): its surface meets
// the next facet's in position and normal, so its reflected points move on
// without a jump or a kink across an edge; only the rate at which the normal
// turns changes there, and a crease breaks it. Where the traced points show
// such a bend too sharp for the cubic, the lattice traces the points between
// them (TraceAlongInterpolated); the held-out trace of a sphere mesh's print
// checks the result (anamorfosi/smooth_mesh_test.cpp). Flat facets, whose
// reflections jump at every edge, and the vertical mode, whose axis shortcut
// jumps, do not.
inline bool SmoothReflection(const FacetedMirror& mirror) {
  return !mirror.CornerNormals.empty() && !mirror.VerticalAxisMode;
}

// Builds the hierarchy over the loaded facets (replacing any earlier one).
void BuildFacetIndex(const FacetSet& set, FacetIndex& index);

// True when h lies outside the facet's box on some axis (an unordered
// comparison counts as outside).
bool OutsideFacetBox(Point3 h, const MirrorFacet& facet);

// Is (u, v), on the axes a and b (1 = x, 2 = y, 3 = z), inside the triangle
// projected on those axes? Points within 1e-6 of a vertex or of an edge are not.
bool PointInTriangle2D(Point3 v1, Point3 v2, Point3 v3, int a, int b, Real u, Real v);

// Distance from p to the segment ab.
Real DistanceToSegment(Point3 a, Point3 b, Point3 p);

// Whether h, a point of the facet's plane, lies on the facet: inside its box,
// then inside one of its projections on (x, y), (y, z), (x, z), or else within
// 1e-4 of one of its edges.
bool FacetContains(const MirrorFacet& facet, Point3 h);
inline bool FacetContains(const FacetSet& set, int i, Point3 h) { return FacetContains(set.Facets[i], h); }

// Where the line from centre along the unit direction d meets the facet's
// plane in front of the centre (along > 0) at a point of the facet.
bool HitFacet(const MirrorFacet& facet, Point3 centre, Point3 d, Point3& hit, Real& along);

// Nearest facet hit in front of the centre, ties within FacetTieTolerance to
// the lower facet number; -1 when no facet is hit. Through the index:
int NearestFacet(const FacetedMirror& mirror, Point3 centre, Point3 d, Point3& hit);
// The same answer from a search of the whole table (tests and measurements).
int NearestFacetByTable(const FacetSet& set, Point3 centre, Point3 d, Point3& hit);

// The ray from centre that hit the facet at hit, reflected to Z = 0.
bool ReflectOnFacet(const MirrorFacet& facet, Point3 centre, Point3 hit, Point3& result, MissRecord& misses);

// The same ray reflected about the facet's interpolated normal at hit, where
// it meets the smooth surface over the facet (SmoothSurfacePoint).
bool ReflectOnSmoothFacet(const MirrorFacet& facet, const FacetNormals& normals, Point3 centre, Point3 hit,
                          Point3& result, MissRecord& misses);

// Whether the mesh lies on the border of its convex hull: every corner on the
// inner side of every facet's plane, the side of the corners' mean (inside),
// within tolerance. A ray reflected off a facet whose outer side the eye is
// on stays on that side, where no facet lies: it cannot meet the mirror again.
// False for a mirror without facets or index, or flat (the mean on a plane).
struct MeshHull {
  bool Convex = false;
  Point3 Inside;        // the corners' mean
  Real Tolerance = 0;   // 1e-6 of the facets' box diagonal: corners stored as floats stay inside
};
MeshHull HullOf(const FacetedMirror& mirror);
// Whether p lies on the facet's outer side, farther than the tolerance.
bool OnOuterSide(const MeshHull& hull, const MirrorFacet& facet, Point3 p);

// The mirror operation of the run. In the vertical mode a picture point within
// AxisTolerance of the centre in x and y runs along the mirror's axis and lands
// straight below it, at (x, y, 0). A smooth mesh reflects about the normal
// interpolated at the hit. result may be the same object as facePoint.
bool ReflectRay(const FacetedMirror& mirror, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses);

}  // namespace anamorfosi
