// The mirror of generico as a table of triangles read from the 3DFACE entities
// of a DXF file, or from a mesh file (STL, OBJ, PLY and the other formats that
// Assimp reads, mesh_file.h). Every face is split into two triangles along its
// diagonal from the third to the first corner; triangles without area are
// dropped. The table is filled once, before any ray is traced, and only read
// afterwards.
#pragma once

#include <string>
#include <vector>

#include "core/geometry.h"

namespace anamorfosi {

inline constexpr int MaxFacets = 50000;
// Margin of a facet's box on every axis: points on an edge, or in the plane of
// an axis-parallel facet, still fall inside it.
inline constexpr Real FacetBoxMargin = 1e-4_r;

struct MirrorFacet {
  Point3 Corner1, Corner2, Corner3;  // in the order AddFacet received them
  Point3 BoxMin, BoxMax;             // the corners' box widened by FacetBoxMargin
  anamorfosi::Plane Plane;                     // PlaneFromPoints(Corner1, Corner2, Corner3)
};

// Facets are numbered from 0 in the order of their faces in the file, the
// first triangle of a face before its second; ties between facets go to the
// lower number.
struct FacetSet {
  std::vector<MirrorFacet> Facets;
  int FacetCount = 0;
  bool FacetOverflow = false;  // a triangle was refused because the table was full
  int Limit = MaxFacets;       // the most triangles the table takes
  // Millimetres per unit of the file's numbers when its format states a unit
  // (before any scaling into drawing units), else 0.
  Real FileUnitMm = 0;
};

// How a mirror file fills a facet table (LoadMirrorFacets in meshes/, or the
// reader a front end gives the pipeline).
struct FacetLoadOptions {
  int Limit = MaxFacets;
  // Millimetres per drawing unit: a mesh whose format states its unit is
  // scaled into drawing units; 0 keeps every file's numbers as they stand.
  Real DrawingUnitMm = 0;
  // Millimetres per unit of a DXF file's numbers, as its header states them:
  // with DrawingUnitMm, its faces are scaled into drawing units; 0 keeps them.
  Real DxfUnitMm = 0;
  // Assimp reads a mesh in this process instead of a child of its own: for
  // the fuzz targets, so that the fuzzer sees and steers Assimp's code.
  bool MeshInProcess = false;
  // The child's time, in seconds, when above 0 (else MeshReaderBudget's): a
  // fuzz target's must end within the fuzzer's own time for one input.
  double MeshSeconds = 0;
};

// Heron's area below 1e-5 (a product that rounds below zero counts as area 0).
bool IsDegenerateTriangle(Point3 a, Point3 b, Point3 c);

// Per-axis box of the three corners, widened by FacetBoxMargin.
void FacetBox(Point3 p1, Point3 p2, Point3 p3, Point3& boxMin, Point3& boxMax);

// Appends one triangle; when the table already holds set.Limit, sets
// FacetOverflow instead and answers false.
bool AddFacet(FacetSet& set, Point3 p1, Point3 p2, Point3 p3);

// Splits a face along its diagonal from the third corner to the first and adds
// the triangles that have an area (a triangular face, whose fourth corner
// repeats the third, gives one).
void AddFace(FacetSet& set, const Face& face);

// Resets set to an empty table of the given limit.
void ClearFacets(FacetSet& set, int limit);

}  // namespace anamorfosi
