#include "pipeline/mirror_view.h"

#include <algorithm>
#include <cmath>

namespace anamorfosi {

namespace {

constexpr int kOutlineSteps = 24;
constexpr Real kTurn = 6.28318530717958647692_r;

void AddCircle(std::vector<Point3>& points, Real x, Real y, Real r, Real z) {
  for (int k = 0; k < kOutlineSteps; ++k) {
    const Real a = kTurn * k / kOutlineSteps;
    points.push_back({x + r * std::cos(a), y + r * std::sin(a), z});
  }
}

}  // namespace

SightHit MeetMirror(const CylinderView& v, Point3 eye, Point3 d, Point3& hit) {
  const Real X = v.Model.AxisPoint.x, Y = v.Model.AxisPoint.y, R = std::fabs(v.Model.Radius);
  const Real ox = eye.x - X, oy = eye.y - Y;
  const Real a = d.x * d.x + d.y * d.y, b = 2 * (ox * d.x + oy * d.y), c = ox * ox + oy * oy - R * R;
  // Where the ray comes down to the top's height inside the circle.
  auto onTop = [&](Real from, Real to) {
    if (!(d.z < 0) || !(eye.z > v.Top)) return false;
    const Real t = (v.Top - eye.z) / d.z;
    if (t < from || t > to) return false;
    hit = {eye.x + t * d.x, eye.y + t * d.y, v.Top};
    return true;
  };
  // A ray (nearly) plumb crosses no wall: it may come down on the top.
  if (a < 1e-20_r) return c < 0 && onTop(0, 1e30_r) ? SightHit::kMirrorTop : SightHit::kNothing;
  const Real disc = b * b - 4 * a * c;
  if (!(disc > 0)) return SightHit::kNothing;
  const Real root = std::sqrt(disc);
  const Real t1 = (-b - root) / (2 * a), t2 = (-b + root) / (2 * a);
  // An eye inside the circle sees the top from above, and nothing below it.
  if (c < 0) return onTop(0, t2) ? SightHit::kMirrorTop : SightHit::kNothing;
  if (!(t1 > 0)) return SightHit::kNothing;
  const Real z = eye.z + t1 * d.z;
  if (z < 0) return SightHit::kNothing;
  if (z > v.Top) return onTop(t1, t2) ? SightHit::kMirrorTop : SightHit::kNothing;
  hit = {eye.x + t1 * d.x, eye.y + t1 * d.y, z};
  return SightHit::kMirror;
}

SightHit MeetMirror(const PlaneView& v, Point3 eye, Point3 d, Point3& hit) {
  Real along = 0;
  if (!IntersectLinePlane(eye, v.Model.MirrorPlane, d, hit, along) || !(along > 0) || hit.z < 0)
    return SightHit::kNothing;
  // Inside the outline: on the same side of its four sides (a triangle's
  // fourth side has no length and takes no part).
  const Face& f = v.Outline;
  const Point3 corners[5] = {f.C1, f.C2, f.C3, f.C4, f.C1};
  const Point3 n = Normal(v.Model.MirrorPlane);
  int positive = 0, negative = 0;
  for (int k = 0; k < 4; ++k) {
    const Real side = Dot(Cross(corners[k + 1] - corners[k], hit - corners[k]), n);
    positive += side > 0;
    negative += side < 0;
  }
  return positive > 0 && negative > 0 ? SightHit::kNothing : SightHit::kMirror;
}

SightHit MeetMirror(const ConeView& v, Point3 eye, Point3 d, Point3& hit) {
  const ConeMirror& cone = v.Model;
  // A target as far off as the apex, so that the axial test weighs a tilt as
  // the mapping's face points do.
  const Real reach = std::max<Real>(1, Distance3(eye, {cone.AxisPoint.x, cone.AxisPoint.y, cone.ConeHeight}));
  return IntersectCone(cone, eye, eye + reach * d, hit) ? SightHit::kMirror : SightHit::kNothing;
}

SightHit MeetMirror(const MeshView& v, Point3 eye, Point3 d, Point3& hit) {
  // Facets below the sheet are hidden by it.
  return NearestFacet(*v.Model, eye, d, hit) >= 0 && hit.z >= 0 ? SightHit::kMirror : SightHit::kNothing;
}

bool MeetsAgain(const MeshView& v, Point3 hit, Point3 landing) {
  const Point3 r = UnitDirection(hit, landing);
  // Leave the facet just hit by a hair, so that it does not count again.
  const Point3 from = hit + (v.Size * 1e-7_r) * r;
  Point3 second;
  return NearestFacet(*v.Model, from, r, second) >= 0 && Distance3(from, second) < Distance3(from, landing) &&
         second.z >= 0;
}

std::vector<Point3> OutlinePoints(const CylinderView& v) {
  std::vector<Point3> points;
  AddCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.Radius), 0);
  AddCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.Radius), v.Top);
  return points;
}

std::vector<Point3> OutlinePoints(const PlaneView& v) {
  return {v.Outline.C1, v.Outline.C2, v.Outline.C3, v.Outline.C4};
}

std::vector<Point3> OutlinePoints(const ConeView& v) {
  std::vector<Point3> points;
  AddCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.BaseRadius), 0);
  points.push_back({v.Model.AxisPoint.x, v.Model.AxisPoint.y, v.Model.ConeHeight});
  return points;
}

std::vector<Point3> OutlinePoints(const MeshView& v) {
  const std::vector<MirrorFacet>& facets = v.Model->Facets.Facets;
  if (facets.empty()) return {};
  Point3 lo = facets[0].Corner1, hi = lo;
  for (const MirrorFacet& f : facets) {
    for (const Point3& p : {f.Corner1, f.Corner2, f.Corner3}) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  std::vector<Point3> points;
  for (int k = 0; k < 8; ++k) points.push_back({k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z});
  return points;
}

Real CylinderTopFor(const Cylinder& c, Point3 eye, const Face& face) {
  const CylinderView tall{c, 1e30_r};
  Real top = 0;
  constexpr int kSteps = 20;
  for (int i = 0; i <= kSteps; ++i) {
    const Point3 a = face.C1 + (static_cast<Real>(i) / kSteps) * (face.C2 - face.C1);
    const Point3 b = face.C4 + (static_cast<Real>(i) / kSteps) * (face.C3 - face.C4);
    for (int j = 0; j <= kSteps; ++j) {
      const Point3 p = a + (static_cast<Real>(j) / kSteps) * (b - a);
      Point3 hit;
      if (MeetMirror(tall, eye, UnitDirection(eye, p), hit) == SightHit::kMirror) top = std::max(top, hit.z);
    }
  }
  return top > 0 ? top * 1.1_r : 2 * std::fabs(c.Radius);
}

MeshView MakeMeshView(const FacetedMirror& mirror) {
  MeshView v{&mirror, 1};
  const std::vector<Point3> box = OutlinePoints(v);
  if (!box.empty()) v.Size = std::max<Real>(Distance3(box.front(), box.back()), 1e-6_r);
  return v;
}

}  // namespace anamorfosi
