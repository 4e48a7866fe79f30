// The program specchio: the common run with the plane mirror plugged in.
#pragma once

#include "mirrors/plane_mirror.h"
#include "programs/run.h"

namespace anamorfosi {

const Program<PlaneMirror>& SpecchioProgram();

}  // namespace anamorfosi
