#include "mirrors/cone.h"

namespace anamorfosi {

void SolveQuadratic(Real a, Real b, Real c, Real& t1, Real& t2, GeometryStatus& status) {
  status = 0;
  const Real D = b * b - 4 * a * c;
  // A tangent line, one that cuts by a hair, and a line parallel to a generator
  // (a near 0, one crossing at most) all count as no crossing.
  if (!(D >= 1e-10_r) || std::fabs(a) < 1e-10_r) {
    status = 1;
    return;
  }
  const Real s = std::sqrt(D);
  t1 = (-b + s) / (2 * a);
  t2 = (-b - s) / (2 * a);
}

}  // namespace anamorfosi
