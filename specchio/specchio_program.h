// The program specchio: the common run with the plane mirror plugged in.
#pragma once

#include "plane_mirror.h"
#include "run.h"

const Program<PlaneMirror>& SpecchioProgram();
