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

// The mirror's unit normals at a facet's three corners, for a smooth mesh:
// interpolated across the facet, they stand for the smooth surface the
// triangles approximate.
struct FacetNormals {
  Point3 N1, N2, N3;  // at Corner1, Corner2, Corner3
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
  // The normals a mesh file stores at the corners (OBJ, PLY, glTF), by facet
  // number, when they were asked for (FacetLoadOptions::Normals); fewer than
  // the facets when some triangle had none.
  std::vector<FacetNormals> FileNormals;
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
  // Keep the normals an OBJ, PLY or glTF stores at its corners (FileNormals).
  bool Normals = false;
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

// The crease angle a smooth mesh takes when none is given, and the bound it
// stays below, in degrees.
inline constexpr Real DefaultCreaseDegrees = 60;
inline constexpr Real CreaseBelowDegrees = 90;

// Normals at every facet's corners from the mesh itself. Corners at the same
// point (the same coordinates to the last bit) are one vertex; a corner's
// normal averages the facets that meet there whose planes lie within
// creaseDegrees of its own facet's (0: each facet its own plane; below 90),
// each weighted by Max's rule, (e1 x e2) / (|e1|^2 |e2|^2) of its two edges at
// the vertex, which is exact when the vertex and its neighbours lie on a
// sphere. Normals follow the facets' winding (PlaneFromPoints): a neighbour
// wound the other way seems to face away by more than 90 degrees and is left
// out, so a mesh of mixed windings loses smoothness there, never turns a
// normal inside out.
std::vector<FacetNormals> ComputeCornerNormals(const FacetSet& set, Real creaseDegrees);

// What the smooth surface's interpolation needs of a facet, whatever the
// point: its edges from Corner1, their cross product and its squared length.
// Computed once for the several points one ray visits on the same facet.
struct FacetFrame {
  Point3 E1, E2, Area;
  Real Whole = 0;
};
FacetFrame FrameOf(const MirrorFacet& facet);

// The normal at h, a point on the facet (or within its edge tolerance):
// the corners' normals weighted by h's barycentric coordinates (clamped into
// the triangle), made a unit vector; the facet's plane normal when they cancel.
Point3 InterpolatedNormal(const MirrorFacet& facet, const FacetNormals& normals, Point3 h);

// The point of the smooth surface over h: h moved halfway toward the mean,
// by h's barycentric weights, of its projections on the corners' tangent
// planes (Phong tessellation with the shape factor 1/2). Half is what makes
// a chord of a circle, whose ends' tangents rise above it by twice the arc's
// height, meet the arc to second order; along an edge only its two corners
// count, so neighbouring facets give the same surface there.
Point3 SmoothSurfacePoint(const MirrorFacet& facet, const FacetNormals& normals, Point3 h);

// Both at once, from h's barycentric coordinates found once: the same values
// as SmoothSurfacePoint and InterpolatedNormal, to the last bit.
struct SmoothSample {
  Point3 Surface, Normal;
};
SmoothSample SmoothAt(const MirrorFacet& facet, const FacetFrame& frame, const FacetNormals& normals, Point3 h);
Point3 InterpolatedNormal(const MirrorFacet& facet, const FacetFrame& frame, const FacetNormals& normals, Point3 h);

}  // namespace anamorfosi
