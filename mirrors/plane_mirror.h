// The plane mirror: the whole plane through the first three corners of one
// 3DFACE, reflecting on either side.
#pragma once

#include <string>

#include "mirrors/axis_step.h"
#include "core/geometry.h"
#include "core/mirror.h"

namespace anamorfosi {

struct PlaneMirror {
  Plane MirrorPlane;  // normalised; (0, 0, 0, 0) until a face is read
  bool HasFace = false;
};

// A plane has no axis.
inline AxisStep AxisStepOf(const PlaneMirror&, Point3) { return {}; }

// A plane bends no line: reflected points move smoothly with the face point.
inline bool SmoothReflection(const PlaneMirror&) { return true; }

// The sight half-line from centre through facePoint meets the plane at M, in
// front of the centre; the ray reflected there must come down to Z = 0.
inline bool ReflectRay(const PlaneMirror& mirror, Point3 centre, Point3 facePoint, Point3& result,
                       MissRecord& misses) {
  const Plane& pl = mirror.MirrorPlane;
  const Point3 u = UnitDirection(centre, facePoint);
  Point3 m;
  Real along = 0;
  // A sight line parallel to the plane, or a plane behind the eye, is missed.
  if (!IntersectLinePlane(centre, pl, u, m, along) || !(along > 0)) return RecordMiss(result, misses);
  return ReflectOnPlane(m, pl, centre, result, misses);
}

}  // namespace anamorfosi
