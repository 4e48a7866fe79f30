// Pictures in memory, whatever file they came from: 8-bit RGB samples with an
// optional alpha channel, and what the first bytes of a file say it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace anamorfosi {

struct Picture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;    // Width * Height * 3, rows from the top, each from the left
  std::vector<std::uint8_t> Alpha;  // Width * Height, or empty for an opaque picture
};

// The picture a run maps, its samples already brought to 0..MaxValue with
// MaxValue at most 255: a PPM value above the file's maximum is clamped to it,
// and a file maximum above 255 is scaled to 0..255. Besides the pixels it keeps
// what of its header goes to the programs' P3 output.
struct InputPicture : Picture {
  int MaxValue = 255;         // the maximum written to the output
  bool HasComment = false;    // the header had a comment line
  std::string Comment;        // the first comment line as it stands ('#' included), at most 72 characters
};

// A pixel whose alpha is below half is left out of the mapping altogether.
inline constexpr std::uint8_t kMappedAlpha = 128;
inline bool IsMapped(const Picture& picture, std::size_t pixel) {
  return picture.Alpha.empty() || picture.Alpha[pixel] >= kMappedAlpha;
}

// Blends every pixel with its alpha onto white, rounded to the nearest level;
// the alpha channel stays, so IsMapped still tells which pixels to leave out.
void CompositeOntoWhite(Picture& picture);

// The EXIF orientations 1 to 8: how the stored rows must be turned and flipped
// to stand upright. Any other value leaves the picture as it is.
Picture Orient(const Picture& picture, int orientation);

// Sizes above these are refused before anything is allocated for the pixels.
struct PictureLimits {
  long long MaxPixels = 100'000'000;
  int MaxSide = 65535;
};
bool WithinLimits(long long width, long long height, const PictureLimits& limits);

// The picture made smaller so that its longer side is at most maxSide pixels
// (a copy when it already is), its aspect kept to the nearest pixel. Each new
// pixel is the mean of the old ones it covers, weighted by how much of each it
// covers; alpha, when there is one, is averaged the same way.
Picture Reduced(const Picture& picture, int maxSide);

// The picture made across times narrower and down times lower
// (ceil(Width / across) x ceil(Height / down); a copy for 1 and 1), each new
// pixel the mean of the old ones it covers, by stb_image_resize's box filter;
// alpha, when there is one, is averaged on its own, so a picture blended onto
// white stays so.
Picture Shrunk(const Picture& picture, int across, int down);

// How many times smaller a picture is read along its rows and down its columns.
struct PictureFactors {
  int Across = 1, Down = 1;
};

// A picture read smaller than its file: Choose is told the picture's upright
// size once the file has given it and answers by how many times to divide
// each side ({1, 1}: the whole picture; {0, 0}: only the size is wanted, the
// picture comes back empty where the format allows it). The reader fills in
// what it did.
struct PictureReduction {
  std::function<PictureFactors(int width, int height)> Choose;
  PictureFactors Wanted;              // what Choose answered
  int Done = 1;                       // the part of it, on both sides, the decoder applied (JPEG: 1, 2, 4 or 8)
  int FullWidth = 0, FullHeight = 0;  // the upright size of the picture in the file
};

enum class PictureFormat { kUnknown, kPpm, kPng, kJpeg, kGif, kBmp, kTiff, kWebp, kHeif };

// The format the first bytes of a file announce (16 bytes are enough).
PictureFormat SniffPictureFormat(const std::uint8_t* data, std::size_t size);
const char* FormatName(PictureFormat format);

}  // namespace anamorfosi
