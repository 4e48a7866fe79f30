// What the print's PDF shows, from the scene and its print: the cells, the
// mirror's footprint, the eye and the title block, in millimetres from the
// print's top-left corner. Called by the command and by the browser's module.
#pragma once

#include <string>

#include "layout/print_pages.h"
#include "pipeline/print.h"
#include "pipeline/scene.h"

namespace anamorfosi {

// The print's page content; date ("2026-12-08") goes in the title block and the
// metadata. The content points into print (its cells), which must outlive it.
PdfContent PdfContentOf(const Scene& scene, const Print& print, const std::string& sceneJson,
                        const std::string& date);

}  // namespace anamorfosi
