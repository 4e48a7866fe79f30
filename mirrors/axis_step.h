// The axis step a mirror model asks of the mapping: a mirror that sends some
// sight rays down a vertical axis (the cone's axial ray, generico's vertical
// mode) has the pixels whose image would wrap round that axis left out.
#pragma once

#include "core/geometry.h"

namespace anamorfosi {

struct AxisStep {
  bool Exclusion = false;  // false: no pixel is left out for the axis
  Real FootX = 0, FootY = 0;  // where the axis meets the sheet
  // Face points within this of the eye in x and in y go down the axis.
  Real Tolerance = 0;
};

}  // namespace anamorfosi
