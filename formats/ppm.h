// PPM pictures: the input picture (plain P3 or binary P6) and the plain P3
// output written from the raster.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "picture/picture.h"
#include "core/raster.h"

namespace anamorfosi {

// What is wrong with a file that is not a PPM picture. The message is the
// programs' Italian one; other front ends word Problem in their own language.
enum class PpmProblem { kNotPpm, kBadWidth, kBadHeight, kBadMaximum, kSampleNotANumber, kIncomplete };
class PpmError : public RunStopped {
 public:
  PpmError(PpmProblem problem, const std::string& file)
      : RunStopped(ItalianText(problem, file)), Problem(problem), File(file) {}
  PpmProblem Problem;
  std::string File;

 private:
  static std::string ItalianText(PpmProblem problem, const std::string& file);
};

// The problem in the command's and the page's English, naming the file.
std::string PpmEnglishText(const PpmError& e);

// The header's first comment line is kept up to this many characters, and
// written back so.
inline constexpr std::size_t kPpmCommentLimit = 72;

// Reads a whole picture in large blocks. Throws RuntimeFailure when it cannot
// be opened (2, 3, 5) or read (100), and RunStopped with an Italian message
// naming the file when it is not a picture: wrong magic, missing or bad width,
// height or maximum, a sample that is not a number, data that ends early.
// With limits (the command's; the programs read any size), a picture
// declaring more pixels than they allow throws PictureError kTooLarge before
// its pixels are read.
InputPicture ReadPicture(const std::string& fileName, const PictureLimits* limits = nullptr);

// The output picture: plain P3, or PNG when its name ends in ".png" (any case).
// Checked when the run starts (a folder that takes a new file, no folder or
// read-only file of its name), so that an impossible output fails early with
// the runtime report; written beside its final name only when its pixels are,
// and the complete file renamed into place. A picture that is never committed
// leaves nothing behind.
class OutputPicture {
 public:
  // Throws RuntimeFailure (2, 3, 5) naming fileName when it cannot be created.
  explicit OutputPicture(std::string fileName);
  ~OutputPicture();
  OutputPicture(const OutputPicture&) = delete;
  OutputPicture& operator=(const OutputPicture&) = delete;

  bool IsPng() const { return png_; }
  // Header: "P3", the input's comment line when it had one, "Width Height",
  // the maximum; each line ends with a single LF. A PNG has none of it.
  void WriteHeader(const InputPicture& input, int width, int height);
  // The pixel part: rows from the top, each from the left; every value is
  // followed by a blank and every 11th pixel by a LF (lines run on across rows);
  // or the cells as an 8-bit RGB PNG. Then the file is closed and renamed into
  // place. Throws RuntimeFailure 101 on a failed write (2, 3, 5 when the
  // folder no longer takes the file).
  void WritePixelsAndCommit(const OutputRaster& raster);

 private:
  void Open();
  void Flush();
  void WritePlainPixels(const OutputRaster& raster);
  void WritePngPixels(const OutputRaster& raster);
  bool png_ = false;
  std::string finalName_;
  std::string tempName_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

}  // namespace anamorfosi
