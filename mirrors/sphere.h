// The spherical mirror: a ball given by its centre and radius, a chrome gazing
// ball standing on the sheet or raised above it. The whole ball reflects, but
// only where it lies at or above the sheet: a ball whose centre is lower than
// its radius is a dome cut by the sheet.
#pragma once

#include <cmath>

#include "mirrors/axis_step.h"
#include "core/geometry.h"
#include "core/mirror.h"

namespace anamorfosi {

struct SphereMirror {
  Point3 Centre;
  Real Radius = 0;  // a negative radius reflects like its absolute value
};

// A ball sends no ray down an axis.
inline AxisStep AxisStepOf(const SphereMirror&, Point3) { return {}; }

// Its surface has no edge: reflected points move smoothly with the face point
// wherever they reach the sheet (they run off to infinity only toward the
// rays that leave level, where the traced points show the curve too steep).
inline bool SmoothReflection(const SphereMirror&) { return true; }

// The nearer crossing of the half-line eye + t d (t > 0) with the ball, as the
// parameter t; false when the half-line goes by, only touches it, or starts
// inside it or on it.
inline bool SphereCrossing(const SphereMirror& ball, Point3 eye, Point3 d, Real& t) {
  const Point3 o = eye - ball.Centre;
  const Real a = Dot(d, d);
  const Real half = Dot(o, d);  // half the linear coefficient
  const Real c = Dot(o, o) - ball.Radius * ball.Radius;
  // Inside or on the ball, or moving away from its centre: no crossing ahead.
  if (!(c > 0) || !(half < 0) || !(a > 0)) return false;
  const Real disc = half * half - a * c;
  if (!(disc > 0)) return false;
  // t = (-half - sqrt(disc)) / a, written as c / (-half + sqrt(disc)) so that
  // an eye close to the ball (c small) loses no digits to cancellation.
  t = c / (-half + std::sqrt(disc));
  return t > 0;
}

// The sight ray from centre through facePoint meets the ball at its nearer
// crossing; the ray reflected about the outward normal there must come down to
// Z = 0. A hit below the sheet is a miss: the eye would see the sheet there.
inline bool ReflectRay(const SphereMirror& ball, Point3 centre, Point3 facePoint, Point3& result,
                       MissRecord& misses) {
  const Point3 d = facePoint - centre;
  Real t = 0;
  if (!SphereCrossing(ball, centre, d, t)) return RecordMiss(result, misses);
  const Point3 hit = centre + t * d;
  if (!(hit.z >= 0)) return RecordMiss(result, misses);
  const Point3 n = (1 / std::fabs(ball.Radius)) * (hit - ball.Centre);
  // The sight direction mirrored about the normal; its point one step from the
  // hit goes to the step every model ends with.
  const Point3 out = d - (2 * Dot(d, n)) * n;
  return ReflectedRayToGround(hit, hit + out, result, misses);
}

}  // namespace anamorfosi
