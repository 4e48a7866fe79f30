// Mesh files written from code, for the tests, the measurements and the fuzz
// seeds: binary and ASCII STL of triangles, OBJ and PLY of the faces as
// polygons. Numbers are written with 17 significant digits, so a coordinate
// that a float holds is read back exactly.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mirrors/facets.h"
#include "core/geometry.h"

namespace anamorfosi {

struct MeshTriangle {
  Point3 A, B, C;
};

// The triangles the facet table makes of 3DFACEs (AddFace's split), in order.
inline std::vector<MeshTriangle> TrianglesOfFaces(const std::vector<Face>& faces) {
  std::vector<MeshTriangle> out;
  out.reserve(2 * faces.size());
  for (const Face& f : faces) {
    if (!IsDegenerateTriangle(f.C1, f.C2, f.C3)) out.push_back({f.C1, f.C2, f.C3});
    if (!IsDegenerateTriangle(f.C3, f.C4, f.C1)) out.push_back({f.C3, f.C4, f.C1});
  }
  return out;
}

// Every coordinate moved to the nearest multiple of 1/64: such numbers, up to
// 2^17, are held exactly by a float and by a short decimal.
inline std::vector<Face> OnFloatGrid(std::vector<Face> faces) {
  auto snap = [](Point3& p) {
    p = {std::round(p.x * 64) / 64, std::round(p.y * 64) / 64, std::round(p.z * 64) / 64};
  };
  for (Face& f : faces) {
    snap(f.C1);
    snap(f.C2);
    snap(f.C3);
    snap(f.C4);
  }
  return faces;
}

namespace mesh_samples_detail {
inline std::string Num(Real v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));
  return buf;
}
inline std::string Xyz(Point3 p) { return Num(p.x) + " " + Num(p.y) + " " + Num(p.z); }
inline void PutFloat(std::string& out, Real v) {
  const float f = static_cast<float>(v);
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(u >> (8 * k)));
}
inline void PutU32(std::string& out, std::uint32_t u) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(u >> (8 * k)));
}
inline std::vector<Point3> CornersOf(const Face& f) {
  // A triangular 3DFACE repeats its third corner as its fourth.
  if (f.C3.x == f.C4.x && f.C3.y == f.C4.y && f.C3.z == f.C4.z) return {f.C1, f.C2, f.C3};
  return {f.C1, f.C2, f.C3, f.C4};
}
}  // namespace mesh_samples_detail

inline std::string BinaryStl(const std::vector<MeshTriangle>& triangles, const std::string& header = "binary STL") {
  using namespace mesh_samples_detail;
  std::string out = header.substr(0, 80);
  out.resize(80, ' ');
  PutU32(out, static_cast<std::uint32_t>(triangles.size()));
  out.reserve(84 + 50 * triangles.size());
  for (const MeshTriangle& t : triangles) {
    for (int k = 0; k < 3; ++k) PutFloat(out, 0);  // the normal: Assimp recomputes none from it
    for (const Point3& p : {t.A, t.B, t.C}) {
      PutFloat(out, p.x);
      PutFloat(out, p.y);
      PutFloat(out, p.z);
    }
    out.append(2, '\0');
  }
  return out;
}

inline std::string AsciiStl(const std::vector<MeshTriangle>& triangles) {
  using namespace mesh_samples_detail;
  std::string out = "solid mirror\n";
  for (const MeshTriangle& t : triangles) {
    out += "  facet normal 0 0 0\n    outer loop\n";
    for (const Point3& p : {t.A, t.B, t.C}) out += "      vertex " + Xyz(p) + "\n";
    out += "    endloop\n  endfacet\n";
  }
  return out + "endsolid mirror\n";
}

// Each face a polygon of its own corners (a triangular 3DFACE a triangle).
inline std::string ObjOfFaces(const std::vector<Face>& faces) {
  using namespace mesh_samples_detail;
  std::string vertices, polygons;
  long next = 1;
  for (const Face& f : faces) {
    polygons += "f";
    for (const Point3& p : CornersOf(f)) {
      vertices += "v " + Xyz(p) + "\n";
      polygons += ' ';
      polygons += std::to_string(next++);
    }
    polygons += "\n";
  }
  return "# mirror\no mirror\n" + vertices + polygons;
}

inline std::string PlyOfFaces(const std::vector<Face>& faces, bool binary) {
  using namespace mesh_samples_detail;
  std::size_t vertexCount = 0;
  for (const Face& f : faces) vertexCount += CornersOf(f).size();
  std::string out = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                    " 1.0\nelement vertex " + std::to_string(vertexCount) +
                    "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                    std::to_string(faces.size()) + "\nproperty list uchar int vertex_indices\nend_header\n";
  for (const Face& f : faces) {
    for (const Point3& p : CornersOf(f)) {
      if (binary) {
        PutFloat(out, p.x);
        PutFloat(out, p.y);
        PutFloat(out, p.z);
      } else {
        out += Xyz(p) + "\n";
      }
    }
  }
  std::uint32_t next = 0;
  for (const Face& f : faces) {
    const std::size_t n = CornersOf(f).size();
    if (binary) {
      out.push_back(static_cast<char>(n));
      for (std::size_t k = 0; k < n; ++k) PutU32(out, next++);
    } else {
      out += std::to_string(n);
      for (std::size_t k = 0; k < n; ++k) {
        out += ' ';
        out += std::to_string(next++);
      }
      out += "\n";
    }
  }
  return out;
}

// A text OFF with a colour on every vertex (COFF) and comments where Assimp
// allows them: before the counts, before the first vertex and after the faces.
inline std::string CoffOfFaces(const std::vector<Face>& faces) {
  using namespace mesh_samples_detail;
  std::size_t vertexCount = 0;
  for (const Face& f : faces) vertexCount += CornersOf(f).size();
  std::string out = "COFF\n# mirror\n" + std::to_string(vertexCount) + " " + std::to_string(faces.size()) +
                    " 0\n# vertices\n";
  for (const Face& f : faces) {
    for (const Point3& p : CornersOf(f)) out += Xyz(p) + " 200 200 200 255\n";
  }
  std::size_t next = 0;
  for (const Face& f : faces) {
    const std::size_t n = CornersOf(f).size();
    out += std::to_string(n);
    for (std::size_t k = 0; k < n; ++k) {
      out += '\t';
      out += std::to_string(next++);
    }
    out += "\r\n";
  }
  return out + "\n# end\n";
}

}  // namespace anamorfosi
