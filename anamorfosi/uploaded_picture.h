// A picture uploaded to the page, checked by the readers the command uses. It
// runs in a job process of its own (the hidden `anamorfosi take-picture`), so
// that a hostile picture can only take down that job, never the server.
#pragma once

#include <string>

#include "picture/picture.h"

namespace anamorfosi {

struct UploadedPicture {
  int Width = 0, Height = 0;  // the picture's upright size in its file
  bool Reduced = false;       // whether a reduced copy was written
};

// Reads the file at path (PNG, JPEG or PPM by its first bytes) and, for a
// picture whose longer side is above quickSide, writes its copy reduced to
// quickSide at quickPath. Throws std::runtime_error with the reason in words
// for the page ("the picture cannot be read: ...").
UploadedPicture TakeUploadedPicture(const std::string& path, const std::string& quickPath, int quickSide,
                                    const PictureLimits& limits = {});

}  // namespace anamorfosi
