#include "formats/input_picture.h"

#include <sys/stat.h>

#include "core/errors.h"
#include "picture/picture_file.h"

namespace anamorfosi {

namespace {

std::string LimitText() {
  const PictureLimits limits;
  return "oltre il limite di " + std::to_string(limits.MaxSide) + " pixel per lato e " +
         std::to_string(limits.MaxPixels / 1000000) + " milioni di pixel";
}

}  // namespace

std::string PictureMessage(const PictureError& e) {
  const std::string format = FormatName(e.Format);
  std::string what;
  switch (e.Problem) {
    case PictureProblem::kEmpty: what = "e' vuoto"; break;
    case PictureProblem::kFileTooLarge: what = "e' troppo grande per un'immagine (" + LimitText() + ")"; break;
    case PictureProblem::kUnsupported:
      what = "e' un'immagine " + format + ": formato non letto (usare PPM, PNG o JPEG)";
      break;
    case PictureProblem::kUnknown: what = "non e' un'immagine PPM (P3 o P6), PNG o JPEG"; break;
    case PictureProblem::kTruncated: what = "e' un'immagine " + format + " troncata: i dati finiscono prima del previsto"; break;
    case PictureProblem::kBadCrc: what = "e' un'immagine PNG danneggiata: CRC errato nel blocco " + e.Detail; break;
    case PictureProblem::kCorrupt: what = "e' un'immagine " + format + " danneggiata (" + e.Detail + ")"; break;
    case PictureProblem::kTooLarge:
      what = "dichiara un'immagine " + format + " di " + e.Detail + " pixel, " + LimitText();
      break;
    case PictureProblem::kCannotOpen:
    case PictureProblem::kReadFailed:
    case PictureProblem::kWriteFailed: what = "non puo' essere letto"; break;
  }
  return "Errore: il file " + e.File + " " + what;
}

InputPicture ReadAnyPicture(const std::string& fileName, PictureReduction* reduction, const PictureLimits* ppmLimits) {
  // Only a regular file is looked at first: a pipe would lose what was read.
  struct stat st {};
  const bool regular = ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  const PictureFormat format = regular ? SniffPictureFile(fileName) : PictureFormat::kPpm;
  if (format == PictureFormat::kPpm) {
    InputPicture input = ReadPicture(fileName, ppmLimits);
    if (reduction == nullptr) return input;
    reduction->FullWidth = input.Width;
    reduction->FullHeight = input.Height;
    reduction->Wanted = reduction->Choose ? reduction->Choose(input.Width, input.Height) : PictureFactors{};
    reduction->Done = 1;
    const PictureFactors f = reduction->Wanted;
    if (f.Across >= 1 && f.Down >= 1 && (f.Across > 1 || f.Down > 1))
      static_cast<Picture&>(input) = Shrunk(input, f.Across, f.Down);
    return input;
  }
  InputPicture input;
  static_cast<Picture&>(input) = ReadPictureFile(fileName, PictureLimits{}, reduction);
  CompositeOntoWhite(input);
  // What the decoder left of the reduction, on the picture as seen on white.
  if (reduction != nullptr && reduction->Wanted.Across >= 1 && reduction->Wanted.Down >= 1 && input.Width > 0) {
    const int across = reduction->Wanted.Across / reduction->Done, down = reduction->Wanted.Down / reduction->Done;
    if (across > 1 || down > 1) static_cast<Picture&>(input) = Shrunk(input, across, down);
  }
  input.MaxValue = 255;
  input.HasComment = true;
  input.Comment = std::string("# convertita da ") + FormatName(format);
  return input;
}

InputPicture ReadInputPicture(const std::string& fileName) {
  try {
    return ReadAnyPicture(fileName);
  } catch (const PictureError& e) {
    if (e.Problem == PictureProblem::kCannotOpen) throw RuntimeFailure(RuntimeCodeFromErrno(e.Errno), fileName);
    if (e.Problem == PictureProblem::kReadFailed) throw RuntimeFailure(kDiskReadError, fileName);
    throw RunStopped(PictureMessage(e));
  }
}

}  // namespace anamorfosi
