// The four mirrors as the view draws them: the programs' own models, with the
// bounds a real mirror has (the cylinder's height, the plane mirror's face),
// and what a sight ray from the eye meets first.
#pragma once

#include <vector>

#include "mirrors/cone.h"
#include "mirrors/cylinder.h"
#include "mirrors/faceted_mirror.h"
#include "core/geometry.h"
#include "mirrors/plane_mirror.h"

// What a sight ray meets first, before the sheet.

namespace anamorfosi {
enum class SightHit { kNothing, kMirror, kMirrorTop };

// A cylinder of unlimited height as the programs reflect it, drawn up to Top,
// with a closed top.
struct CylinderView {
  Cylinder Model;
  Real Top = 0;
};
// The plane mirror is its plane where the programs reflect; drawn, it is the face.
struct PlaneView {
  PlaneMirror Model;
  Face Outline;
};
struct ConeView {
  ConeMirror Model;
};
struct MeshView {
  const FacetedMirror* Model = nullptr;
  Real Size = 1;  // the diagonal of the facets' box, for the offset of a second ray
};

inline const Cylinder& ModelOf(const CylinderView& v) { return v.Model; }
inline const PlaneMirror& ModelOf(const PlaneView& v) { return v.Model; }
inline const ConeMirror& ModelOf(const ConeView& v) { return v.Model; }
inline const FacetedMirror& ModelOf(const MeshView& v) { return *v.Model; }

// The first mirror point along the half-line eye + t d (d a unit vector, t > 0)
// at or above the sheet; kNothing when the ray goes by.
SightHit MeetMirror(const CylinderView& v, Point3 eye, Point3 d, Point3& hit);
SightHit MeetMirror(const PlaneView& v, Point3 eye, Point3 d, Point3& hit);
SightHit MeetMirror(const ConeView& v, Point3 eye, Point3 d, Point3& hit);
SightHit MeetMirror(const MeshView& v, Point3 eye, Point3 d, Point3& hit);

// True when the ray reflected at hit toward landing meets the mirror again
// before the sheet (only a concave mesh can).
inline bool MeetsAgain(const CylinderView&, Point3, Point3) { return false; }
inline bool MeetsAgain(const PlaneView&, Point3, Point3) { return false; }
inline bool MeetsAgain(const ConeView&, Point3, Point3) { return false; }
bool MeetsAgain(const MeshView& v, Point3 hit, Point3 landing);

// Points the view's frame must hold to show the whole mirror.
std::vector<Point3> OutlinePoints(const CylinderView& v);
std::vector<Point3> OutlinePoints(const PlaneView& v);
std::vector<Point3> OutlinePoints(const ConeView& v);
std::vector<Point3> OutlinePoints(const MeshView& v);

// The cylinder's drawn height: a tenth above the highest point where the sight
// rays through the picture face meet it (twice the radius when none do).
Real CylinderTopFor(const Cylinder& c, Point3 eye, const Face& face);
MeshView MakeMeshView(const FacetedMirror& mirror);

}  // namespace anamorfosi
