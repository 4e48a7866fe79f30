// Points, planes and the small set of operations that every mirror model builds
// its rays from. All geometry is computed in Real: 80-bit extended precision
// (long double), which the four programs' printed numbers and files need, or
// double in a build configured with ANAMORFOSI_REAL_DOUBLE.
#pragma once

#include <cmath>

namespace anamorfosi {

#ifdef ANAMORFOSI_REAL_DOUBLE
using Real = double;
#else
using Real = long double;
#endif

// A floating literal in Real: 1e-9_r is exactly what 1e-9L is when Real is long
// double, and the correctly rounded value of the written decimal otherwise
// (bar the rare decimal whose long double rounding lands on a double tie).
constexpr Real operator""_r(long double v) { return static_cast<Real>(v); }

struct Point3 {
  Real x = 0, y = 0, z = 0;
};

// nx*x + ny*y + nz*z + d = 0
struct Plane {
  Real nx = 0, ny = 0, nz = 0, d = 0;
};

// Four corners in the order of a DXF 3DFACE. For the picture face: C1 top-left,
// C2 top-right, C3 bottom-right, C4 bottom-left.
struct Face {
  Point3 C1, C2, C3, C4;
};

// Written into all three coordinates of a ray that cannot reach Z = 0.
inline constexpr Real MissCoordinate = -999.999_r;

inline Point3 operator+(Point3 a, Point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Point3 operator-(Point3 a, Point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3 operator*(Real s, Point3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline Real Dot(Point3 a, Point3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3 Cross(Point3 a, Point3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Point3 Normal(const Plane& p) { return {p.nx, p.ny, p.nz}; }

inline Real Distance3(Point3 a, Point3 b) {
  const Real dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

inline Real Distance2(Real x1, Real y1, Real x2, Real y2) {
  const Real dx = x2 - x1, dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

// Signed distance of p from the plane; negative above Z = 0 for the ground plane.
// A plane without a normal (collinear points) answers 1e10.
inline Real SignedDistance(const Plane& plane, Point3 p) {
  const Real n = std::sqrt(plane.nx * plane.nx + plane.ny * plane.ny + plane.nz * plane.nz);
  if (n < 1e-10_r) return 1e10_r;
  return (plane.nx * p.x + plane.ny * p.y + plane.nz * p.z + plane.d) / n;
}

// Unit vector from a toward b; for coincident points the length is taken as
// 1e-10, which gives (almost) the zero vector.
inline Point3 UnitDirection(Point3 a, Point3 b) {
  Real l = Distance3(a, b);
  if (l < 1e-10_r) l = 1e-10_r;
  return {(b.x - a.x) / l, (b.y - a.y) / l, (b.z - a.z) / l};
}

// Meets the whole line p + s*u with the plane, in front of p or behind it.
// along receives s (the signed distance from p when u is a unit vector).
// A line within 1e-7 of parallel writes MissCoordinate into r.x only and
// answers false; r.y, r.z and along are left as they were.
inline bool IntersectLinePlane(Point3 p, const Plane& plane, Point3 u, Point3& r, Real& along) {
  const Real den = plane.nx * u.x + plane.ny * u.y + plane.nz * u.z;
  const Real num = plane.nx * p.x + plane.ny * p.y + plane.nz * p.z + plane.d;
  if (std::fabs(den) <= 1e-7_r) {
    r.x = MissCoordinate;
    return false;
  }
  const Real t = num / den;
  r = {p.x - t * u.x, p.y - t * u.y, p.z - t * u.z};
  along = -t;
  return true;
}

inline bool IntersectLinePlane(Point3 p, const Plane& plane, Point3 u, Point3& r) {
  Real along = 0;
  return IntersectLinePlane(p, plane, u, r, along);
}

// Plane through three points, normal (p1 - p3) x (p2 - p3), normalised unless
// the points are collinear (then all four values are 0 or left unnormalised).
inline Plane PlaneFromPoints(Point3 p1, Point3 p2, Point3 p3) {
  const Point3 u = p1 - p3, v = p2 - p3;
  Plane pl;
  pl.nx = u.y * v.z - u.z * v.y;
  pl.ny = u.z * v.x - u.x * v.z;
  pl.nz = u.x * v.y - u.y * v.x;
  pl.d = -(pl.nx * p1.x + pl.ny * p1.y + pl.nz * p1.z);
  const Real s = pl.nx * pl.nx + pl.ny * pl.ny + pl.nz * pl.nz;
  if (s > 1e-20_r) {
    const Real k = 1 / std::sqrt(s);
    pl.nx *= k;
    pl.ny *= k;
    pl.nz *= k;
    pl.d *= k;
  }
  return pl;
}

namespace detail {
// Moves |dist| from base along the direction a -> b, the horizontal and vertical
// parts separately so that a vertical direction keeps x and y exactly.
inline Point3 StepAlong(Point3 a, Point3 b, Point3 base, Real dist) {
  dist = std::fabs(dist);
  const Real l = Distance3(a, b);
  if (dist <= 1e-8_r || l < 1e-8_r) return base;
  Point3 r;
  r.z = base.z + (b.z - a.z) * dist / l;
  const Real l2 = Distance2(a.x, a.y, b.x, b.y);
  if (l2 <= 1e-8_r) {
    r.x = base.x;
    r.y = base.y;
    return r;
  }
  const Real h = dist * l2 / l;
  r.x = base.x + (b.x - a.x) * h / l2;
  r.y = base.y + (b.y - a.y) * h / l2;
  return r;
}
}  // namespace detail

// The point |dist| from a toward b (past b when |dist| exceeds |ab|).
inline Point3 PointToward(Point3 a, Point3 b, Real dist) { return detail::StepAlong(a, b, a, dist); }

// The point |dist| past b on the line from a through b.
inline Point3 PointBeyond(Point3 a, Point3 b, Real dist) { return detail::StepAlong(a, b, b, dist); }

// The sheet Z = 0 as (0, 0, -1, 0).
inline Plane MakeGroundPlane() { return PlaneFromPoints({10, 10, 0}, {10, 0, 0}, {0, 10, 0}); }

inline bool IsMiss(Point3 p) { return p.x == MissCoordinate && p.y == MissCoordinate && p.z == MissCoordinate; }

}  // namespace anamorfosi
