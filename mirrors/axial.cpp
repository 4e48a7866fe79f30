#include "mirrors/axial.h"

#include <cmath>

namespace anamorfosi {

void Line2FromPoints(Real x1, Real y1, Real x2, Real y2, Real& a, Real& b, Real& c, GeometryStatus& status) {
  status = 0;
  const Real ex = x2 - x1, ey = y2 - y1;
  const Real q = ex * ex + ey * ey;
  if (q < 1e-30_r) {
    status = 2;
    return;
  }
  // Unit normal (-ey, ex), so that the direction of travel (b, -a) runs from
  // the first point toward the second.
  const Real k = 1 / std::sqrt(q);
  const Real na = -ey * k, nb = ex * k, nc = (x1 * y2 - x2 * y1) * k;
  a = na;
  b = nb;
  c = nc;
}

void IntersectLineCircle(Real cx, Real cy, Real r, Real a, Real b, Real c, Real& x1, Real& y1, Real& x2, Real& y2,
                         GeometryStatus& status) {
  status = 0;
  const Real n2 = a * a + b * b;
  // A line without a normal has no direction; tested before dividing by it.
  if (!(n2 >= 1e-10_r)) {
    status = 13;
    return;
  }
  const Real g = 1 / n2;
  // Foot of the line nearest to the plan origin, and the unit direction.
  const Real x0 = -a * c * g, y0 = -b * c * g;
  const Real s = std::sqrt(g);
  const Real dx = b * s, dy = -a * s;
  const Real m = dx * dx + dy * dy;
  if (!(m >= 1e-10_r)) {
    status = 13;
    return;
  }
  // k is the centre's offset across the line; a tangent or near-tangent line
  // (disc below 1e-10) counts as missing the circle.
  const Real ux = cx - x0, uy = cy - y0;
  const Real k = dx * uy - dy * ux;
  const Real disc = r * r * m - k * k;
  if (!(disc >= 1e-10_r)) {
    status = 14;
    return;
  }
  // Parameters along the line of the centre's projection, minus and plus the half chord.
  const Real p = dx * cx + dy * cy;
  const Real root = std::sqrt(disc);
  const Real t1 = (p - root) / m, t2 = (p + root) / m;
  x1 = x0 + dx * t1;
  y1 = y0 + dy * t1;
  x2 = x0 + dx * t2;
  y2 = y0 + dy * t2;
}

void LineFromPoints(Point3 A, Point3 B, Point3& origin, Point3& direction, GeometryStatus& status) {
  status = 0;
  origin = A;
  direction = B - A;
  const Real len = std::sqrt(Dot(direction, direction));
  if (len < 1e-10_r) {
    status = 6;
    return;
  }
  direction = (1 / len) * direction;
}

void PerpendicularPlane(Point3 A, Point3 B, Point3 C, Plane& plane, GeometryStatus& status) {
  Point3 origin, n;
  LineFromPoints(A, B, origin, n, status);
  if (status != 0) return;
  Plane p{n.x, n.y, n.z, -(n.x * C.x + n.y * C.y + n.z * C.z)};
  const Real len = std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz);
  if (len < 1e-30_r) {
    status = 7;
    plane = p;
    return;
  }
  const Real k = 1 / len;
  plane = {p.nx * k, p.ny * k, p.nz * k, p.d * k};
}

AxialPlacement PlaceAxis(const OutputWindow& window, Point3 axisPoint, Real radius) {
  AxialPlacement placement;
  placement.AxisColumn = (axisPoint.x - window.MinX) / window.CellSize;
  placement.AxisRow = (window.MaxY - axisPoint.y) / window.CellSize;
  // The column of the axis less the column of the point one radius to its left.
  placement.RadiusCells = placement.AxisColumn - (axisPoint.x - window.MinX - radius) / window.CellSize;
  return placement;
}

}  // namespace anamorfosi
