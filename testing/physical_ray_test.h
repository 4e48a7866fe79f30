// Mirrors traced the way a physics textbook would, for the tests: the sight
// half-line E + t (F - E), t > 0, against the surface solved as a quadratic in
// t, the direction reflected about the surface normal, then carried down to
// Z = 0. Independent of the mirror models' routines.
#pragma once

#include <cmath>
#include <optional>

#include "core/geometry.h"

namespace anamorfosi {

struct PhysicalHit {
  Point3 Hit, Ground;
};

inline std::optional<PhysicalHit> TracePhysicalRay(Point3 axis, Real radius, Point3 E, Point3 F) {
  const Point3 d = F - E;
  const Real ox = E.x - axis.x, oy = E.y - axis.y;
  const Real qa = d.x * d.x + d.y * d.y;
  const Real qb = 2 * (ox * d.x + oy * d.y);
  const Real qc = ox * ox + oy * oy - radius * radius;
  const Real disc = qb * qb - 4 * qa * qc;
  if (qa == 0 || disc <= 0) return std::nullopt;
  const Real r1 = (-qb - std::sqrt(disc)) / (2 * qa), r2 = (-qb + std::sqrt(disc)) / (2 * qa);
  const Real t = r1 > 0 ? r1 : r2;
  if (!(t > 0)) return std::nullopt;
  PhysicalHit h;
  h.Hit = E + t * d;
  if (h.Hit.z < 0) return std::nullopt;
  const Real rr = std::fabs(radius);
  const Point3 n{(h.Hit.x - axis.x) / rr, (h.Hit.y - axis.y) / rr, 0};
  const Point3 out = d - (2 * Dot(d, n)) * n;
  if (!(out.z < 0)) return std::nullopt;
  h.Ground = h.Hit + (-h.Hit.z / out.z) * out;
  return h;
}

// The sphere of the given centre and radius, seen from an eye outside it: the
// nearer root, reflected about the outward normal (H - C) / r.
inline std::optional<PhysicalHit> TracePhysicalSphereRay(Point3 centre, Real radius, Point3 E, Point3 F) {
  const Point3 d = F - E;
  const Point3 o = E - centre;
  const Real qa = Dot(d, d), qb = 2 * Dot(o, d), qc = Dot(o, o) - radius * radius;
  const Real disc = qb * qb - 4 * qa * qc;
  if (qa == 0 || qc <= 0 || disc <= 0) return std::nullopt;
  const Real t = (-qb - std::sqrt(disc)) / (2 * qa);
  if (!(t > 0)) return std::nullopt;
  PhysicalHit h;
  h.Hit = E + t * d;
  if (h.Hit.z < 0) return std::nullopt;
  const Point3 n = (1 / std::fabs(radius)) * (h.Hit - centre);
  const Point3 out = d - (2 * Dot(d, n)) * n;
  if (!(out.z < 0)) return std::nullopt;
  h.Ground = h.Hit + (-h.Hit.z / out.z) * out;
  return h;
}

}  // namespace anamorfosi
