// The input picture of a run, whatever its file: PPM (P3 or P6) through the
// programs' own reader, PNG and JPEG through the picture library.
#pragma once

#include <string>

#include "picture/picture_error.h"
#include "formats/ppm.h"

// Chooses the reader by the file's first bytes, never by its name. A PNG or
// JPEG picture is blended onto white where it is partly transparent (its alpha
// stays, so that pixels below half are not mapped), has the maximum 255 and a
// comment line naming its format. Throws RuntimeFailure when the file cannot
// be opened or read and RunStopped with an Italian message naming the file
// when it is not a picture these programs read.

namespace anamorfosi {
InputPicture ReadInputPicture(const std::string& fileName);

// The same choice and preparation, its refusals left as they come: PpmError
// and RuntimeFailure from the PPM reader, PictureError from the library, for a
// front end that words them itself. With a reduction, the picture is read
// that much smaller (a JPEG partly by its decoder, the rest by Shrunk, after
// the blending onto white); a PPM's samples are the programs' own reading.
// ppmLimits: the limits a PPM is held to as well (PNG and JPEG always are).
InputPicture ReadAnyPicture(const std::string& fileName, PictureReduction* reduction = nullptr,
                            const PictureLimits* ppmLimits = nullptr);

// The Italian console message for a picture the library refused.
std::string PictureMessage(const PictureError& error);

}  // namespace anamorfosi
