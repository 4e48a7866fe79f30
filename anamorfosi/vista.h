// The view from the eye of a scene: the picture as the mirror restores it from
// the print, and its fidelity score.
#pragma once

#include <optional>
#include <string>

#include "print.h"
#include "restore.h"
#include "scene.h"

struct VistaResult {
  Picture Restored;
  Fidelity Score;
};

// A print file on the sheet: its cells, and where they lie when the file says
// (a PNG of this command carries its scene and window).
struct SheetFile {
  Picture Cells;
  std::optional<OutputWindow> Window;
};
SheetFile ReadSheetFile(const std::string& file);

// Restores the scene's picture from its own print (made), or from a print
// file laid where the file says, or else over the scene's window (then it must
// have the window's size); sub x sub sight rays a pixel. Throws PrintError.
VistaResult RestoreScene(const Scene& scene, const Print& made, const SheetFile* file, int sub);
