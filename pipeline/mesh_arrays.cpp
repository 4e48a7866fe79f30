#include "pipeline/mesh_arrays.h"

#include <cmath>

#include "pipeline/print.h"

namespace anamorfosi {

namespace {

struct ArrayEmitter {
  const MeshArrays& mesh;
  const std::string& file;
  FacetSet& set;
  Real scale;
  bool normals;
  unsigned long long triangles = 0;  // degenerate ones included

  Point3 Corner(std::uint32_t i) const {
    Point3 p{static_cast<Real>(mesh.Vertices[3 * i]), static_cast<Real>(mesh.Vertices[3 * i + 1]),
             static_cast<Real>(mesh.Vertices[3 * i + 2])};
    // glTF's up is +Y; the sheet's is +Z.
    if (mesh.YUp) p = {p.x, -p.z, p.y};
    if (scale != 1) p = {p.x * scale, p.y * scale, p.z * scale};
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
      throw PrintError(file + ": a corner placed by the file's transform is not finite", "mirror");
    return p;
  }
  // The file's unit normal at vertex i, turned as the corners are; false when
  // it has none or it is no direction.
  bool Normal(std::uint32_t i, Point3& n) const {
    if (!normals) return false;
    n = {static_cast<Real>(mesh.Normals[3 * i]), static_cast<Real>(mesh.Normals[3 * i + 1]),
         static_cast<Real>(mesh.Normals[3 * i + 2])};
    if (mesh.YUp) n = {n.x, -n.z, n.y};
    const Real l = std::sqrt(Dot(n, n));
    if (!(l > 0) || !std::isfinite(l)) return false;
    n = (1 / l) * n;
    return true;
  }
  // False once the table is full.
  bool Triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    ++triangles;
    const Point3 p = Corner(a), q = Corner(b), r = Corner(c);
    if (IsDegenerateTriangle(p, q, r)) return true;
    if (!AddFacet(set, p, q, r)) return false;
    // Kept only while every facet before had its normals, as the command keeps them.
    FacetNormals n;
    if (Normal(a, n.N1) && Normal(b, n.N2) && Normal(c, n.N3) && set.FileNormals.size() + 1 == set.Facets.size())
      set.FileNormals.push_back(n);
    return true;
  }
};

// The formats that store normals of a smooth surface at their vertices (an
// STL's are its facets' own).
bool StoresNormals(const std::string& format) {
  return format == "OBJ" || format == "PLY" || format == "GLTF" || format == "GLB";
}

}  // namespace

void FacetsOfMeshArrays(const MeshArrays& mesh, const std::string& file, FacetSet& set,
                        const FacetLoadOptions& options) {
  ClearFacets(set, options.Limit);
  if (mesh.Vertices.size() % 3 != 0 || (!mesh.Normals.empty() && mesh.Normals.size() != mesh.Vertices.size()))
    throw PrintError(file + ": the mesh's vertices were not given whole", "mirror");
  const std::size_t vertices = mesh.Vertices.size() / 3;
  // Faces naming missing vertices, and corners that are not numbers, are
  // refused before anything else looks at them, in the command's words.
  std::size_t at = 0;
  for (std::size_t f = 0; f < mesh.Sizes.size(); ++f) {
    const unsigned n = mesh.Sizes[f];
    if ((n != 3 && n != 4) || at + n > mesh.Corners.size())
      throw PrintError(file + ": face " + std::to_string(f + 1) + " was not given whole", "mirror");
    for (unsigned k = 0; k < n; ++k, ++at) {
      const std::uint32_t i = mesh.Corners[at];
      if (i >= vertices)
        throw PrintError(file + ": face " + std::to_string(f + 1) + " names vertex " + std::to_string(i + 1ULL) +
                             " of a mesh of " + std::to_string(vertices) + " vertices",
                         "mirror");
      if (!std::isfinite(mesh.Vertices[3 * i]) || !std::isfinite(mesh.Vertices[3 * i + 1]) ||
          !std::isfinite(mesh.Vertices[3 * i + 2]))
        throw PrintError(file + ": face " + std::to_string(f + 1) +
                             " has a corner whose coordinates are not all numbers",
                         "mirror");
    }
  }
  if (at != mesh.Corners.size()) throw PrintError(file + ": the mesh's faces were not given whole", "mirror");
  set.Facets.reserve(std::min<std::size_t>(mesh.Corners.size() / 3 + 1, static_cast<std::size_t>(set.Limit)));
  set.FileUnitMm = mesh.FileUnitMm;
  const Real scale =
      options.DrawingUnitMm > 0 && mesh.FileUnitMm > 0 ? mesh.FileUnitMm / options.DrawingUnitMm : 1;
  ArrayEmitter out{mesh, file, set, scale, options.Normals && !mesh.Normals.empty() && StoresNormals(mesh.Format)};
  at = 0;
  for (const std::uint8_t n : mesh.Sizes) {
    const std::uint32_t* c = &mesh.Corners[at];
    at += n;
    // A quadrilateral as AddFace splits a 3DFACE: from its third corner to its first.
    bool more = out.Triangle(c[0], c[1], c[2]);
    if (more && n == 4) more = out.Triangle(c[2], c[3], c[0]);
    if (!more) break;
  }
  if (out.triangles == 0) throw PrintError(file + ": holds no triangle", "mirror");
}

}  // namespace anamorfosi
