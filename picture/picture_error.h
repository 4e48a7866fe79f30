// What went wrong with a picture file, as values a front end can word in its
// own language: the library itself never prints.
#pragma once

#include <stdexcept>
#include <string>

#include "picture/picture.h"

namespace anamorfosi {

enum class PictureProblem {
  kCannotOpen,   // Errno tells why
  kReadFailed,   // Errno tells why
  kEmpty,        // a file of 0 bytes
  kFileTooLarge, // more bytes than a picture file of the limits can need
  kUnsupported,  // a known format this library does not read (Format)
  kUnknown,      // not a picture format at all
  kTruncated,    // the data ends before the picture does
  kBadCrc,       // a PNG chunk whose checksum does not match (Detail names the chunk)
  kCorrupt,      // anything else the decoder refused (Detail is its message)
  kTooLarge,     // the declared Width x Height is over the limits
  kWriteFailed,  // Errno tells why, 0 when the encoder refused
};

class PictureError : public std::runtime_error {
 public:
  PictureError(PictureProblem problem, std::string file, PictureFormat format, std::string detail = {}, int err = 0)
      : std::runtime_error(Describe(problem, file, format, detail)),
        Problem(problem), File(std::move(file)), Format(format), Detail(std::move(detail)), Errno(err) {}

  PictureProblem Problem;
  std::string File;
  PictureFormat Format;
  std::string Detail;
  int Errno;
  long long Width = 0, Height = 0;  // the declared size, for kTooLarge

 private:
  // An English line for logs and for callers that do not word it themselves.
  static std::string Describe(PictureProblem problem, const std::string& file, PictureFormat format,
                              const std::string& detail);
};

}  // namespace anamorfosi
