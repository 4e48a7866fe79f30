// Reflection on a cone worked out for the tests without the code under test:
// the first crossing of the sight half-line with the solid cone by stepping and
// bisection, the normal from the gradient of the surface, the reflected
// direction by the law of reflection.
#pragma once

#include <cmath>

#include "core/geometry.h"

// Positive inside the solid cone (between base and apex), negative outside.

namespace anamorfosi {
inline Real ReferenceInside(Real X, Real Y, Real R, Real H, Point3 p) {
  return R * (1 - p.z / H) - std::hypot(p.x - X, p.y - Y);
}

// Where the ray from eye through target, reflected on the cone of axis (X, Y),
// base radius R and height H, meets Z = 0; false when it misses the cone or
// its reflection does not descend.
inline bool ReferenceConeImage(Real X, Real Y, Real R, Real H, Point3 eye, Point3 target, Point3& ground) {
  const Point3 d = UnitDirection(eye, target);
  const Real reach = Distance3(eye, {X, Y, H / 2}) + R + H;
  const int steps = 100000;
  auto at = [&](Real t) { return eye + t * d; };
  auto onCone = [&](Point3 p) { return p.z >= 0 && p.z <= H; };
  Real t0 = 0;
  bool found = false;
  for (int i = 1; i <= steps && !found; ++i) {
    const Real t1 = reach * i / steps;
    const Point3 a = at(t0), b = at(t1);
    if (onCone(b) && ReferenceInside(X, Y, R, H, a) < 0 && ReferenceInside(X, Y, R, H, b) >= 0) {
      found = true;
      break;
    }
    t0 = t1;
  }
  if (!found) return false;
  Real lo = t0, hi = t0 + reach / steps;
  for (int i = 0; i < 200; ++i) {
    const Real mid = (lo + hi) / 2;
    (ReferenceInside(X, Y, R, H, at(mid)) < 0 ? lo : hi) = mid;
  }
  const Point3 hit = at((lo + hi) / 2);
  const Real r = std::hypot(hit.x - X, hit.y - Y);
  // Outward normal: gradient of (plan distance) + (R / H) z.
  Point3 n{(hit.x - X) / r, (hit.y - Y) / r, R / H};
  n = (1 / std::sqrt(Dot(n, n))) * n;
  const Point3 out = d - (2 * Dot(d, n)) * n;
  if (!(out.z < 0)) return false;
  ground = hit + (-hit.z / out.z) * out;
  return true;
}

}  // namespace anamorfosi
