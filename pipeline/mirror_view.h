// A mirror as the view draws it: each kind's view type (in its entry's file,
// pipeline/kinds/) holds the program's own model with the bounds a real mirror
// has (a cylinder's height, a plane mirror's face), and answers, found by
// argument-dependent lookup:
//
//   SightHit MeetMirror(const V&, Point3 eye, Point3 d, Point3& hit);
//     the first mirror point along the half-line eye + t d (d a unit vector,
//     t > 0) at or above the sheet; kNothing when the ray goes by;
//   bool MeetsAgain(const V&, Point3 hit, Point3 landing);
//     true when the ray reflected at hit toward landing meets the mirror again
//     before the sheet (only a concave mirror can);
//   std::vector<Point3> OutlinePoints(const V&);
//     points the view's frame must hold to show the whole mirror;
//   const M& ModelOf(const V&);
//     the model that reflects the sight rays.
//
// RenderView (view.h) is compiled for each view type, so that no call per ray
// goes through a pointer.
#pragma once

#include <concepts>
#include <vector>

#include "core/geometry.h"
#include "core/mirror.h"

// What a sight ray meets first, before the sheet.

namespace anamorfosi {
enum class SightHit { kNothing, kMirror, kMirrorTop };

template <class V>
concept MirrorView = requires(const V& view, Point3 p, Point3& hit, MissRecord& misses) {
  { MeetMirror(view, p, p, hit) } -> std::same_as<SightHit>;
  { MeetsAgain(view, p, p) } -> std::same_as<bool>;
  { OutlinePoints(view) } -> std::same_as<std::vector<Point3>>;
  { ReflectRay(ModelOf(view), p, p, hit, misses) } -> std::same_as<bool>;
};

// Adds the points of a horizontal circle of radius r round (x, y) at height z
// to an outline, 24 of them.
void AddOutlineCircle(std::vector<Point3>& points, Real x, Real y, Real r, Real z);

}  // namespace anamorfosi
