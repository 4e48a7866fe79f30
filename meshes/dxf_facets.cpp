#include "meshes/dxf_facets.h"

#include "formats/dxf.h"

namespace anamorfosi {

void LoadDxfFacets(const std::string& file, FacetSet& set, const FacetLoadOptions& options) {
  ClearFacets(set, options.Limit);
  // The program's table is reserved whole, as it always was; a larger limit
  // grows with the file.
  if (options.Limit <= MaxFacets) set.Facets.reserve(options.Limit);
  const bool scaled = options.DxfUnitMm > 0 && options.DrawingUnitMm > 0 && options.DxfUnitMm != options.DrawingUnitMm;
  const Real k = scaled ? options.DxfUnitMm / options.DrawingUnitMm : 1;
  ScanDxfFaces(file, [&](const Face& face) {
    if (scaled)
      AddFace(set, {k * face.C1, k * face.C2, k * face.C3, k * face.C4});
    else
      AddFace(set, face);
    // Once a triangle found the table full the rest of the file is not read.
    return !set.FacetOverflow;
  });
}

}  // namespace anamorfosi
