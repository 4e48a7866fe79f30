#include "pipeline/picture_source.h"

namespace anamorfosi {

InputPicture MemoryPicture::Read(PictureReduction* reduction) {
  if (reduction == nullptr) return picture_;
  reduction->FullWidth = picture_.Width;
  reduction->FullHeight = picture_.Height;
  reduction->Wanted = reduction->Choose ? reduction->Choose(picture_.Width, picture_.Height) : PictureFactors{};
  reduction->Done = 1;
  const PictureFactors f = reduction->Wanted;
  // {0, 0} asks for the size alone; {1, 1} for the whole picture.
  if (f.Across < 1 || f.Down < 1 || (f.Across == 1 && f.Down == 1)) return picture_;
  InputPicture smaller;
  static_cast<Picture&>(smaller) = Shrunk(picture_, f.Across, f.Down);
  smaller.MaxValue = picture_.MaxValue;
  smaller.HasComment = picture_.HasComment;
  smaller.Comment = picture_.Comment;
  return smaller;
}

}  // namespace anamorfosi
