// The cylinder: `anamorfosi cilindro`, a vertical cylinder standing on the sheet.
#include <algorithm>
#include <cmath>

#include "pipeline/kinds/cylinder_view.h"
#include "pipeline/mirror_kinds.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

AnyMirrorModel Build(const Scene& s, const MirrorFileReader&, Real, PrintReport&) {
  const Cylinder cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius};
  if (CylinderIsNull(cylinder)) throw PrintError("--radius: the cylinder's radius must be above 0", "radius");
  return cylinder;
}

Footprint FootprintOf(const Scene& s, const MirrorFileReader&) {
  Footprint f;
  f.Circle = true;
  f.CentreX = s.Mirror.AxisX;
  f.CentreY = s.Mirror.AxisY;
  f.Radius = std::fabs(s.Mirror.Radius);
  return f;
}

std::string Label(const Scene&, double, double radiusMm) {
  return "cylinder, diameter " + KindFixed(2 * radiusMm, 1) + " mm";
}

std::string ReportDetails(const Scene& s, const PrintReport&) {
  return ", axis (" + KindNumber(s.Mirror.AxisX) + ", " + KindNumber(s.Mirror.AxisY) + "), radius " +
         KindNumber(s.Mirror.Radius) + " " + UnitsName(s.Unit);
}

std::string TitleDetails(const Scene& s) { return ", radius " + KindNumber(s.Mirror.Radius); }

// The usual eye: radii in front of the axis (toward -Y) and up.
constexpr Real kEyeFront = 12, kEyeUp = 10;

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader&) {
  const Real r = std::fabs(s.Mirror.Radius);
  return {{s.Mirror.AxisX, s.Mirror.AxisY - kEyeFront * r, kEyeUp * r}, "12 radii in front of the axis, 10 radii up",
          ""};
}

std::string EyeRefusal(const Scene& s) {
  const Real r = std::fabs(s.Mirror.Radius);
  return std::hypot(s.Eye.x - s.Mirror.AxisX, s.Eye.y - s.Mirror.AxisY) <= r ? "is inside the cylinder" : "";
}

bool AutomaticFace(const Scene& s, const MirrorFileReader&, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticCylinderFace(Cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius}, s.Eye, request, face,
                               why);
}

SceneView DrawView(const AnyMirrorModel& model, const Scene& s, const MirrorFileReader&, const PrintedSheet& sheet,
                   ViewFrame frame, int threads) {
  const Cylinder& c = std::get<Cylinder>(model);
  return DrawSceneView(CylinderView{c, CylinderTopFor(c, s.Eye, s.PictureFace)}, s, sheet, frame, threads);
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

std::vector<Point3> OutlinePoints(const CylinderView& v) {
  std::vector<Point3> points;
  AddOutlineCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.Radius), 0);
  AddOutlineCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.Radius), v.Top);
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

MirrorKindEntry CylinderKind() {
  MirrorKindEntry k{"cilindro", "cylinder", "a vertical cylinder standing on the sheet",
                    "Defaults: the eye 12 radii in front of the axis (toward -Y) and 10 radii up; an automatic face.\n"
                    "Example: anamorfosi cilindro foto.jpg --radius 25 -o stampa.png",
                    {}};
  k.Parameters = {
      {"axis", "axis", KindValue::kPlanPoint, "the axis X,Y (default 0,0)", "drawing units", "0,0", false, nullptr,
       nullptr, nullptr, nullptr, "where it stands"},
      {"radius", "radius", KindValue::kLength, "the cylinder's radius", "drawing units", "", true,
       &SceneMirror::Radius, nullptr, nullptr, nullptr, nullptr, "25"},
  };
  k.Page = {"cylinder", "", "", "radius", 0, -kEyeFront, kEyeUp};
  k.Place = 1;
  k.ProgramMargin = 10;
  k.Build = Build;
  k.FootprintOf = FootprintOf;
  k.FootprintLabel = Label;
  k.ReportDetails = ReportDetails;
  k.TitleDetails = TitleDetails;
  k.DefaultEye = DefaultEye;
  k.EyeRefusal = EyeRefusal;
  k.AutomaticFace = AutomaticFace;
  k.DrawView = DrawView;
  return k;
}

}  // namespace anamorfosi
