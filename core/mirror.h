// What the run requires of a mirror model, and the steps every model shares.
//
// Each program supplies one free function
//
//   bool ReflectRay(const TheMirror& mirror, Point3 centre, Point3 facePoint,
//                   Point3& result, MissRecord& misses);
//
// The ray leaves centre (the projection centre) through facePoint, is reflected
// on the mirror, and result is where the reflected ray meets Z = 0. result may be
// the same object as facePoint. When the ray cannot reach Z = 0 the function
// calls RecordMiss and answers false; it prints nothing. The run finds the
// function by argument-dependent lookup, so it is inlined into the hot loop.
#pragma once

#include "core/geometry.h"

// Missed rays of a run. Each mapping thread keeps its own and the run adds
// them up, so the totals do not depend on the number of threads.

namespace anamorfosi {
struct MissRecord {
  bool RayError = false;
  long long MissCount = 0;
};

inline void AddMisses(MissRecord& total, const MissRecord& part) {
  total.RayError = total.RayError || part.RayError;
  total.MissCount += part.MissCount;
}

// Marks result as a full miss and counts it; always answers false so that a
// model can `return RecordMiss(result, misses);`.
inline bool RecordMiss(Point3& result, MissRecord& misses) {
  result = {MissCoordinate, MissCoordinate, MissCoordinate};
  misses.RayError = true;
  ++misses.MissCount;
  return false;
}

// Last step of every model: the reflected ray leaves hit through image (a point
// of the reflected ray) and must reach Z = 0 going forward. A ray that rises, one
// parallel to the sheet, and one whose crossing lies behind the hit (the hit is
// below the sheet) are misses.
inline bool ReflectedRayToGround(Point3 hit, Point3 image, Point3& result, MissRecord& misses) {
  if (!(hit.z >= image.z)) return RecordMiss(result, misses);
  constexpr Plane kGround{0, 0, -1, 0};  // MakeGroundPlane()
  const Point3 w = UnitDirection(hit, image);
  Point3 r;
  Real along = 0;
  if (!IntersectLinePlane(hit, kGround, w, r, along)) return RecordMiss(result, misses);
  if (!(along >= 0)) return RecordMiss(result, misses);
  result = r;
  return true;
}

// Reflection at hit on a mirror whose tangent plane there is tangent (unit
// normal): the centre is mirrored across the normal line through hit, turned
// to the centre's side, which gives a point of the reflected ray; the ray then
// goes on to Z = 0 as in ReflectedRayToGround.
inline bool ReflectOnPlane(Point3 hit, const Plane& tangent, Point3 centre, Point3& result, MissRecord& misses) {
  // One unit along the normal from the hit, turned to the side of the centre.
  Point3 q = hit + Normal(tangent);
  const Real sC = Dot(Normal(tangent), centre) + tangent.d;
  const Real sQ = Dot(Normal(tangent), q) + tangent.d;
  if ((sC > 0) != (sQ > 0)) {
    Real e = Distance3(q, hit);
    if (e == 0) e = 1e-10_r;
    q = PointBeyond(q, hit, e);
  }
  // Foot of the centre on the normal through the hit, then the centre
  // mirrored through it.
  q = PointToward(hit, q, SignedDistance(tangent, centre));
  q = PointBeyond(centre, q, Distance3(centre, q));
  return ReflectedRayToGround(hit, q, result, misses);
}

}  // namespace anamorfosi
