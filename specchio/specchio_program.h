// The program specchio: the common run with the plane mirror plugged in.
#pragma once

#include <string>

#include "mirrors/plane_mirror.h"
#include "programs/console.h"
#include "programs/run.h"

namespace anamorfosi {

const Program<PlaneMirror>& SpecchioProgram();
// The whole run, compiled once in this library: the mapping it inlines is the
// heaviest code to compile, and every program and test that runs it links it.
extern template int RunAnamorphosis<PlaneMirror>(const Program<PlaneMirror>&, PlaneMirror&, Console&, const RunOptions&);

// Scans the mirror file like the picture face: the plane of the last 3DFACE
// counts. Prints "Attenzione: faccia specchio non piana. Uso i primi tre punti"
// for every face whose fourth corner lies more than 0.001 off the plane of the
// first three.
void ReadMirrorFaceDxf(const std::string& fileName, PlaneMirror& mirror, Console& console);

}  // namespace anamorfosi
