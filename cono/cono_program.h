// The program cono: the common run with the conical mirror plugged in.
#pragma once

#include <string>
#include <vector>

#include "axial.h"
#include "cone.h"
#include "run.h"

const Program<ConeMirror>& ConoProgram();

// The two lines that place the cone on the output picture, in whole cells.
std::vector<std::string> ConeReportLines(const AxialPlacement& placement);

// Stops the run (RunStopped) for a cone without radius or without height
// above the sheet: no ray could be traced on it.
void CheckConeDimensions(const ConeMirror& cone);
