// Faceted solids written as DXF 3DFACE corner lists, for the tests and the
// measurements: a vertical cylinder and a cone made of flat quadrilaterals.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

#include "core/geometry.h"

// The side of a vertical cylinder with its axis at (cx, cy), from z0 to z1:
// segments quadrilaterals round it, rings of them up its height, each with the
// corners (bottom, bottom next, top next, top) so that the split along the
// third-to-first diagonal gives two triangles. The facets' corners lie on the
// circle, so the faceted surface is inside the round one.

namespace anamorfosi {
inline std::vector<Face> FacetedCylinderFaces(Real cx, Real cy, Real radius, Real z0, Real z1, int segments,
                                              int rings) {
  std::vector<Face> faces;
  faces.reserve(static_cast<std::size_t>(segments) * rings);
  for (int r = 0; r < rings; ++r) {
    const Real za = z0 + (z1 - z0) * r / rings, zb = z0 + (z1 - z0) * (r + 1) / rings;
    for (int s = 0; s < segments; ++s) {
      const Real a = 2 * std::numbers::pi_v<Real> * s / segments;
      const Real b = 2 * std::numbers::pi_v<Real> * (s + 1) / segments;
      const Point3 p{cx + radius * std::cos(a), cy + radius * std::sin(a), za};
      const Point3 q{cx + radius * std::cos(b), cy + radius * std::sin(b), za};
      faces.push_back({p, q, {q.x, q.y, zb}, {p.x, p.y, zb}});
    }
  }
  return faces;
}

// A vertical cone standing on Z = 0 with its apex above (cx, cy): segments
// quadrilaterals round it and rings of them from the base to the apex (the
// top ring's quadrilaterals close to triangles at the apex).
inline std::vector<Face> FacetedConeFaces(Real cx, Real cy, Real radius, Real height, int segments, int rings) {
  std::vector<Face> faces;
  faces.reserve(static_cast<std::size_t>(segments) * rings);
  for (int r = 0; r < rings; ++r) {
    const Real fa = static_cast<Real>(r) / rings, fb = static_cast<Real>(r + 1) / rings;
    const Real ra = radius * (1 - fa), rb = radius * (1 - fb);
    for (int s = 0; s < segments; ++s) {
      const Real a = 2 * std::numbers::pi_v<Real> * s / segments;
      const Real b = 2 * std::numbers::pi_v<Real> * (s + 1) / segments;
      const Point3 p{cx + ra * std::cos(a), cy + ra * std::sin(a), height * fa};
      const Point3 q{cx + ra * std::cos(b), cy + ra * std::sin(b), height * fa};
      const Point3 u{cx + rb * std::cos(b), cy + rb * std::sin(b), height * fb};
      const Point3 v{cx + rb * std::cos(a), cy + rb * std::sin(a), height * fb};
      faces.push_back({p, q, u, v});
    }
  }
  return faces;
}

// A sphere of the given centre and radius made as solid modellers (OpenSCAD)
// make one: `segments` points round each ring, (segments + 1) / 2 rings at
// the polar angles 180 (i + 0.5) / rings degrees, quadrilaterals between
// neighbouring rings and a flat polygon closing each end, split here as a
// fan from its first point (triangular 3DFACEs). Every corner lies on the
// sphere, so the facets are inside it, and every corner is computed once, so
// that the facets meeting at it share it to the last bit. Faces are wound
// outward.
inline std::vector<Face> RingSphereFaces(Point3 centre, Real radius, int segments) {
  const int rings = (segments + 1) / 2;
  const Real pi = std::numbers::pi_v<Real>;
  std::vector<std::vector<Point3>> ring(static_cast<std::size_t>(rings));
  for (int i = 0; i < rings; ++i) {
    const Real phi = pi * (i + 0.5_r) / rings;
    for (int j = 0; j < segments; ++j) {
      const Real a = 2 * pi * j / segments;
      ring[i].push_back(centre + Point3{radius * std::sin(phi) * std::cos(a), radius * std::sin(phi) * std::sin(a),
                                        radius * std::cos(phi)});
    }
  }
  std::vector<Face> faces;
  // The top, seen from above, counter-clockwise.
  for (int j = 1; j + 1 < segments; ++j) faces.push_back({ring[0][0], ring[0][j], ring[0][j + 1], ring[0][j + 1]});
  for (int i = 0; i + 1 < rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const int k = (j + 1) % segments;
      faces.push_back({ring[i][j], ring[i + 1][j], ring[i + 1][k], ring[i][k]});
    }
  }
  const std::vector<Point3>& last = ring[static_cast<std::size_t>(rings - 1)];
  for (int j = 1; j + 1 < segments; ++j) faces.push_back({last[0], last[j + 1], last[j], last[j]});
  return faces;
}

}  // namespace anamorfosi
