// The cylinder as the view draws it (cylinder_kind.cpp): the program's model
// of unlimited height, drawn up to Top with a closed top.
#pragma once

#include <vector>

#include "mirrors/cylinder.h"
#include "pipeline/mirror_view.h"

namespace anamorfosi {

struct CylinderView {
  Cylinder Model;
  Real Top = 0;
};

inline const Cylinder& ModelOf(const CylinderView& v) { return v.Model; }
SightHit MeetMirror(const CylinderView& v, Point3 eye, Point3 d, Point3& hit);
inline bool MeetsAgain(const CylinderView&, Point3, Point3) { return false; }
std::vector<Point3> OutlinePoints(const CylinderView& v);

// The cylinder's drawn height: a tenth above the highest point where the sight
// rays through the picture face meet it (twice the radius when none do).
Real CylinderTopFor(const Cylinder& c, Point3 eye, const Face& face);

}  // namespace anamorfosi
