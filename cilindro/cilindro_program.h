// The program cilindro: the common run with the vertical cylinder plugged in.
#pragma once

#include <string>

#include "axial.h"
#include "cylinder.h"
#include "run.h"

const Program<Cylinder>& CilindroProgram();

// The two lines that tell where the cylinder stands on the output picture, in cells.
std::string AxisCellLine(const AxialPlacement& placement);
std::string RadiusCellLine(const AxialPlacement& placement);
