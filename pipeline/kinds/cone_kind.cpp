// The cone: `anamorfosi cono`, a vertical cone standing on the sheet.
#include <cmath>

#include "pipeline/mirror_kinds.h"

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

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader&) {
  return {{s.Mirror.AxisX, s.Mirror.AxisY, 3 * s.Mirror.Height}, "on the axis, 3 times the cone's height up", ""};
}

std::string EyeRefusal(const Scene&) { return ""; }

bool AutomaticFace(const Scene& s, const MirrorFileReader&, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticConeFace(ConeMirror{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius, s.Mirror.Height, 0}, s.Eye,
                           request, face, why);
}

}  // namespace

MirrorKindEntry ConeKind() {
  MirrorKindEntry k{MirrorKind::kCone, "cono", "cone", "a vertical cone standing on the sheet",
                    "Defaults: the eye on the axis at 3 times the cone's height; an automatic face.\n"
                    "Example: anamorfosi cono foto.png --base-radius 30 --height 60 -o stampa.png",
                    {}};
  k.Parameters = {
      {"axis", "axis", KindValue::kPlanPoint, "the axis X,Y (default 0,0)", "drawing units", "0,0", false},
      {"base-radius", "base_radius", KindValue::kLength, "the radius of the cone's base", "drawing units", "", true,
       &SceneMirror::Radius},
      {"height", "height", KindValue::kLength, "the cone's height", "drawing units", "", true, &SceneMirror::Height},
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
