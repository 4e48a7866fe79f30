// The plane mirror: `anamorfosi specchio`, one 3DFACE of a DXF file.
#include <algorithm>
#include <cmath>

#include "pipeline/mirror_kinds.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

AnyMirrorModel Build(const Scene& s, const MirrorFileReader& mirrors, Real, PrintReport& report) {
  const Face m = ReadMirrorFace(s, mirrors);
  PlaneMirror mirror;
  mirror.MirrorPlane = PlaneFromPoints(m.C1, m.C2, m.C3);
  mirror.HasFace = true;
  // Off the plane of the first three corners by more than the programs allow (0.001).
  if (std::fabs(SignedDistance(mirror.MirrorPlane, m.C4)) > 0.001_r)
    report.Notes.push_back(s.Mirror.File + ": the mirror face is not plane; its first three corners are used");
  return mirror;
}

Footprint FootprintOf(const Scene& s, const MirrorFileReader& mirrors) {
  Footprint f;
  const Face m = ReadMirrorFace(s, mirrors);
  AddIfOnSheet(f, m.C1, m.C2);
  AddIfOnSheet(f, m.C2, m.C3);
  AddIfOnSheet(f, m.C3, m.C4);
  AddIfOnSheet(f, m.C4, m.C1);
  return f;
}

std::string Label(const Scene&, double, double) { return "plane mirror, standing here"; }
std::string ReportDetails(const Scene&, const PrintReport&) { return ""; }
std::string TitleDetails(const Scene&) { return ""; }
void CheckMirror(const Scene& s, const MirrorFileReader& mirrors) { ReadMirrorFace(s, mirrors); }

// In front of the mirror's middle, on the side its corners turn to (right
// hand), 1.25 times its size away, as high as its top.
EyeChoice DefaultEye(const Scene& s, const MirrorFileReader& mirrors) {
  const Face m = ReadMirrorFace(s, mirrors);
  const Plane pl = PlaneFromPoints(m.C1, m.C2, m.C3);
  const Point3 sum = m.C1 + m.C2 + m.C3 + m.C4;
  const Point3 c{sum.x / 4, sum.y / 4, sum.z / 4};
  const Real size = std::max(Distance3(m.C1, m.C2), Distance3(m.C2, m.C3));
  const Real plan = std::hypot(pl.nx, pl.ny);
  // A normal within a millionth of plumb: the mirror lies flat and faces no side.
  if (!(plan > 1e-6_r)) return {{}, "", "is needed for a mirror lying flat"};
  const Real top = std::max({m.C1.z, m.C2.z, m.C3.z, m.C4.z});
  return {{c.x + pl.nx / plan * 1.25_r * size, c.y + pl.ny / plan * 1.25_r * size, std::max(top, c.z + size / 2)},
          "in front of the mirror, 1.25 times its size away",
          ""};
}

std::string EyeRefusal(const Scene&) { return ""; }

bool AutomaticFace(const Scene& s, const MirrorFileReader& mirrors, const FaceRequest& request, Face& face, std::string& why) {
  return AutomaticPlaneFace(ReadMirrorFace(s, mirrors), s.Eye, request, face, why);
}

// The plane mirror reflects as its plane does in the programs; drawn, it is its face.
struct PlaneView {
  PlaneMirror Model;
  Face Outline;
};

const PlaneMirror& ModelOf(const PlaneView& v) { return v.Model; }

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

bool MeetsAgain(const PlaneView&, Point3, Point3) { return false; }

std::vector<Point3> OutlinePoints(const PlaneView& v) {
  return {v.Outline.C1, v.Outline.C2, v.Outline.C3, v.Outline.C4};
}

// The face is read again from the mirror's file, as its file states it.
SceneView DrawView(const AnyMirrorModel& model, const Scene& s, const MirrorFileReader& mirrors,
                   const PrintedSheet& sheet, ViewFrame frame, int threads) {
  return DrawSceneView(PlaneView{std::get<PlaneMirror>(model), ReadFaceFile(s.Mirror.File, "mirror", mirrors)}, s,
                       sheet, frame, threads);
}

}  // namespace

MirrorKindEntry PlaneKind() {
  MirrorKindEntry k{"specchio", "plane mirror", "a plane mirror, one 3DFACE of a DXF file",
                    "Defaults: the eye in front of the mirror, 1.25 times its size away; the face on the mirror itself.\n"
                    "Example: anamorfosi specchio foto.jpg --mirror specchio.dxf -o stampa.png",
                    {}};
  k.Parameters = {
      {"mirror", "file", KindValue::kFile, "DXF file whose last 3DFACE is the mirror", "", "", true, nullptr,
       &SceneMirror::File},
  };
  k.Page = {"plane mirror (a 3DFACE in a DXF file)", ".dxf", "DXF file"};
  k.Place = 3;
  // The programs' window margin for the plane mirror is a thirtieth.
  k.ProgramMargin = 30;
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
