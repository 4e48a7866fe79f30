// The mesh mirror: `anamorfosi generico`, a mirror of triangles (a mesh file,
// or a DXF's 3DFACEs), with the programs' vertical view-axis mode.
#include <algorithm>
#include <new>
#include <utility>

#include "pipeline/kinds/mesh_view.h"
#include "pipeline/mirror_kinds.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

AnyMirrorModel Build(const Scene& s, const MirrorFileReader& mirrors, Real faceSide, PrintReport& report) {
  FacetedMirror mirror;
  mirror.VerticalAxisMode = s.Mirror.VerticalAxis;
  mirror.AxisTolerance = faceSide / 1000;
  LoadMeshMirror(s, mirrors, mirror, report);
  if (s.Mirror.Smooth) {
    try {
      // The file's own normals when it stores them at every corner.
      if (!mirror.Facets.FileNormals.empty() && mirror.Facets.FileNormals.size() == mirror.Facets.Facets.size())
        mirror.CornerNormals = std::move(mirror.Facets.FileNormals);
      else
        mirror.CornerNormals = ComputeCornerNormals(mirror.Facets, s.Mirror.Crease);
      mirror.Facets.FileNormals = {};
    } catch (const std::bad_alloc&) {
      throw PrintError(s.Mirror.File + ": not enough memory for the mirror's normals", "mirror");
    }
  }
  return AnyMirrorModel(std::move(mirror));
}

// Known once the mesh is loaded (FacetFootprint).
Footprint FootprintOf(const Scene&, const MirrorFileReader&) { return {}; }

std::string Label(const Scene&, double, double) { return "mirror, standing here"; }
std::string ReportDetails(const Scene& s, const PrintReport& r) {
  return ", " + std::to_string(r.FacetCount) + " triangles" +
         (s.Mirror.Smooth ? ", smooth (crease " + KindNumber(s.Mirror.Crease) + " degrees)" : "");
}
std::string TitleDetails(const Scene&) { return ""; }
// The mirror as the print will build it (smooth or not), for the eye and the face.
FacetedMirror Loaded(const Scene& s, const MirrorFileReader& mirrors) {
  PrintReport report;
  return std::get<FacetedMirror>(Build(s, mirrors, 0, report));
}

// The usual eye, placed from the box of the facets above the sheet as the
// sphere's is from its size: 8 of the box's larger half sides in plan in
// front of its centre (toward -Y) and 4 above it, so that a ball's mesh gets
// the ball's own eye. In the vertical view-axis mode the eye looks down the
// mirror's axis, as the cone's does: above the box's middle at 3 times its top.
constexpr Real kEyeFront = 8, kEyeUp = 4, kEyeOverTop = 3;

EyeChoice DefaultEye(const Scene& s, const MirrorFileReader& mirrors) {
  const FacetedMirror mirror = Loaded(s, mirrors);
  Point3 lo, hi;
  if (!MeshBoundsAboveSheet(mirror.Facets, lo, hi))
    return {{}, "", "is needed: the mirror has no triangle above the sheet"};
  const Point3 c = 0.5_r * (lo + hi);
  const Real r = std::max((hi.x - lo.x) / 2, (hi.y - lo.y) / 2);
  if (s.Mirror.VerticalAxis)
    return {{c.x, c.y, kEyeOverTop * hi.z}, "above the middle of the mirror, at 3 times its height", ""};
  return {{c.x, c.y - kEyeFront * r, c.z + kEyeUp * r},
          "8 half widths of the mirror in front of its middle, 4 above it",
          ""};
}
std::string EyeRefusal(const Scene&) { return ""; }

bool AutomaticFace(const Scene& s, const MirrorFileReader& mirrors, const FaceRequest& request, Face& face,
                   std::string& why) {
  FacetedMirror mirror = Loaded(s, mirrors);
  return AutomaticMeshFace(mirror, s.Eye, request, face, why);
}

SceneView DrawView(const AnyMirrorModel& model, const Scene& s, const MirrorFileReader&, const PrintedSheet& sheet,
                   ViewFrame frame, int threads) {
  return DrawSceneView(MakeMeshView(std::get<FacetedMirror>(model), s.Eye), s, sheet, frame, threads);
}

}  // namespace

SightHit MeetMirror(const MeshView& v, Point3 eye, Point3 d, Point3& hit) {
  // Facets below the sheet are hidden by it.
  return NearestFacet(*v.Model, eye, d, hit) >= 0 && hit.z >= 0 ? SightHit::kMirror : SightHit::kNothing;
}

bool MeetsAgain(const MeshView& v, Point3 hit, Point3 landing) {
  // Off a convex mesh's facet seen from outside the ray leaves the mesh; a
  // search near the hit would find, within the facets' edge tolerance, the
  // neighbour across the edge, and a smooth mesh's ray, reflected about a
  // normal tilted from its facet's, may dip under the facet.
  if (v.Hull.Convex) {
    Point3 again;
    const int f = NearestFacet(*v.Model, v.Eye, UnitDirection(v.Eye, hit), again);
    if (f >= 0 && OnOuterSide(v.Hull, v.Model->Facets.Facets[f], v.Eye)) return false;
  }
  const Point3 r = UnitDirection(hit, landing);
  // Leave the facet just hit by a hair, so that it does not count again.
  const Point3 from = hit + (v.Size * 1e-7_r) * r;
  Point3 second;
  return NearestFacet(*v.Model, from, r, second) >= 0 && Distance3(from, second) < Distance3(from, landing) &&
         second.z >= 0;
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

MeshView MakeMeshView(const FacetedMirror& mirror) {
  MeshView v;
  v.Model = &mirror;
  const std::vector<Point3> box = OutlinePoints(v);
  if (!box.empty()) v.Size = std::max<Real>(Distance3(box.front(), box.back()), 1e-6_r);
  return v;
}

MeshView MakeMeshView(const FacetedMirror& mirror, Point3 eye) {
  MeshView v = MakeMeshView(mirror);
  v.Hull = HullOf(mirror);
  v.Eye = eye;
  return v;
}

MirrorKindEntry MeshKind() {
  MirrorKindEntry k{"generico", "mesh mirror",
                    "a mirror made of triangles: a mesh (STL, OBJ, PLY, ...) or a DXF's 3DFACEs",
                    "Defaults: the eye 8 half widths of the mirror in front of its middle (toward -Y) and 4 above "
                    "it (with --vertical-axis: above its middle at 3 times its height); an automatic face.\n"
                    "Example: anamorfosi generico foto.jpg --mirror palla.stl --smooth -o stampa.png",
                    {}};
  k.Parameters = {
      {"mirror", "file", KindValue::kFile,
       "the mirror: STL, OBJ, PLY or another mesh Assimp reads, or a DXF file of 3DFACEs", "", "", true, nullptr,
       &SceneMirror::File},
      {"vertical-axis", "vertical_axis", KindValue::kFlag,
       "the vertical view-axis mode (a mirror round the eye's axis)", "", "off", false, nullptr, nullptr,
       &SceneMirror::VerticalAxis, nullptr,
       "the mirror stands round the eye's vertical line (the eye looks down its axis)"},
      {"smooth", "smooth", KindValue::kFlag,
       "a smooth mirror: normals interpolated across each triangle from the normals at its corners (the file's, "
       "else averaged over the triangles that meet there)", "", "off", false, nullptr, nullptr, &SceneMirror::Smooth,
       nullptr, "smooth mirror (the mesh stands for a curved surface)", "", nullptr, nullptr, "smooth"},
      {"crease", "crease", KindValue::kAngle,
       "with --smooth: triangles meeting at a larger angle keep a sharp edge between them", "degrees", "60", false,
       &SceneMirror::Crease, nullptr, nullptr, nullptr, "crease angle", "", nullptr, nullptr, "smooth"},
  };
  k.Page = {"any mirror shape (DXF, STL, OBJ, PLY mesh)", ".dxf,.stl,.obj,.ply,.off,.gltf,.glb,.3mf",
            "file (DXF, STL, OBJ, PLY, OFF, glTF, 3MF)"};
  k.Place = 4;
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
