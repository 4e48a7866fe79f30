// The conical mirror: a right circular cone with a vertical axis, its base
// circle on the sheet Z = 0 and its apex above the base centre. The mirror is
// the lateral surface between the base and the apex; nothing below the sheet
// or above the apex reflects.
#pragma once

#include <cmath>

#include "mirrors/axial.h"
#include "mirrors/axis_step.h"
#include "core/geometry.h"
#include "core/mirror.h"

namespace anamorfosi {

struct ConeMirror {
  Point3 AxisPoint;        // x, y of the vertical axis; z = 0
  Real BaseRadius = 0;     // radius of the base circle on Z = 0
  Real ConeHeight = 0;     // the apex is (AxisPoint.x, AxisPoint.y, ConeHeight)
  Real AxisTolerance = 0;  // of the axial-ray test: |C1C2| of the picture face / 1000
};

// Pixels whose image would wrap round the axis are left out, as in cono.
inline AxisStep AxisStepOf(const ConeMirror& cone, Point3) {
  return {true, cone.AxisPoint.x, cone.AxisPoint.y, cone.AxisTolerance};
}

// Roots of a*t^2 + b*t + c = 0: t1 = (-b + sqrt(D)) / 2a, t2 = (-b - sqrt(D)) / 2a
// and status 0; status 1 (t1, t2 unwritten) when D < 1e-10 (no crossing, or a
// tangent one) or |a| < 1e-10.
void SolveQuadratic(Real a, Real b, Real c, Real& t1, Real& t2, GeometryStatus& status);

// How far a hit may lie outside the real cone (in units of its height) and still
// count as on it: crossings on the base circle or at the apex are computed with
// a little rounding either way.
inline constexpr Real kConeEdgeTolerance = 1e-9_r;

// The point where the half-line from eye through target first meets the cone's
// lateral surface. A ray straight down the axis from above the apex counts as
// meeting the axis foot (X, Y, 0) and goes on unbent. Answers false, with hit
// set to the miss marker, when the half-line meets no point of the mirror.
inline bool IntersectCone(const ConeMirror& cone, Point3 eye, Point3 target, Point3& hit) {
  const Real X = cone.AxisPoint.x, Y = cone.AxisPoint.y;
  const Real R = std::fabs(cone.BaseRadius), H = cone.ConeHeight;
  const Real tol = cone.AxisTolerance;
  hit = {MissCoordinate, MissCoordinate, MissCoordinate};
  if (!(R > 0) || !(H > 0)) return false;

  // Axial ray: the eye above the apex, on the axis, looking straight down.
  if (std::fabs(eye.x - target.x) < tol && std::fabs(eye.y - target.y) < tol && std::fabs(eye.x - X) < tol &&
      std::fabs(eye.y - Y) < tol && eye.z > H && target.z < eye.z) {
    hit = {X, Y, 0};
    return true;
  }

  // Unit-cone frame: apex at the origin, x'^2 + y'^2 = z'^2, base at z' = -1.
  const Real k = H / R;
  const Point3 e{(eye.x - X) / R, (eye.y - Y) / R, ((eye.z - H) / R) / k};
  const Point3 q{(target.x - X) / R, (target.y - Y) / R, ((target.z - H) / R) / k};
  Point3 o, d;
  GeometryStatus status = 0;
  LineFromPoints(e, q, o, d, status);
  if (status != 0) return false;

  // |o + t d| on the unit cone.
  const Real a = d.x * d.x + d.y * d.y - d.z * d.z;
  const Real b = 2 * o.x * d.x + 2 * o.y * d.y - 2 * o.z * d.z;
  const Real c = o.x * o.x + o.y * o.y - o.z * o.z;
  Real t1 = 0, t2 = 0;
  SolveQuadratic(a, b, c, t1, t2, status);
  if (status != 0) return false;

  // The nearest crossing in front of the eye that lies between base and apex.
  bool found = false;
  Real best = 0, bestZ = 0;
  for (const Real t : {t1, t2}) {
    if (!(t > 0)) continue;
    const Real z = o.z + t * d.z;
    if (z < -1 - kConeEdgeTolerance || z > kConeEdgeTolerance) continue;
    if (!found || t < best) {
      found = true;
      best = t;
      bestZ = z;
    }
  }
  if (!found) return false;

  // Back to the world; a crossing on the base circle is put on the sheet itself.
  hit.x = (o.x + best * d.x) * R + X;
  hit.y = (o.y + best * d.y) * R + Y;
  hit.z = bestZ * k * R + H;
  if (hit.z < 0) hit.z = 0;
  if (hit.z > H) hit.z = H;
  return true;
}

// The cone's mirror model (see mirror.h for the contract).
inline bool ReflectRay(const ConeMirror& cone, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses) {
  Point3 hit;
  if (!IntersectCone(cone, centre, facePoint, hit)) return RecordMiss(result, misses);
  const Real X = cone.AxisPoint.x, Y = cone.AxisPoint.y;
  const Real R = std::fabs(cone.BaseRadius), H = cone.ConeHeight;

  // Where the surface normal through the hit meets the axis: it runs at right
  // angles to the generator through the hit.
  const Real r = Distance2(X, Y, hit.x, hit.y);
  const Point3 foot{X, Y, hit.z - r * R / H};

  // Foot of the eye on the normal line, on its outer side; a hit on the axis
  // (the apex, or the axial ray) has no normal and the ray goes on unbent.
  Point3 onNormal = hit;
  if (Distance3(foot, hit) >= 1e-8_r) {
    Plane tangent;
    GeometryStatus status = 0;
    PerpendicularPlane(foot, hit, hit, tangent, status);
    if (status == 0) onNormal = PointBeyond(foot, hit, SignedDistance(tangent, centre));
  }
  // The eye mirrored across the normal line; the reflected ray leaves the hit
  // toward it.
  const Point3 image = PointBeyond(centre, onNormal, Distance3(centre, onNormal));
  return ReflectedRayToGround(hit, image, result, misses);
}

}  // namespace anamorfosi
