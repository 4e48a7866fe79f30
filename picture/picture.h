// Pictures in memory, whatever file they came from: 8-bit RGB samples with an
// optional alpha channel, and what the first bytes of a file say it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Picture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;    // Width * Height * 3, rows from the top, each from the left
  std::vector<std::uint8_t> Alpha;  // Width * Height, or empty for an opaque picture
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

enum class PictureFormat { kUnknown, kPpm, kPng, kJpeg, kGif, kBmp, kTiff, kWebp, kHeif };

// The format the first bytes of a file announce (16 bytes are enough).
PictureFormat SniffPictureFormat(const std::uint8_t* data, std::size_t size);
const char* FormatName(PictureFormat format);
