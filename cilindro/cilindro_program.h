// The program cilindro: the common run with the vertical cylinder plugged in.
#pragma once

#include <string>

#include "mirrors/axial.h"
#include "mirrors/cylinder.h"
#include "programs/run.h"

namespace anamorfosi {

const Program<Cylinder>& CilindroProgram();

// The two lines that tell where the cylinder stands on the output picture, in cells.
std::string AxisCellLine(const AxialPlacement& placement);
std::string RadiusCellLine(const AxialPlacement& placement);

}  // namespace anamorfosi
