// The cylinder: `anamorfosi cilindro`, a vertical cylinder standing on the sheet.
#include <cmath>

#include "pipeline/mirror_kinds.h"

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

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader&) {
  const Real r = std::fabs(s.Mirror.Radius);
  return {{s.Mirror.AxisX, s.Mirror.AxisY - 12 * r, 10 * r}, "12 radii in front of the axis, 10 radii up", ""};
}

std::string EyeRefusal(const Scene& s) {
  const Real r = std::fabs(s.Mirror.Radius);
  return std::hypot(s.Eye.x - s.Mirror.AxisX, s.Eye.y - s.Mirror.AxisY) <= r ? "is inside the cylinder" : "";
}

bool AutomaticFace(const Scene& s, const MirrorFileReader&, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticCylinderFace(Cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius}, s.Eye, request, face,
                               why);
}

}  // namespace

MirrorKindEntry CylinderKind() {
  MirrorKindEntry k{MirrorKind::kCylinder, "cilindro", "cylinder", "a vertical cylinder standing on the sheet",
                    "Defaults: the eye 12 radii in front of the axis (toward -Y) and 10 radii up; an automatic face.\n"
                    "Example: anamorfosi cilindro foto.jpg --radius 25 -o stampa.png",
                    {}};
  k.Parameters = {
      {"axis", "axis", KindValue::kPlanPoint, "the axis X,Y (default 0,0)", "drawing units", "0,0", false},
      {"radius", "radius", KindValue::kLength, "the cylinder's radius", "drawing units", "", true,
       &SceneMirror::Radius},
  };
  k.ProgramMargin = 10;
  k.Build = Build;
  k.FootprintOf = FootprintOf;
  k.FootprintLabel = Label;
  k.ReportDetails = ReportDetails;
  k.TitleDetails = TitleDetails;
  k.DefaultEye = DefaultEye;
  k.EyeRefusal = EyeRefusal;
  k.AutomaticFace = AutomaticFace;
  return k;
}

}  // namespace anamorfosi
