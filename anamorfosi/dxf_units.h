// The drawing units a DXF file declares in its header ($INSUNITS).
#pragma once

#include <optional>
#include <string>

#include "scene.h"

// Inches (1), millimetres (4) or centimetres (5); nothing when the file declares
// none, another unit, or cannot be read.
std::optional<Units> ReadDxfUnits(const std::string& file);
