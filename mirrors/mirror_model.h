// What a mirror model gives the mapping, and the set of models. A model is a
// value type with two free functions found by argument-dependent lookup:
//
//   bool ReflectRay(const M&, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses);
//     the sight ray from centre through facePoint reflected onto Z = 0 (see mirror.h);
//   AxisStep AxisStepOf(const M&, Point3 eye);
//     whether pixels that wrap round a vertical axis are left out, the axis
//     foot and the tolerance of the axial ray (see axis_step.h).
//
// A model may also say that its reflected points move smoothly with the face
// point everywhere (no edge between facets, no apex), so that the mapping may
// interpolate between traced points where the curve allows it:
//
//   bool SmoothReflection(const M&);   // see ReflectsSmoothly
//
// A new model adds its type to AnyMirrorModel; the scene's mirror is built as
// one of these and visited once, so that the hot loop is compiled for each.
#pragma once

#include <concepts>
#include <variant>

#include "mirrors/axis_step.h"
#include "mirrors/cone.h"
#include "mirrors/cylinder.h"
#include "mirrors/faceted_mirror.h"
#include "core/geometry.h"
#include "core/mirror.h"
#include "mirrors/plane_mirror.h"
#include "mirrors/sphere.h"

namespace anamorfosi {

template <class M>
concept MirrorModel = std::movable<M> && requires(const M& mirror, Point3 p, Point3& result, MissRecord& misses) {
  { ReflectRay(mirror, p, p, result, misses) } -> std::same_as<bool>;
  { AxisStepOf(mirror, p) } -> std::same_as<AxisStep>;
};

// False for a model that does not say.
template <class M>
bool ReflectsSmoothly(const M& mirror) {
  if constexpr (requires { { SmoothReflection(mirror) } -> std::same_as<bool>; })
    return SmoothReflection(mirror);
  else
    return false;
}

using AnyMirrorModel = std::variant<Cylinder, ConeMirror, PlaneMirror, FacetedMirror, SphereMirror>;

template <class... M>
constexpr bool EveryMirrorModel(std::variant<M...>*) {
  return (MirrorModel<M> && ...);
}
static_assert(EveryMirrorModel(static_cast<AnyMirrorModel*>(nullptr)), "a type of AnyMirrorModel is no mirror model");
static_assert(MirrorModel<Cylinder> && MirrorModel<ConeMirror> && MirrorModel<PlaneMirror> &&
              MirrorModel<FacetedMirror> && MirrorModel<SphereMirror>);

}  // namespace anamorfosi
