#include "pipeline/auto_face.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/mirror.h"
#include "mirrors/plane_mirror.h"
#include "mirrors/sphere.h"
#include "core/window.h"

namespace anamorfosi {

namespace {

// Bisection steps, each halving the bracket of a face's scale: the coarse ones
// rank the cylinder's candidate heights, the medium ones compare its heights
// near the best (to 1e-6 of the bracket), the fine ones size the face returned
// (to 2.3e-10 of the bracket).
constexpr int kCoarseSteps = 10;
constexpr int kMediumSteps = 20;
constexpr int kFineSteps = 32;

// A mirror whose rays also count as missed when they land farther than reach,
// in plan, from (x, y).
// Landings nearer than clear count as missed too: under a mirror that covers
// the sheet round (x, y) (0: none).
template <class Mirror>
struct WithinReach {
  const Mirror* mirror;
  Real x, y, reach;
  Real clear = 0;
};

template <class Mirror>
bool ReflectRay(const WithinReach<Mirror>& limited, Point3 centre, Point3 facePoint, Point3& result,
                MissRecord& misses) {
  if (!ReflectRay(*limited.mirror, centre, facePoint, result, misses)) return false;
  // Asked as "not within" so that a landing point that is not a number is out of reach too.
  const Real d = Distance2(limited.x, limited.y, result.x, result.y);
  if (!(d <= limited.reach) || d < limited.clear) return RecordMiss(result, misses);
  return true;
}

template <class Mirror>
bool FaceWorks(const Mirror& mirror, const Face& face, Point3 eye, Real x, Real y, Real reach, Real clear = 0) {
  const WithinReach<Mirror> limited{&mirror, x, y, reach, clear};
  MissRecord misses;
  // The corners (up to rounding, rays of the scan) first: a face too large
  // usually fails there, and the whole scan is spared.
  for (const Point3 corner : {face.C1, face.C2, face.C3, face.C4}) {
    Point3 landing;
    if (!ReflectRay(limited, eye, corner, landing, misses)) return false;
  }
  ScanFace(limited, face, eye, misses);
  return misses.MissCount == 0;
}

// A rough look, 17 x 17 rays over the face (its corners and edges included), a
// ninth of the scan's: enough to rank candidate faces while a search narrows
// down, the face returned being sized on the whole scan. limited is a mirror
// whose ReflectRay also bounds where a ray may land.
constexpr int kRough = 16;
template <class LimitedMirror>
bool RoughlyLands(const LimitedMirror& limited, const Face& face, Point3 eye) {
  MissRecord misses;
  Point3 landing;
  for (int i = 0; i <= kRough; ++i) {
    for (int j = 0; j <= kRough; ++j) {
      const Point3 p = face.C1 + (static_cast<Real>(i) / kRough) * (face.C2 - face.C1) +
                       (static_cast<Real>(j) / kRough) * (face.C4 - face.C1);
      if (!ReflectRay(limited, eye, p, landing, misses)) return false;
    }
  }
  return true;
}

// FaceWorks on the rough look.
template <class Mirror>
bool FaceRoughlyWorks(const Mirror& mirror, const Face& face, Point3 eye, Real x, Real y, Real reach,
                      Real clear = 0) {
  return RoughlyLands(WithinReach<Mirror>{&mirror, x, y, reach, clear}, face, eye);
}

// Misses of the scan on the mirror alone, without the reach bound.
template <class Mirror>
long long SheetMisses(const Mirror& mirror, const Face& face, Point3 eye) {
  MissRecord misses;
  ScanFace(mirror, face, eye, misses);
  return misses.MissCount;
}

// The rectangle about centre with the given half sizes along the unit vectors
// right and up: C1 top-left, C2 top-right, C3 bottom-right, C4 bottom-left.
Face Rectangle(Point3 centre, Point3 right, Point3 up, Real halfWidth, Real halfHeight) {
  const Point3 w = halfWidth * right, h = halfHeight * up;
  return {centre - w + h, centre + w + h, centre + w - h, centre - w - h};
}

// The largest scale in [lo, hi] for which worksAt holds, to (hi - lo) 2^-steps;
// lo is taken to work (0 stands for "nothing works") and the answer is lo or a
// scale that was tried and works.
template <class WorksAt>
Real LargestWorking(Real lo, Real hi, int steps, const WorksAt& worksAt) {
  for (int i = 0; i < steps; ++i) {
    const Real mid = (lo + hi) / 2;
    if (worksAt(mid))
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

// Fill times the largest working scale. Should that smaller face fail after all
// (the scan not monotone in the scale there), the largest working scale below it.
template <class WorksAt>
Real FilledScale(Real largest, Real fill, const WorksAt& worksAt) {
  const Real scale = fill * largest;
  if (scale > 0 && worksAt(scale)) return scale;
  return LargestWorking(0, scale, kFineSteps, worksAt);
}

// The scale of the face answered: Fill times the largest, or with
// request.Fits the largest fill in thousandths whose face fits; 0 for none.
template <class WorksAt, class FaceAt>
Real ChosenScale(Real largest, const FaceRequest& request, const WorksAt& worksAt, const FaceAt& faceAt) {
  if (!request.Fits) return FilledScale(largest, request.Fill, worksAt);
  // The fill as the double an option of the same value holds, so that --fill
  // with the fill chosen gives this very face.
  auto fillOf = [](int thousandths) { return static_cast<double>(thousandths) / 1000; };
  auto scaleOf = [&](int k) { return FilledScale(largest, fillOf(k), worksAt); };
  auto fits = [&](int k) {
    const Real s = scaleOf(k);
    return s > 0 && request.Fits(fillOf(k), faceAt(s));
  };
  if (fits(1000)) return scaleOf(1000);
  if (!fits(1)) return 0;
  int lo = 1, hi = 1000;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (fits(mid) ? lo : hi) = mid;
  }
  return scaleOf(lo);
}

bool IsFinite(Point3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

bool CheckRequest(const FaceRequest& request, Point3 eye, std::string& why) {
  if (!(std::isfinite(request.Aspect) && request.Aspect > 0)) {
    why = "the picture's aspect (width / height) is not a positive number";
    return false;
  }
  if (!request.Fits && !(request.Fill > 0 && request.Fill <= 1)) {
    why = "the fill is not above 0 and at most 1";
    return false;
  }
  if (!IsFinite(eye)) {
    why = "the eye is not a finite point";
    return false;
  }
  if (!(eye.z > 0)) {
    why = "the eye is below the sheet";
    return false;
  }
  return true;
}

std::string ReachText() { return std::to_string(static_cast<int>(kAutoFaceReach)); }

// Golden-section search for the largest consider(z) over [centre - spacing,
// centre + spacing]; consider keeps the best height it is given, so a hump
// narrower than the bracket cannot be lost.
template <class Consider>
void GoldenSectionSearch(Real centre, Real spacing, Consider consider) {
  const Real g = (std::sqrt(Real(5)) - 1) / 2;
  Real a = centre - spacing, b = centre + spacing;
  Real z1 = b - g * (b - a), z2 = a + g * (b - a);
  Real s1 = consider(z1), s2 = consider(z2);
  // 0.618^24 leaves a bracket of 2e-5 of the coarse spacing.
  for (int k = 0; k < 24; ++k) {
    if (s1 >= s2) {
      b = z2;
      z2 = z1;
      s2 = s1;
      z1 = b - g * (b - a);
      s1 = consider(z1);
    } else {
      a = z1;
      z1 = z2;
      s1 = s2;
      z2 = a + g * (b - a);
      s2 = consider(z2);
    }
  }
}

// The height where largestAt(height, steps) is largest: a coarse look over
// lo + i spacing (0 < i < kHeights) finds the hump, then the golden-section
// search between the best one's neighbours, the best height tried kept.
// bestSize is the size there at the fine steps; 0 (and lo) when no height works.
constexpr int kHeights = 24;
template <class LargestAt>
Real BestHeight(Real lo, Real spacing, const LargestAt& largestAt, Real& bestSize) {
  int best = 0;
  bestSize = 0;
  for (int i = 1; i < kHeights; ++i) {
    const Real s = largestAt(lo + i * spacing, kCoarseSteps);
    if (s > bestSize) {
      bestSize = s;
      best = i;
    }
  }
  Real bestH = lo + best * spacing;
  if (best == 0) return bestH;
  bestSize = largestAt(bestH, kMediumSteps);
  const auto consider = [&](Real h) {
    const Real s = largestAt(h, kMediumSteps);
    if (s > bestSize) {
      bestSize = s;
      bestH = h;
    }
    return s;
  };
  GoldenSectionSearch(bestH, spacing, consider);
  bestSize = largestAt(bestH, kFineSteps);
  if (!(bestSize > 0)) bestSize = 0;
  return bestH;
}

}  // namespace

bool AutomaticCylinderFace(const Cylinder& cylinder, Point3 eye, const FaceRequest& request, Face& face,
                           std::string& why) {
  if (!CheckRequest(request, eye, why)) return false;
  if (!std::isfinite(cylinder.Radius) || CylinderIsNull(cylinder)) {
    why = "the cylinder has no radius";
    return false;
  }
  const Real R = std::fabs(cylinder.Radius);
  const Real X = cylinder.AxisPoint.x, Y = cylinder.AxisPoint.y;
  const Real D = Distance2(X, Y, eye.x, eye.y);
  if (!(D > R)) {
    why = "the eye is inside the cylinder";
    return false;
  }
  const Real A = request.Aspect;
  // In plan, the unit vector from the axis toward the eye; the eye's right is
  // that turned a quarter counter-clockwise seen from above, the face's up +Z.
  const Point3 toEye{(eye.x - X) / D, (eye.y - Y) / D, 0};
  const Point3 right{-toEye.y, toEye.x, 0};
  const Point3 up{0, 0, 1};

  // A sight line through the face plane farther than R D / sqrt(D^2 - R^2) from
  // the axis passes beside the cylinder: the half-width can be no larger.
  const Real maxHalfHeight = R * D / std::sqrt(D * D - R * R) / A;
  // The sight line through a face point at height z meets the wall at plan
  // fraction t >= (D - R) / D of the way, at height eye.z - (eye.z - z) t: the
  // face lies above zLow (hits below the sheet otherwise) and below the eye (a
  // hit at or above the eye's height sends its ray upward).
  const Real zLow = -eye.z * R / (D - R), zHigh = eye.z;

  const Real reach = R * kAutoFaceReach;
  const auto faceAt = [&](Real zc, Real s) { return Rectangle({X, Y, zc}, right, up, A * s, s); };
  const auto works = [&](Real zc, Real s) { return FaceWorks(cylinder, faceAt(zc, s), eye, X, Y, reach); };
  const auto largestAt = [&](Real zc, int steps) {
    const Real hi = std::min({maxHalfHeight, zc - zLow, zHigh - zc});
    if (!(hi > 0)) return Real(0);
    if (steps == kFineSteps) return LargestWorking(0, hi, steps, [&](Real s) { return works(zc, s); });
    return LargestWorking(0, hi, steps, [&](Real s) {
      return FaceRoughlyWorks(cylinder, faceAt(zc, s), eye, X, Y, reach);
    });
  };
  const std::string nothingWorks = "no picture face of this aspect has all its rays reflected onto the sheet within " +
                                   ReachText() + " radii of the axis";

  // A coarse look over the heights of the centre, to find the hump of the face
  // size against the height (the bottom limits it below, the reach above).
  const Real spacing = (zHigh - zLow) / kHeights;
  Real bestSize = 0;
  Real bestZ = BestHeight(zLow, spacing, largestAt, bestSize);
  if (!(bestSize > 0)) {
    why = nothingWorks;
    return false;
  }

  // The largest face may work over a range of heights (when the silhouette
  // limits its width rather than the sheet or the reach its height): it goes to
  // the middle of that range. Its ends are found by bisection between bestZ,
  // where it works, and the heights where its bottom or top leaves (zLow, zHigh).
  Real fails = zLow + bestSize, holds = bestZ;
  for (int i = 0; i < kFineSteps; ++i) {
    const Real mid = (fails + holds) / 2;
    (works(mid, bestSize) ? holds : fails) = mid;
  }
  const Real lowest = holds;
  fails = zHigh - bestSize;
  holds = bestZ;
  for (int i = 0; i < kFineSteps; ++i) {
    const Real mid = (fails + holds) / 2;
    (works(mid, bestSize) ? holds : fails) = mid;
  }
  const Real middle = (lowest + holds) / 2;
  // Should the heights that work not form one range, bestZ stays.
  if (works(middle, bestSize)) bestZ = middle;

  const Real s = ChosenScale(bestSize, request, [&](Real t) { return works(bestZ, t); },
                             [&](Real t) { return faceAt(bestZ, t); });
  if (!(s > 0)) {
    why = nothingWorks;
    return false;
  }
  face = faceAt(bestZ, s);
  return true;
}

bool AutomaticConeFace(const ConeMirror& cone, Point3 eye, const FaceRequest& request, Face& face, std::string& why) {
  if (!CheckRequest(request, eye, why)) return false;
  const Real R = std::fabs(cone.BaseRadius), H = cone.ConeHeight;
  if (!(std::isfinite(R) && std::isfinite(H) && R > 0 && H > 0)) {
    why = "the cone has no base radius or no height";
    return false;
  }
  if (!(eye.z > H)) {
    why = "the eye is below the top of the cone";
    return false;
  }
  const Real A = request.Aspect;
  const Real X = cone.AxisPoint.x, Y = cone.AxisPoint.y;
  // Halfway between the apex and the eye. For an eye on the axis every level
  // gives the same sight lines; off the axis, the middle of the picture is seen
  // where the sight line through the axis at this level meets the far side.
  const Point3 centre{X, Y, (H + eye.z) / 2};
  // Up is the plan direction from the eye toward the axis, +Y for an eye on the
  // axis (within 1e-9 base radii, where the plan direction is rounding noise).
  const Real d = Distance2(X, Y, eye.x, eye.y);
  const Point3 up = d > 1e-9_r * R ? Point3{(X - eye.x) / d, (Y - eye.y) / d, 0} : Point3{0, 1, 0};
  // Looking down, the eye's right is up x Z.
  const Point3 right = Cross(up, {0, 0, 1});

  ConeMirror trial = cone;
  const auto faceOf = [&](Real s) { return Rectangle(centre, right, up, A * s, s); };
  const auto worksAt = [&](Real s) {
    const Face candidate = faceOf(s);
    trial.AxisTolerance = Distance3(candidate.C1, candidate.C2) / 1000;
    return FaceWorks(trial, candidate, eye, X, Y, R * kAutoFaceReach);
  };

  // The first guess has its corners on the base circle as an eye on the axis
  // sees it. It doubles while it works; a face large enough has its corners
  // beside the cone, so the doubling ends.
  Real lo = 0, hi = R * (eye.z - centre.z) / eye.z / std::sqrt(A * A + 1);
  for (int i = 0; i < 64 && worksAt(hi); ++i) {
    lo = hi;
    hi *= 2;
  }
  Real s = LargestWorking(lo, hi, kFineSteps, worksAt);
  if (s > 0) s = ChosenScale(s, request, worksAt, faceOf);
  if (!(s > 0)) {
    // A face a millionth of the first guess tells which condition fails.
    const Face tiny = faceOf(hi * 1e-6_r);
    trial.AxisTolerance = Distance3(tiny.C1, tiny.C2) / 1000;
    // From an eye on the axis a cone of half-angle 45 degrees or more sends
    // every sight ray off level or rising; one a little steeper, too shallow.
    const bool misses = SheetMisses(trial, tiny, eye) > 0;
    if (misses && d <= 1e-9_r * R)
      why = "the cone is too low for an eye on its axis: the sight rays it reflects do not come down to the sheet; "
            "a taller cone is needed";
    else if (misses)
      why = "the eye is too far from the axis for its height: the middle of the picture is not seen on the cone";
    else
      why = "the rays from the middle of the picture land more than " + ReachText() + " base radii from the axis";
    return false;
  }
  face = faceOf(s);
  return true;
}

bool AutomaticPlaneFace(const Face& mirrorFace, Point3 eye, const FaceRequest& request, Face& face, std::string& why) {
  if (!CheckRequest(request, eye, why)) return false;
  PlaneMirror mirror;
  mirror.MirrorPlane = PlaneFromPoints(mirrorFace.C1, mirrorFace.C2, mirrorFace.C3);
  mirror.HasFace = true;
  const Plane& plane = mirror.MirrorPlane;
  const Point3 n = Normal(plane);
  // PlaneFromPoints leaves the normal far shorter than 1 only for (nearly)
  // collinear corners; a normalised one has length 1.
  if (!(std::fabs(Dot(n, n) - 1) < 1e-6_r)) {
    why = "the mirror face has no area";
    return false;
  }
  // The corners in the mirror's plane (a fourth corner off it is put on it).
  Point3 q[4] = {mirrorFace.C1, mirrorFace.C2, mirrorFace.C3, mirrorFace.C4};
  for (Point3& p : q) p = p - (Dot(n, p) + plane.d) * n;
  const Point3 centre = 0.25_r * (q[0] + q[1] + q[2] + q[3]);
  const Real halfDiagonal = std::max(Distance3(q[0], q[2]), Distance3(q[1], q[3])) / 2;
  // An eye within 1e-9 half-diagonals of the plane sees the mirror edge on.
  if (!(std::fabs(SignedDistance(plane, eye)) > 1e-9_r * halfDiagonal)) {
    why = "the eye lies in the plane of the mirror";
    return false;
  }

  // Up is +Z in the mirror's plane; a mirror horizontal to within 1e-9 radians
  // has none, and takes +Y instead.
  Point3 up = Point3{0, 0, 1} - n.z * n;
  if (Dot(up, up) < 1e-18_r) up = Point3{0, 1, 0} - n.y * n;
  up = (1 / std::sqrt(Dot(up, up))) * up;
  // The eye's right is forward x up; its component in the plane is along up x n.
  Point3 right = Cross(up, n);
  if (Dot(right, Cross(centre - eye, up)) < 0) right = -1 * right;

  // The corners in the face's frame, and the orientation of their polygon.
  Real u[4], v[4];
  for (int i = 0; i < 4; ++i) {
    u[i] = Dot(q[i] - centre, right);
    v[i] = Dot(q[i] - centre, up);
  }
  Real area2 = 0;
  for (int i = 0; i < 4; ++i) area2 += u[i] * v[(i + 1) % 4] - u[(i + 1) % 4] * v[i];
  const Real orientation = area2 > 0 ? 1 : -1;
  // Each edge bounds a rectangle centred on the origin, of half sizes A s and s,
  // at s = (inward distance of the edge) / (|m_u| A + |m_v|) for its inward unit
  // normal m. An edge shorter than 1e-12 half-diagonals is a repeated corner.
  const Real A = request.Aspect;
  Real inscribed = 1e30_r;
  bool convex = true;
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4, k = (i + 2) % 4;
    const Real eu = u[j] - u[i], ev = v[j] - v[i];
    const Real length = std::sqrt(eu * eu + ev * ev);
    if (length <= 1e-12_r * halfDiagonal) continue;
    // A turn the wrong way at corner j, beyond rounding (1e-12 of the size
    // squared), makes the polygon concave or self-crossing.
    if (orientation * (eu * (v[k] - v[j]) - ev * (u[k] - u[j])) < -1e-12_r * halfDiagonal * halfDiagonal) convex = false;
    const Real mu = -orientation * ev / length, mv = orientation * eu / length;
    const Real inward = -(mu * u[i] + mv * v[i]);
    inscribed = std::min(inscribed, inward / (std::fabs(mu) * A + std::fabs(mv)));
  }
  if (!convex || !(inscribed > 0) || !(inscribed < 1e30_r)) {
    why = "the mirror face is not a convex quadrilateral";
    return false;
  }

  const Real reach = halfDiagonal * kAutoFaceReach;
  const auto faceOf = [&](Real s) { return Rectangle(centre, right, up, A * s, s); };
  const auto worksAt = [&](Real s) { return FaceWorks(mirror, faceOf(s), eye, centre.x, centre.y, reach); };
  Real s = worksAt(inscribed) ? inscribed : LargestWorking(0, inscribed, kFineSteps, worksAt);
  if (s > 0) s = ChosenScale(s, request, worksAt, faceOf);
  if (!(s > 0)) {
    // A face a millionth of the inscribed one tells which condition fails.
    if (SheetMisses(mirror, faceOf(inscribed * 1e-6_r), eye) > 0)
      why = "from the eye, the middle of the mirror reflects no ray down to the sheet";
    else
      why = "the rays reflected by the middle of the mirror land more than " + ReachText() +
            " half-diagonals of the mirror away from it";
    return false;
  }
  face = faceOf(s);
  return true;
}

bool AutomaticSphereFace(const SphereMirror& ball, Point3 eye, const FaceRequest& request, Face& face,
                         std::string& why) {
  if (!CheckRequest(request, eye, why)) return false;
  const Real R = std::fabs(ball.Radius);
  const Point3 C = ball.Centre;
  if (!(std::isfinite(R) && R > 0 && IsFinite(C))) {
    why = "the sphere has no radius";
    return false;
  }
  const Real D = Distance3(eye, C);
  if (!(D > R)) {
    why = "the eye is inside the sphere";
    return false;
  }
  const Real A = request.Aspect;
  // The face stands square to the sight line through the centre; its up is +Z
  // in that plane, or +Y for an eye plumb above the centre (within 1e-9 of
  // level, where the plane's +Z is rounding noise).
  const Point3 forward = (1 / D) * (C - eye);
  Point3 up = Point3{0, 0, 1} - forward.z * forward;
  if (Dot(up, up) < 1e-18_r) up = Point3{0, 1, 0} - forward.y * forward;
  up = (1 / std::sqrt(Dot(up, up))) * up;
  const Point3 right = Cross(forward, up);
  // Sight lines through the face plane farther than rho from the centre pass
  // beside the ball: the face lies within that circle.
  const Real rho = R * D / std::sqrt(D * D - R * R);
  // Its rays land beyond the ball's outline on the sheet and within the reach.
  const Real reach = R * kAutoFaceReach;
  const auto faceAt = [&](Real h, Real s) { return Rectangle(C + h * up, right, up, A * s, s); };
  const auto works = [&](Real h, Real s) { return FaceWorks(ball, faceAt(h, s), eye, C.x, C.y, reach, R); };
  const auto largestAt = [&](Real h, int steps) {
    const Real hi = rho - std::fabs(h);
    if (!(hi > 0)) return Real(0);
    if (steps == kFineSteps) return LargestWorking(0, hi, steps, [&](Real s) { return works(h, s); });
    return LargestWorking(0, hi, steps, [&](Real s) {
      return FaceRoughlyWorks(ball, faceAt(h, s), eye, C.x, C.y, reach, R);
    });
  };
  const std::string nothingWorks = "no picture face of this aspect has all its rays reflected onto the sheet "
                                   "between the sphere's outline and " + ReachText() + " radii from its centre";

  // The upper part of the ball reflects the sky and its bottom the sheet under
  // it: a coarse look over the heights of the face's centre in its plane finds
  // the band between.
  const Real spacing = 2 * rho / kHeights;
  Real bestSize = 0;
  const Real bestH = BestHeight(-rho, spacing, largestAt, bestSize);
  if (!(bestSize > 0)) {
    why = nothingWorks;
    return false;
  }
  const Real s = ChosenScale(bestSize, request, [&](Real t) { return works(bestH, t); },
                             [&](Real t) { return faceAt(bestH, t); });
  if (!(s > 0)) {
    why = nothingWorks;
    return false;
  }
  face = faceAt(bestH, s);
  return true;
}

namespace {

// A mesh whose rays also count as missed when they land beyond the reach in
// plan from (x, y), under the mirror (a facet straight above the landing),
// or, off a mesh not on its convex hull, after meeting it a second time. Once
// a ray has missed, the face fails: the rest of its scan is not traced.
struct MeshWithinReach {
  const FacetedMirror* mirror;
  Real x, y, reach;
  Real size;        // the box's diagonal, for the offset of a second ray
  bool convex;      // on its convex hull: no second meeting to look for
};

bool ReflectRay(const MeshWithinReach& limited, Point3 centre, Point3 facePoint, Point3& result,
                MissRecord& misses) {
  if (misses.MissCount > 0) return RecordMiss(result, misses);
  const FacetedMirror& mesh = *limited.mirror;
  if (!ReflectRay(mesh, centre, facePoint, result, misses)) return false;
  const Real d = Distance2(limited.x, limited.y, result.x, result.y);
  if (!(d <= limited.reach)) return RecordMiss(result, misses);
  if (!mesh.VerticalAxisMode) {
    Point3 above;
    if (NearestFacet(mesh, result, {0, 0, 1}, above) >= 0) return RecordMiss(result, misses);
  }
  if (!limited.convex) {
    Point3 hit;
    if (NearestFacet(mesh, centre, UnitDirection(centre, facePoint), hit) < 0) return RecordMiss(result, misses);
    const Point3 r = UnitDirection(hit, result);
    // Leave the facet just hit by a hair (1e-7 of the box), so that it does not count again.
    const Point3 from = hit + (limited.size * 1e-7_r) * r;
    Point3 second;
    if (NearestFacet(mesh, from, r, second) >= 0 && Distance3(from, second) < Distance3(from, result) &&
        second.z >= 0)
      return RecordMiss(result, misses);
  }
  return true;
}

}  // namespace

bool MeshBoundsAboveSheet(const FacetSet& set, Point3& lo, Point3& hi) {
  bool any = false;
  for (const MirrorFacet& f : set.Facets) {
    if (!(std::max({f.Corner1.z, f.Corner2.z, f.Corner3.z}) > 0)) continue;
    for (Point3 p : {f.Corner1, f.Corner2, f.Corner3}) {
      p.z = std::max<Real>(p.z, 0);
      if (!any) lo = hi = p;
      any = true;
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  return any;
}

bool AutomaticMeshFace(FacetedMirror& mirror, Point3 eye, const FaceRequest& request, Face& face, std::string& why) {
  if (!CheckRequest(request, eye, why)) return false;
  Point3 lo, hi;
  if (!MeshBoundsAboveSheet(mirror.Facets, lo, hi) || !IsFinite(lo) || !IsFinite(hi)) {
    why = "the mirror has no triangle above the sheet";
    return false;
  }
  const Point3 C = 0.5_r * (lo + hi);
  const Real size = std::max<Real>(Distance3(lo, hi), 1e-6_r);
  const Real D = Distance3(eye, C);
  // Within a millionth of the box's size the eye has no line of sight through the middle.
  if (!(D > 1e-6_r * size)) {
    why = "the eye is at the middle of the mirror";
    return false;
  }
  const Real A = request.Aspect;
  const Real planHalf = std::max({(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, 1e-6_r * size});
  const MeshWithinReach limited{&mirror, C.x, C.y, planHalf * kAutoFaceReach, size, HullOf(mirror).Convex};
  const auto scanWorks = [&](const Face& candidate) {
    mirror.AxisTolerance = Distance3(candidate.C1, candidate.C2) / 1000;
    MissRecord misses;
    ScanFace(limited, candidate, eye, misses);
    return misses.MissCount == 0;
  };
  const std::string nothingWorks = "no picture face of this aspect has all its rays reflected onto the sheet, off "
                                   "the mirror and within " + ReachText() + " half sides of its box from its middle";

  if (mirror.VerticalAxisMode) {
    // Round the eye's vertical line, as the cone's face: horizontal, centred
    // on that line at the box's middle height, its top the side away from the
    // eye in plan (+Y for an eye plumb above the middle, within 1e-9 of the
    // box's size).
    if (!(eye.z > C.z)) {
      why = "in the vertical view-axis mode the eye must be above the middle of the mirror";
      return false;
    }
    const Point3 centre{eye.x, eye.y, C.z};
    const Real d = Distance2(C.x, C.y, eye.x, eye.y);
    const Point3 up = d > 1e-9_r * size ? Point3{(C.x - eye.x) / d, (C.y - eye.y) / d, 0} : Point3{0, 1, 0};
    const Point3 right = Cross(up, {0, 0, 1});
    const auto faceOf = [&](Real t) { return Rectangle(centre, right, up, A * t, t); };
    const auto worksAt = [&](Real t) { return scanWorks(faceOf(t)); };
    // From a face as high as the box's half side, doubling while it works; a
    // face large enough has its corners beside the mirror, so the doubling ends.
    Real low = 0, high = planHalf;
    for (int i = 0; i < 64 && worksAt(high); ++i) {
      low = high;
      high *= 2;
    }
    Real t = LargestWorking(low, high, kFineSteps, worksAt);
    if (t > 0) t = ChosenScale(t, request, worksAt, faceOf);
    if (!(t > 0)) {
      why = nothingWorks;
      return false;
    }
    face = faceOf(t);
    mirror.AxisTolerance = Distance3(face.C1, face.C2) / 1000;
    return true;
  }

  // Square to the sight line through the box's centre, up +Z in that plane
  // or +Y for an eye plumb above it (as for the sphere).
  const Point3 forward = (1 / D) * (C - eye);
  Point3 up = Point3{0, 0, 1} - forward.z * forward;
  if (Dot(up, up) < 1e-18_r) up = Point3{0, 1, 0} - forward.y * forward;
  up = (1 / std::sqrt(Dot(up, up))) * up;
  const Point3 right = Cross(forward, up);
  // The box as the eye sees it on the face's plane: where the sight lines
  // through its corners cross it. A corner not ahead of the eye leaves the
  // box's whole size round the centre each way.
  Real u0 = 0, u1 = 0, v0 = 0, v1 = 0;
  for (int k = 0; k < 8; ++k) {
    const Point3 p{k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
    const Point3 q = p - eye;
    const Real ahead = Dot(q, forward);
    if (!(ahead > 1e-9_r * D)) {
      u0 = std::min(u0, -size), u1 = std::max(u1, size), v0 = std::min(v0, -size), v1 = std::max(v1, size);
      continue;
    }
    const Real u = Dot(q, right) * D / ahead, v = Dot(q, up) * D / ahead;
    u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
  }
  const Point3 across = C + ((u0 + u1) / 2) * right;
  const Real halfAcross = (u1 - u0) / 2;
  const auto faceAt = [&](Real h, Real s) { return Rectangle(across + h * up, right, up, A * s, s); };
  const auto works = [&](Real h, Real s) { return scanWorks(faceAt(h, s)); };
  // The heights are ranked on the rough look; the face returned is sized on
  // the whole scan at the height chosen.
  const auto roughlyWorks = [&](Real h, Real s) {
    const Face candidate = faceAt(h, s);
    mirror.AxisTolerance = Distance3(candidate.C1, candidate.C2) / 1000;
    return RoughlyLands(limited, candidate, eye);
  };
  const auto largestAt = [&](Real h, int steps) {
    const Real top = std::min({v1 - h, h - v0, halfAcross / A});
    if (!(top > 0)) return Real(0);
    if (steps == kFineSteps) return LargestWorking(0, top, steps, [&](Real s) { return works(h, s); });
    return LargestWorking(0, top, steps, [&](Real s) { return roughlyWorks(h, s); });
  };

  // A coarse look over the heights of the face's centre across the box as
  // the eye sees it, then the golden-section search between the neighbours of
  // the best (as for the sphere).
  const Real spacing = (v1 - v0) / kHeights;
  Real bestSize = 0;
  const Real bestH = BestHeight(v0, spacing, largestAt, bestSize);
  const Real s = bestSize > 0 ? ChosenScale(bestSize, request, [&](Real t) { return works(bestH, t); },
                                            [&](Real t) { return faceAt(bestH, t); })
                              : 0;
  if (!(s > 0)) {
    // Whether any sight ray at all, through a 25 x 25 grid over the box as the
    // eye sees it, comes down to the sheet off the mirror.
    long down = 0;
    for (int i = 0; i <= 24; ++i) {
      for (int j = 0; j <= 24; ++j) {
        const Point3 p = C + (u0 + (u1 - u0) * i / 24) * right + (v0 + (v1 - v0) * j / 24) * up;
        MissRecord misses;
        Point3 landing;
        if (ReflectRay(mirror, eye, p, landing, misses)) ++down;
      }
    }
    why = down == 0 ? "from this eye the mirror reflects no sight ray down to the sheet (they go up, or miss it)"
                    : nothingWorks;
    return false;
  }
  face = faceAt(bestH, s);
  mirror.AxisTolerance = Distance3(face.C1, face.C2) / 1000;
  return true;
}

}  // namespace anamorfosi
