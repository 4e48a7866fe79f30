// The cylindrical mirror: a vertical circular cylinder of unlimited height,
// standing on the sheet, given by its axis position and its radius.
#pragma once

#include "mirrors/axial.h"
#include "mirrors/axis_step.h"
#include "core/geometry.h"
#include "core/mirror.h"

namespace anamorfosi {

struct Cylinder {
  Point3 AxisPoint;  // x and y of the vertical axis; z is 0
  Real Radius = 0;   // a negative radius reflects like its absolute value
};

// True when no line of sight can cross the cylinder: its plan circle is below
// the tolerance of the line-circle crossing.
// A cylinder sends no ray down its axis.
inline AxisStep AxisStepOf(const Cylinder&, Point3) { return {}; }

// Its wall is smooth: reflected points move smoothly with the face point.
inline bool SmoothReflection(const Cylinder&) { return true; }

inline bool CylinderIsNull(const Cylinder& cylinder) { return cylinder.Radius * cylinder.Radius < 1e-10_r; }

// The sight half-line from centre through facePoint meets the cylinder at the
// first crossing ahead of the centre; the ray reflected there must come down to
// Z = 0. A hit below the sheet is a miss: the eye would see the sheet there.
inline bool ReflectRay(const Cylinder& cylinder, Point3 centre, Point3 facePoint, Point3& result,
                       MissRecord& misses) {
  const Point3 E = centre, F = facePoint;
  const Real X = cylinder.AxisPoint.x, Y = cylinder.AxisPoint.y;
  GeometryStatus status = 0;
  Real a = 0, b = 0, c = 0;
  // A vertical line of sight has no plan line.
  Line2FromPoints(E.x, E.y, F.x, F.y, a, b, c, status);
  if (status != 0) return RecordMiss(result, misses);
  Real x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  IntersectLineCircle(X, Y, cylinder.Radius, a, b, c, x1, y1, x2, y2, status);
  if (status != 0) return RecordMiss(result, misses);
  // Parameters of the two crossings on the sight line E + t (F - E), measured
  // in plan; the first with t > 0 is the wall the eye sees.
  const Real ex = F.x - E.x, ey = F.y - E.y;
  const Real q = ex * ex + ey * ey;
  const Real t1 = ((x1 - E.x) * ex + (y1 - E.y) * ey) / q;
  const Real t2 = ((x2 - E.x) * ex + (y2 - E.y) * ey) / q;
  Point3 H;
  Real t = 0;
  if (t1 > 0) {
    H = {x1, y1, 0};
    t = t1;
  } else if (t2 > 0) {
    H = {x2, y2, 0};
    t = t2;
  } else {
    return RecordMiss(result, misses);
  }
  // Height of the hit on the sight line, on either side of the face point.
  H.z = E.z + t * (F.z - E.z);
  if (!(H.z >= 0)) return RecordMiss(result, misses);
  // Tangent plane at H, its unit normal horizontal and pointing outward.
  Plane T;
  PerpendicularPlane({X, Y, 0}, {H.x, H.y, 0}, {H.x, H.y, 0}, T, status);
  return ReflectOnPlane(H, T, E, result, misses);
}

}  // namespace anamorfosi
