// The program cono: the common run with the conical mirror plugged in.
#pragma once

#include <string>
#include <vector>

#include "mirrors/axial.h"
#include "mirrors/cone.h"
#include "programs/run.h"

namespace anamorfosi {

const Program<ConeMirror>& ConoProgram();
// The whole run, compiled once in this library: the mapping it inlines is the
// heaviest code to compile, and every program and test that runs it links it.
extern template int RunAnamorphosis<ConeMirror>(const Program<ConeMirror>&, ConeMirror&, Console&, const RunOptions&);

// The two lines that place the cone on the output picture, in whole cells.
std::vector<std::string> ConeReportLines(const AxialPlacement& placement);

// Stops the run (RunStopped) for a cone without radius or without height
// above the sheet: no ray could be traced on it.
void CheckConeDimensions(const ConeMirror& cone);

}  // namespace anamorfosi
