// The sphere: `anamorfosi sfera`, a mirror ball (a gazing ball) by its centre
// and radius, standing on the sheet unless its centre is given higher.
#include <cmath>

#include "pipeline/kinds/sphere_view.h"
#include "pipeline/mirror_kinds.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

SphereMirror BallOf(const Scene& s) { return {s.Mirror.Centre, s.Mirror.Radius}; }

// Checked before the eye and the face are placed from them, and again when a
// scene file's ball is built.
void CheckMirror(const Scene& s, const MirrorFileReader&) {
  const SphereMirror ball = BallOf(s);
  if (!(ball.Radius > 0)) throw PrintError("--radius: the sphere's radius must be above 0", "radius");
  // Lower than that, no part of the ball would be above the sheet.
  if (!(ball.Centre.z > -ball.Radius))
    throw PrintError("--centre: the sphere's centre is a radius or more below the sheet", "centre");
}

AnyMirrorModel Build(const Scene& s, const MirrorFileReader& mirrors, Real, PrintReport&) {
  CheckMirror(s, mirrors);
  return BallOf(s);
}

// A ball standing on the sheet: its centre one radius up.
Real StandingZ(const SceneMirror& m) { return std::fabs(m.Radius); }

// The ball's outline seen from above: the sheet under it is covered (or, for a
// raised ball, under its stand), and the automatic face keeps its rays out.
Footprint FootprintOf(const Scene& s, const MirrorFileReader&) {
  Footprint f;
  f.Circle = true;
  f.CentreX = s.Mirror.Centre.x;
  f.CentreY = s.Mirror.Centre.y;
  f.Radius = std::fabs(s.Mirror.Radius);
  return f;
}

std::string Label(const Scene&, double, double radiusMm) {
  return "sphere, diameter " + KindFixed(2 * radiusMm, 1) + " mm";
}

std::string ReportDetails(const Scene& s, const PrintReport&) {
  const Point3 c = s.Mirror.Centre;
  return ", centre (" + KindNumber(c.x) + ", " + KindNumber(c.y) + ", " + KindNumber(c.z) + "), radius " +
         KindNumber(s.Mirror.Radius) + " " + UnitsName(s.Unit);
}

std::string TitleDetails(const Scene& s) { return ", radius " + KindNumber(s.Mirror.Radius); }

// The usual eye: radii in front of the centre (toward -Y) and above it. It
// looks down on the ball at 27 degrees, as at a ball on a table, and sees it
// whole from 8.9 radii away (its outline 6.4 degrees off the sight line).
constexpr Real kEyeFront = 8, kEyeUp = 4;

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader&) {
  const Real r = std::fabs(s.Mirror.Radius);
  const Point3 c = s.Mirror.Centre;
  return {{c.x, c.y - kEyeFront * r, c.z + kEyeUp * r}, "8 radii in front of the centre, 4 radii above it", ""};
}

std::string EyeRefusal(const Scene& s) {
  return Distance3(s.Eye, s.Mirror.Centre) <= std::fabs(s.Mirror.Radius) ? "is inside the sphere" : "";
}

bool AutomaticFace(const Scene& s, const MirrorFileReader&, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticSphereFace(BallOf(s), s.Eye, request, face, why);
}

SceneView DrawView(const AnyMirrorModel& model, const Scene& s, const MirrorFileReader&, const PrintedSheet& sheet,
                   ViewFrame frame, int threads) {
  return DrawSceneView(SphereView{std::get<SphereMirror>(model)}, s, sheet, frame, threads);
}

}  // namespace

SightHit MeetMirror(const SphereView& v, Point3 eye, Point3 d, Point3& hit) {
  Real t = 0;
  if (!SphereCrossing(v.Model, eye, d, t)) return SightHit::kNothing;
  const Point3 h = eye + t * d;
  // The part of a dome below the sheet: the ray meets the sheet first.
  if (h.z < 0) return SightHit::kNothing;
  hit = h;
  return SightHit::kMirror;
}

std::vector<Point3> OutlinePoints(const SphereView& v) {
  // Circles every 30 degrees of latitude and the poles, pushed out by
  // 1 / cos 15 degrees so that the solid they bound holds the whole ball.
  const Point3 c = v.Model.Centre;
  const Real r = std::fabs(v.Model.Radius) / std::cos(0.2617993877991494365_r);
  std::vector<Point3> points;
  for (const Real latitude : {-60.0_r, -30.0_r, 0.0_r, 30.0_r, 60.0_r}) {
    const Real a = latitude * 0.01745329251994329577_r;
    AddOutlineCircle(points, c.x, c.y, r * std::cos(a), c.z + r * std::sin(a));
  }
  points.push_back({c.x, c.y, c.z + r});
  points.push_back({c.x, c.y, c.z - r});
  return points;
}

MirrorKindEntry SphereKind() {
  MirrorKindEntry k{"sfera", "sphere", "a mirror ball, standing on the sheet or raised",
                    "Defaults: the ball standing on the sheet at 0,0; the eye 8 radii in front of the centre (toward "
                    "-Y) and 4 radii above it; an automatic face.\n"
                    "Example: anamorfosi sfera foto.jpg --radius 40 -o stampa.png",
                    {}};
  KindParameter centre{"centre", "centre", KindValue::kPoint,
                       "the centre X,Y,Z, or X,Y for a ball standing on the sheet (default 0,0)", "drawing units",
                       "0,0", false, nullptr, nullptr, nullptr, nullptr, "where its centre is"};
  centre.Point = &SceneMirror::Centre;
  centre.ZWhenLeftOut = StandingZ;
  k.Parameters = {
      centre,
      {"radius", "radius", KindValue::kLength, "the sphere's radius", "drawing units", "", true,
       &SceneMirror::Radius, nullptr, nullptr, nullptr, nullptr, "40"},
  };
  // The page draws the ball standing on the sheet: its eye is the centre's
  // height, one radius, plus kEyeUp radii up.
  k.Page = {"sphere (mirror ball)", "", "", "radius", 0, -kEyeFront, kEyeUp + 1};
  k.Place = 5;
  k.ProgramMargin = 10;
  k.Build = Build;
  k.FootprintOf = FootprintOf;
  k.FootprintLabel = Label;
  k.ReportDetails = ReportDetails;
  k.TitleDetails = TitleDetails;
  k.CheckMirror = CheckMirror;
  k.DefaultEye = DefaultEye;
  k.EyeRefusal = EyeRefusal;
  k.AutomaticFace = AutomaticFace;
  k.DrawView = DrawView;
  return k;
}

}  // namespace anamorfosi
