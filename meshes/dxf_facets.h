// A mirror of triangles from the 3DFACEs of a DXF file: the one reader of a
// DXF mirror, for the command's mirror files and for the page's module, which
// holds no other mesh reader.
#pragma once

#include <string>

#include "mirrors/facets.h"

namespace anamorfosi {

// Fills set from the 3DFACEs of a DXF file (replacing what it held), scaled
// from options.DxfUnitMm into options.DrawingUnitMm; the file is read no
// further once the table is full. Throws RuntimeFailure as the DXF reader does.
void LoadDxfFacets(const std::string& file, FacetSet& set, const FacetLoadOptions& options);

}  // namespace anamorfosi
