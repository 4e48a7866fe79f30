// The picture a print is made of, as the pipeline is given it: the front end
// decides where it comes from (a file, bytes sent by a page, a grid drawn for
// it) and decodes it; the pipeline only asks for it, once, and says how much
// smaller it may be read.
#pragma once

#include <utility>

#include "picture/picture.h"

namespace anamorfosi {

class PictureSource {
 public:
  virtual ~PictureSource() = default;
  // The picture's upright width and height, from as little of it as its
  // format allows. Throws PrintError.
  virtual std::pair<int, int> UprightSize() = 0;
  // The picture, upright, blended onto white where it is partly transparent;
  // with a reduction, read as much smaller as its Choose answers, the reader
  // filling in what it did (PictureReduction). Throws PrintError.
  virtual InputPicture Read(PictureReduction* reduction) = 0;
};

// A picture already decoded: a reduction is made by Shrunk on the whole
// picture, as the PPM reader's is.
class MemoryPicture final : public PictureSource {
 public:
  explicit MemoryPicture(InputPicture picture) : picture_(std::move(picture)) {}
  std::pair<int, int> UprightSize() override { return {picture_.Width, picture_.Height}; }
  InputPicture Read(PictureReduction* reduction) override;

 private:
  InputPicture picture_;
};

}  // namespace anamorfosi
