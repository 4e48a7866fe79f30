// The sphere as the view draws it (sphere_kind.cpp): the model itself, the
// whole ball above the sheet.
#pragma once

#include <vector>

#include "mirrors/sphere.h"
#include "pipeline/mirror_view.h"

namespace anamorfosi {

struct SphereView {
  SphereMirror Model;
};

inline const SphereMirror& ModelOf(const SphereView& v) { return v.Model; }
SightHit MeetMirror(const SphereView& v, Point3 eye, Point3 d, Point3& hit);
// A ray leaving a convex mirror never meets it again.
inline bool MeetsAgain(const SphereView&, Point3, Point3) { return false; }
std::vector<Point3> OutlinePoints(const SphereView& v);

}  // namespace anamorfosi
