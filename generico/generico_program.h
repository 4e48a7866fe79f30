// The program generico: the common run with the faceted mirror plugged in.
#pragma once

#include <string>
#include <string_view>

#include "mirrors/faceted_mirror.h"
#include "programs/run.h"

namespace anamorfosi {

inline constexpr std::string_view kLabelMirrorDxf = "Nome file superficie specchio (DXF)   : ";
inline constexpr std::string_view kVerticalAxisLine = "Asse di vista verticale e sull'asse del conoide";
inline constexpr std::string_view kGeneralAxisLine = "Asse di vista generico (non verticale e sull'asse del conoide)";

const Program<FacetedMirror>& GenericoProgram();
// The whole run, compiled once in this library: the mapping it inlines is the
// heaviest code to compile, and every program and test that runs it links it.
extern template int RunAnamorphosis<FacetedMirror>(const Program<FacetedMirror>&, FacetedMirror&, Console&, const RunOptions&);

class MeshError;
// The program's one line for a mirror mesh that cannot be used.
std::string MeshErrorLine(const MeshError& e);

// "Ho caricato N facce dal file NAME".
std::string FacetCountLine(int facetCount, const std::string& fileName);

}  // namespace anamorfosi
