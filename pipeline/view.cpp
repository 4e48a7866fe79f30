#include "pipeline/view.h"

#include <cmath>

namespace anamorfosi {

namespace {

Point3 Unit(Point3 v) {
  const Real l = std::sqrt(Dot(v, v));
  return l > 0 ? (1 / l) * v : v;
}

// The part of v at right angles to the unit vector f; zero when v runs along f.
Point3 Across(Point3 v, Point3 f) { return v - Dot(v, f) * f; }

}  // namespace

ViewCamera FrameView(Point3 eye, const Face& face, const std::vector<Point3>& frame, int width) {
  ViewCamera c;
  c.Eye = eye;
  c.Width = std::max(1, width);
  const Point3 centre = 0.25_r * (face.C1 + face.C2 + face.C3 + face.C4);
  c.Forward = Unit(centre - eye);
  // The face's own up (its top side's middle less its bottom's), else the
  // vertical, else north, whichever does not run along the line of sight.
  const Point3 faceUp = 0.5_r * (face.C1 + face.C2 - face.C3 - face.C4);
  for (const Point3 up : {faceUp, Point3{0, 0, 1}, Point3{0, 1, 0}}) {
    const Point3 a = Across(up, c.Forward);
    // 1e-6 of the vector's own length: below it the direction is rounding.
    if (Dot(a, a) > 1e-12_r * Dot(up, up)) {
      c.Up = Unit(a);
      break;
    }
  }
  c.Right = Cross(c.Forward, c.Up);
  // The frame's extent in tangents of the angles off the axis; the axis itself
  // (the face's centre) always within it.
  Real x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  for (const Point3& p : frame) {
    const Point3 q = p - eye;
    const Real ahead = Dot(q, c.Forward);
    if (!(ahead > 1e-9_r * std::sqrt(Dot(q, q)))) continue;
    const Real x = Dot(q, c.Right) / ahead, y = Dot(q, c.Up) / ahead;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  // A twentieth more on every side; never more than 45 degrees off the axis,
  // beyond which a wide view shrinks the mirror to a speck (a print that
  // reaches under the eye is cut there).
  const Real widest = 1;
  const Real mx = std::max((x1 - x0) / 20, 1e-4_r), my = std::max((y1 - y0) / 20, 1e-4_r);
  x0 = std::max(x0 - mx, -widest);
  x1 = std::min(x1 + mx, widest);
  y0 = std::max(y0 - my, -widest);
  y1 = std::min(y1 + my, widest);
  Real hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
  c.CentreX = (x0 + x1) / 2;
  c.CentreY = (y0 + y1) / 2;
  c.Height = static_cast<int>(std::lround(static_cast<double>(c.Width * hy / hx)));
  c.Height = std::clamp(c.Height, std::max(1, c.Width / 4), 2 * c.Width);
  // Square pixels: the side that is short for the image's shape is widened.
  if (hy * c.Width > hx * c.Height)
    hx = hy * c.Width / c.Height;
  else
    hy = hx * c.Height / c.Width;
  c.HalfWidth = hx;
  c.HalfHeight = hy;
  return c;
}

ViewCamera FrameCloseUp(const ViewCamera& whole, const std::vector<Point3>& outline) {
  ViewCamera c = whole;
  bool any = false;
  Real x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  for (const Point3& p : outline) {
    const Point3 q = p - c.Eye;
    const Real ahead = Dot(q, c.Forward);
    if (!(ahead > 1e-9_r * std::sqrt(Dot(q, q)))) continue;
    const Real x = Dot(q, c.Right) / ahead, y = Dot(q, c.Up) / ahead;
    if (!any) x0 = x1 = x, y0 = y1 = y;
    any = true;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  if (!any) return whole;
  // A tenth of the extent on every side; a mirror seen as a point (1e-6
  // radians) still gets a frame.
  const Real mx = std::max((x1 - x0) / 10, 1e-6_r), my = std::max((y1 - y0) / 10, 1e-6_r);
  Real hx = (x1 - x0) / 2 + mx, hy = (y1 - y0) / 2 + my;
  c.CentreX = (x0 + x1) / 2;
  c.CentreY = (y0 + y1) / 2;
  // Square pixels in the whole view's size: the short side is widened.
  if (hy * c.Width > hx * c.Height)
    hx = hy * c.Width / c.Height;
  else
    hy = hx * c.Height / c.Width;
  c.HalfWidth = hx;
  c.HalfHeight = hy;
  return c;
}

Point3 ViewRay(const ViewCamera& c, Real x, Real y) {
  const Real px = c.CentreX + (2 * x / c.Width - 1) * c.HalfWidth;
  const Real py = c.CentreY + (1 - 2 * y / c.Height) * c.HalfHeight;
  return Unit(c.Forward + px * c.Right + py * c.Up);
}

bool ViewPoint(const ViewCamera& c, Point3 p, Real& x, Real& y) {
  const Point3 q = p - c.Eye;
  const Real ahead = Dot(q, c.Forward);
  if (!(ahead > 0)) return false;
  x = ((Dot(q, c.Right) / ahead - c.CentreX) / c.HalfWidth + 1) * c.Width / 2;
  y = (1 - (Dot(q, c.Up) / ahead - c.CentreY) / c.HalfHeight) * c.Height / 2;
  return true;
}

}  // namespace anamorfosi
