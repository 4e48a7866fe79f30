// The cone: `anamorfosi cono`, a vertical cone standing on the sheet.
#include <algorithm>
#include <cmath>

#include "pipeline/mirror_kinds.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

AnyMirrorModel Build(const Scene& s, const MirrorFileReader&, Real faceSide, PrintReport&) {
  const ConeMirror cone{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius, s.Mirror.Height, faceSide / 1000};
  if (!(cone.BaseRadius > 0)) throw PrintError("--base-radius: the cone's base radius must be above 0", "base-radius");
  if (!(cone.ConeHeight > 0)) throw PrintError("--height: the cone's height must be above 0", "height");
  return cone;
}

Footprint FootprintOf(const Scene& s, const MirrorFileReader&) {
  Footprint f;
  f.Circle = true;
  f.CentreX = s.Mirror.AxisX;
  f.CentreY = s.Mirror.AxisY;
  f.Radius = std::fabs(s.Mirror.Radius);
  return f;
}

std::string Label(const Scene& s, double mm, double radiusMm) {
  return "cone, base diameter " + KindFixed(2 * radiusMm, 1) + " mm, height " +
         KindFixed(static_cast<double>(s.Mirror.Height) * mm, 1) + " mm";
}

std::string ReportDetails(const Scene& s, const PrintReport&) {
  const std::string u = UnitsName(s.Unit);
  return ", axis (" + KindNumber(s.Mirror.AxisX) + ", " + KindNumber(s.Mirror.AxisY) + "), radius " +
         KindNumber(s.Mirror.Radius) + " " + u + ", height " + KindNumber(s.Mirror.Height) + " " + u;
}

std::string TitleDetails(const Scene& s) {
  return ", base radius " + KindNumber(s.Mirror.Radius) + ", height " + KindNumber(s.Mirror.Height);
}

// The usual eye: on the axis, heights up.
constexpr Real kEyeUp = 3;

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader&) {
  return {{s.Mirror.AxisX, s.Mirror.AxisY, kEyeUp * s.Mirror.Height}, "on the axis, 3 times the cone's height up", ""};
}

std::string EyeRefusal(const Scene&) { return ""; }

bool AutomaticFace(const Scene& s, const MirrorFileReader&, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticConeFace(ConeMirror{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius, s.Mirror.Height, 0}, s.Eye,
                           request, face, why);
}

// The cone as the view draws it: the program's model, apex and base.
struct ConeView {
  ConeMirror Model;
};

const ConeMirror& ModelOf(const ConeView& v) { return v.Model; }

SightHit MeetMirror(const ConeView& v, Point3 eye, Point3 d, Point3& hit) {
  const ConeMirror& cone = v.Model;
  // A target as far off as the apex, so that the axial test weighs a tilt as
  // the mapping's face points do.
  const Real reach = std::max<Real>(1, Distance3(eye, {cone.AxisPoint.x, cone.AxisPoint.y, cone.ConeHeight}));
  return IntersectCone(cone, eye, eye + reach * d, hit) ? SightHit::kMirror : SightHit::kNothing;
}

bool MeetsAgain(const ConeView&, Point3, Point3) { return false; }

std::vector<Point3> OutlinePoints(const ConeView& v) {
  std::vector<Point3> points;
  AddOutlineCircle(points, v.Model.AxisPoint.x, v.Model.AxisPoint.y, std::fabs(v.Model.BaseRadius), 0);
  points.push_back({v.Model.AxisPoint.x, v.Model.AxisPoint.y, v.Model.ConeHeight});
  return points;
}

SceneView DrawView(const AnyMirrorModel& model, const Scene& s, const MirrorFileReader&, const PrintedSheet& sheet,
                   ViewFrame frame, int threads) {
  return DrawSceneView(ConeView{std::get<ConeMirror>(model)}, s, sheet, frame, threads);
}

}  // namespace

MirrorKindEntry ConeKind() {
  MirrorKindEntry k{"cono", "cone", "a vertical cone standing on the sheet",
                    "Defaults: the eye on the axis at 3 times the cone's height; an automatic face.\n"
                    "Example: anamorfosi cono foto.png --base-radius 30 --height 60 -o stampa.png",
                    {}};
  k.Parameters = {
      {"axis", "axis", KindValue::kPlanPoint, "the axis X,Y (default 0,0)", "drawing units", "0,0", false, nullptr,
       nullptr, nullptr, nullptr, "where it stands"},
      // The page keeps one radius for the cylinder and the cone's base.
      {"base-radius", "base_radius", KindValue::kLength, "the radius of the cone's base", "drawing units", "", true,
       &SceneMirror::Radius, nullptr, nullptr, "radius", nullptr, "25"},
      {"height", "height", KindValue::kLength, "the cone's height", "drawing units", "", true, &SceneMirror::Height,
       nullptr, nullptr, nullptr, nullptr, "60"},
  };
  k.Page = {"cone", "", "", "height", 0, 0, kEyeUp};
  k.Place = 2;
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
