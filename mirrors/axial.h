// Line, circle and plane routines of the vertical-axis mirrors (cylinder and
// cone), and the window those two mirrors share. Each routine reports a
// degenerate input through a GeometryStatus and leaves its other outputs as
// documented.
#pragma once

#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/mirror.h"
#include "core/window.h"

// 0 success; 1 no usable roots (SolveQuadratic); 2 coincident plan points;
// 6 coincident space points; 7 null normal; 13 degenerate line direction;
// 14 line misses or only touches the circle.

namespace anamorfosi {
using GeometryStatus = int;

// 2-D line a*x + b*y + c = 0 with a^2 + b^2 = 1, directed along (b, -a).
void Line2FromPoints(Real x1, Real y1, Real x2, Real y2, Real& a, Real& b, Real& c, GeometryStatus& status);
// Crossings of line (a, b, c) with the circle (cx, cy, r); (x1, y1) comes first
// along the line's direction.
void IntersectLineCircle(Real cx, Real cy, Real r, Real a, Real b, Real c, Real& x1, Real& y1, Real& x2, Real& y2,
                         GeometryStatus& status);
// origin := A; direction := unit vector from A toward B (status 6 and the raw
// difference when A and B are closer than 1e-10).
void LineFromPoints(Point3 A, Point3 B, Point3& origin, Point3& direction, GeometryStatus& status);
// The plane through C whose unit normal points from A toward B.
void PerpendicularPlane(Point3 A, Point3 B, Point3 C, Plane& plane, GeometryStatus& status);

// Where a vertical-axis mirror stands on the output, in cells measured from the
// window's left edge (MinX) and top edge (MaxY).
struct AxialPlacement {
  Real AxisColumn = 0, AxisRow = 0, RadiusCells = 0;
};

// AxisColumn, AxisRow and RadiusCells of a computed window.
AxialPlacement PlaceAxis(const OutputWindow& window, Point3 axisPoint, Real radius);

// The window of the vertical-axis mirrors: the scan of the picture face widened
// by a tenth on each side, and the axis and radius in cells.
template <class Mirror>
WindowStatus ComputeAxialWindow(const Mirror& mirror, const Face& face, Point3 centre, Point3 axisPoint, Real radius,
                                long pixelCount, MissRecord& misses, OutputWindow& window, AxialPlacement& placement) {
  const WindowStatus status = ComputeWindow(mirror, face, centre, pixelCount, 10, misses, window);
  if (status == WindowStatus::kOk) placement = PlaceAxis(window, axisPoint, radius);
  return status;
}

}  // namespace anamorfosi
