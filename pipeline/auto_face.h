// The picture face chosen for the user who gives none: the rectangle where the
// eye sees the picture standing in the mirror, upright and not mirrored, centred
// in the mirror and as large as the mirror shows it whole, less a margin.
//
// A candidate face works when every ray of the 51 x 51 scan of the window
// (ScanFace) reaches the sheet and lands within kAutoFaceReach mirror sizes of
// the mirror; beyond that the rays near the silhouette or near the eye's height
// land so far away that the print becomes huge for a sliver of picture. The
// largest working face is found by bisection on its scale about a fixed centre,
// which assumes that a smaller face about the same centre works whenever a
// larger one does; the face returned has been scanned and works. Where the
// centre is searched for too (cylinder, sphere, mesh), the candidate centres
// are ranked on a rough look of 17 x 17 rays, a ninth of the scan.
#pragma once

#include <functional>
#include <string>

#include "mirrors/cone.h"
#include "mirrors/cylinder.h"
#include "mirrors/faceted_mirror.h"
#include "mirrors/sphere.h"
#include "core/geometry.h"

namespace anamorfosi {

struct FaceRequest {
  Real Aspect = 4.0_r / 3;  // picture width / height
  Real Fill = 0.9_r;        // fraction of the largest face that works (0 < Fill <= 1)
  // When set, Fill is not used: the fill is the largest of 0.001, 0.002, ... 1
  // whose face Fits accepts, found by bisection (so a larger face is taken to
  // be accepted only when a smaller one is). Fits(fill, face) is given the
  // face that Fill = fill would give. No fill accepted: no face.
  std::function<bool(double fill, const Face& face)> Fits = nullptr;
};

// How far from the mirror a scanned ray may land, measured in plan: in radii
// from the cylinder's axis or from the foot of the sphere's centre, in base
// radii from the cone's axis, and for the plane mirror in half-diagonals of its
// face (the longer one) from the foot on the sheet of the face's centre.
inline constexpr Real kAutoFaceReach = 8;

// Each answers true and sets face, or false and sets why (one English sentence
// naming what is wrong); the other output is left as it was.

// A vertical rectangle in the plane through the axis that faces the eye in plan,
// centred on the axis, C1 and C2 on top and C1 on the eye's left. Its size is
// that of the largest face that works at any height; its centre is at the
// middle of the heights where that face works; then it is scaled by Fill about
// its centre.
bool AutomaticCylinderFace(const Cylinder& cylinder, Point3 eye, const FaceRequest& request, Face& face,
                           std::string& why);

// A horizontal rectangle centred on the axis halfway between the apex and the
// eye's height. Its top (C1C2) is the side away from the eye in plan, the side a
// standing viewer sees on top; for an eye on the axis the top is +Y and C1 lies
// at -X, +Y. Its size is the largest that works (cone.AxisTolerance is taken
// from each candidate as |C1C2| / 1000, as the cone program does), times Fill.
bool AutomaticConeFace(const ConeMirror& cone, Point3 eye, const FaceRequest& request, Face& face, std::string& why);

// A rectangle square to the sight line from the eye through the ball's centre,
// in the plane through the centre, upright (its up +Z in that plane, +Y for
// an eye plumb above the centre) and C1 on the eye's left. Only a band of the
// ball reflects the sheet (above it the sky, at its bottom the sheet under
// the ball): the face's centre is moved along its up to where the largest
// face works, every ray landing outside the ball's outline on the sheet (the
// circle of its radius round the centre's foot) and within the reach; then it
// is scaled by Fill about its centre.
bool AutomaticSphereFace(const SphereMirror& ball, Point3 eye, const FaceRequest& request, Face& face,
                         std::string& why);

// mirrorFace: the 3DFACE of the plane mirror (its four corners, a convex
// quadrilateral); the plane mirror model is the infinite plane through C1, C2,
// C3. The face lies on the mirror, centred on the mean of its corners, its up
// the direction of +Z in the mirror's plane (+Y for a horizontal mirror) and C1
// on the eye's left; it is the largest such rectangle inside the mirror face,
// shrunk about its centre until it works, times Fill.
bool AutomaticPlaneFace(const Face& mirrorFace, Point3 eye, const FaceRequest& request, Face& face, std::string& why);

// A mesh mirror of any shape, from the box of its facets above the sheet: the
// rectangle square to the sight line from the eye through the box's centre,
// in the plane through that centre, upright (its up +Z in that plane, +Y for
// an eye plumb above it) and C1 on the eye's left; centred across on the box
// as the eye sees it, and moved along its up to where the largest face works
// (as for the sphere), then scaled by Fill about its centre. A ray works when
// it meets the mesh, comes down to the sheet within the reach (kAutoFaceReach
// times the larger half side of the box in plan, from the box's centre in
// plan), lands where no facet stands above the sheet (not under the mirror)
// and, off a mesh that is not on its convex hull, meets the mesh only once.
// In the vertical view-axis mode mirror.AxisTolerance is set for each
// candidate as the print sets it (its first side / 1000), and the landing
// under the mirror is allowed (the axis stands there).
bool AutomaticMeshFace(FacetedMirror& mirror, Point3 eye, const FaceRequest& request, Face& face, std::string& why);

// The box of a mesh's facets, cut at the sheet (Z below 0 taken as 0); false
// when no facet reaches above the sheet.
bool MeshBoundsAboveSheet(const FacetSet& set, Point3& lo, Point3& hi);

}  // namespace anamorfosi
