// The mesh mirror as the view draws it (mesh_kind.cpp): its facets, which a
// reflected ray may meet again when the mirror is concave; never when the
// mesh lies on its convex hull and the eye sees the hit facet from outside.
#pragma once

#include <vector>

#include "mirrors/faceted_mirror.h"
#include "pipeline/mirror_view.h"

namespace anamorfosi {

struct MeshView {
  const FacetedMirror* Model = nullptr;
  Real Size = 1;  // the diagonal of the facets' box, for the offset of a second ray
  MeshHull Hull;         // known with the eye only
  Point3 Eye;
};

inline const FacetedMirror& ModelOf(const MeshView& v) { return *v.Model; }
SightHit MeetMirror(const MeshView& v, Point3 eye, Point3 d, Point3& hit);
bool MeetsAgain(const MeshView& v, Point3 hit, Point3 landing);
std::vector<Point3> OutlinePoints(const MeshView& v);

MeshView MakeMeshView(const FacetedMirror& mirror);
// The same, knowing the eye and whether the mesh lies on its convex hull.
MeshView MakeMeshView(const FacetedMirror& mirror, Point3 eye);

}  // namespace anamorfosi
