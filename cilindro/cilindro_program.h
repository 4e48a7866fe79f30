// The program cilindro: the common run with the vertical cylinder plugged in.
#pragma once

#include <string>

#include "mirrors/axial.h"
#include "mirrors/cylinder.h"
#include "programs/run.h"

namespace anamorfosi {

const Program<Cylinder>& CilindroProgram();
// The whole run, compiled once in this library: the mapping it inlines is the
// heaviest code to compile, and every program and test that runs it links it.
extern template int RunAnamorphosis<Cylinder>(const Program<Cylinder>&, Cylinder&, Console&, const RunOptions&);

// The two lines that tell where the cylinder stands on the output picture, in cells.
std::string AxisCellLine(const AxialPlacement& placement);
std::string RadiusCellLine(const AxialPlacement& placement);

}  // namespace anamorfosi
