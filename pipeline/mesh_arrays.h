// A mesh mirror whose file was read elsewhere (the page's mesh reader, in the
// browser), given as arrays: its vertices as the file's single-precision
// numbers (placed by its nodes), its faces as triangles and quadrilaterals of vertex numbers, the
// normals it stores at its vertices and the unit its format states. They fill
// the facet table as the command's reader fills it from the same faces
// (meshes/mesh_file.h): the same checks, in the same words, the same scaling,
// turning and splitting, degenerate triangles dropped, the table's limit kept.
// And the DXF's 3DFACEs, read as the command reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "mirrors/facets.h"

namespace anamorfosi {

struct MeshArrays {
  // "STL", "OBJ", "PLY", ... as messages name the format.
  std::string Format;
  // x, y, z of each vertex: the file's single-precision numbers, or where its
  // nodes place them.
  std::vector<double> Vertices;
  // x, y, z at each vertex, or empty when the file stores none.
  std::vector<double> Normals;
  // The corners' vertex numbers, face after face, each face's count in Sizes
  // (3: a triangle; 4: a quadrilateral (a, b, c, d), split as a 3DFACE is into
  // (a, b, c) and (c, d, a)).
  std::vector<std::uint32_t> Corners;
  std::vector<std::uint8_t> Sizes;
  // Millimetres per unit of the numbers when the format states a unit, else 0.
  Real FileUnitMm = 0;
  // A format whose up is +Y (glTF): turned so that its up is the sheet's +Z.
  bool YUp = false;
};

// Fills set from mesh (replacing what it held) for the file named file,
// scaled and limited as options say. Throws PrintError (field "mirror") for a
// mesh that cannot be used: a corner naming a vertex the mesh does not have,
// a coordinate that is not a number, no triangle at all.
void FacetsOfMeshArrays(const MeshArrays& mesh, const std::string& file, FacetSet& set,
                        const FacetLoadOptions& options);

}  // namespace anamorfosi
