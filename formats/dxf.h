// 3DFACE entities of DXF text files.
//
// A line whose first six characters are "3DFACE" starts a face. The lines after
// it are read as group-code / value pairs up to the next group code 0, and each
// corner coordinate is taken by its code (10-13 x, 20-23 y, 30-33 z) in whatever
// order they come; a missing z is 0 and a missing fourth corner equals the
// third. A face cut short by the end of the file, or lacking x or y of one of
// its first three corners, is not used. Every other line of the file is passed
// over, whatever it holds.
#pragma once

#include <functional>
#include <string>

#include "core/geometry.h"

// Calls onFace for every complete face, in file order; onFace answers false to
// stop the scan (the rest of the file is not read). Throws RuntimeFailure when
// the file cannot be opened (2, 3, 5) or a coordinate or group code is not a
// number (106, with the line).

namespace anamorfosi {
void ScanDxfFaces(const std::string& fileName, const std::function<bool(const Face&)>& onFace);

// The last 3DFACE of the file into face; face is unchanged when the file holds
// none. Answers whether a face was found.
bool ReadFaceDxf(const std::string& fileName, Face& face);

}  // namespace anamorfosi
