#include "pipeline/mirror_view.h"

#include <cmath>

namespace anamorfosi {

namespace {

constexpr int kOutlineSteps = 24;
constexpr Real kTurn = 6.28318530717958647692_r;

}  // namespace

void AddOutlineCircle(std::vector<Point3>& points, Real x, Real y, Real r, Real z) {
  for (int k = 0; k < kOutlineSteps; ++k) {
    const Real a = kTurn * k / kOutlineSteps;
    points.push_back({x + r * std::cos(a), y + r * std::sin(a), z});
  }
}

}  // namespace anamorfosi
