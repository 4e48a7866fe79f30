// The mesh mirror: `anamorfosi generico`, a mirror of triangles (a mesh file,
// or a DXF's 3DFACEs), with the programs' vertical view-axis mode.
#include <utility>

#include "pipeline/mirror_kinds.h"

namespace anamorfosi {

namespace {

AnyMirrorModel Build(const Scene& s, const MirrorFileReader& mirrors, Real faceSide, PrintReport& report) {
  FacetedMirror mirror;
  mirror.VerticalAxisMode = s.Mirror.VerticalAxis;
  mirror.AxisTolerance = faceSide / 1000;
  LoadMeshMirror(s, mirrors, mirror, report);
  return AnyMirrorModel(std::move(mirror));
}

// Known once the mesh is loaded (FacetFootprint).
Footprint FootprintOf(const Scene&, const MirrorFileReader&) { return {}; }

std::string Label(const Scene&, double, double) { return "mirror, standing here"; }
std::string ReportDetails(const Scene&, const PrintReport& r) { return ", " + std::to_string(r.FacetCount) + " triangles"; }
std::string TitleDetails(const Scene&) { return ""; }
EyeChoice DefaultEye(const Scene&, const MirrorFileReader&) { return {{}, "", "is needed for a mesh mirror"}; }
std::string EyeRefusal(const Scene&) { return ""; }

}  // namespace

MirrorKindEntry MeshKind() {
  MirrorKindEntry k{MirrorKind::kMesh, "generico", "mesh mirror",
                    "a mirror made of triangles: a mesh (STL, OBJ, PLY, ...) or a DXF's 3DFACEs",
                    "Example: anamorfosi generico foto.jpg --mirror cono.dxf --face faccia.dxf --eye 0,0,400 -o stampa.png",
                    {}};
  k.Parameters = {
      {"mirror", "file", KindValue::kFile,
       "the mirror: STL, OBJ, PLY or another mesh Assimp reads, or a DXF file of 3DFACEs", "", "", true, nullptr,
       &SceneMirror::File},
      {"vertical-axis", "vertical_axis", KindValue::kFlag,
       "the vertical view-axis mode (a mirror round the eye's axis)", "", "off", false, nullptr, nullptr,
       &SceneMirror::VerticalAxis},
  };
  k.ProgramMargin = 10;
  k.Build = Build;
  k.FootprintOf = FootprintOf;
  k.FootprintLabel = Label;
  k.ReportDetails = ReportDetails;
  k.TitleDetails = TitleDetails;
  k.DefaultEye = DefaultEye;
  k.EyeRefusal = EyeRefusal;
  // No automatic face: a mesh needs its face and its eye given.
  return k;
}

}  // namespace anamorfosi
