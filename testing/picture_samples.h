// PNG and JPEG files of every kind the readers take, written straight from
// their samples with libpng, libjpeg-turbo and libexif: the tests' round trips
// and the fuzz seeds. Not used by the programs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture.h"

namespace anamorfosi {

enum class PngColour { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

struct PngSample {
  int Width = 0, Height = 0;
  PngColour Colour = PngColour::kRgb;
  int BitDepth = 8;
  bool Interlaced = false;
  // Width * Height * channels values, each below 2^BitDepth (palette: indices).
  std::vector<std::uint16_t> Samples;
  std::vector<std::array<std::uint8_t, 3>> Palette;
  std::vector<std::uint8_t> PaletteAlpha;  // tRNS of a palette: alpha of its first entries
  bool HasKeyColour = false;               // tRNS of grey (first value) or RGB: this colour is transparent
  std::array<std::uint16_t, 3> KeyColour{};
};
std::vector<std::uint8_t> WritePngSample(const PngSample& sample);

struct JpegSample {
  int Quality = 100;
  bool Progressive = false;
  bool Subsampled = false;   // chroma at half resolution, as cameras write; else full
  bool Grey = false;         // one component, from the red samples
  bool Cmyk = false;         // four components, the inks that give the picture's colours
  bool AdobeMarker = true;   // with Cmyk: the Adobe marker and its inverted inks
  int Orientation = 0;       // 1 to 8: an EXIF block with this Orientation tag
  bool BigEndianExif = false;
};
// The picture as stored in the file: the Orientation tag does not turn it.
std::vector<std::uint8_t> WriteJpegSample(const Picture& stored, const JpegSample& sample);

// Each pixel of the picture as a block of scale x scale pixels, so that JPEG
// keeps every colour nearly exactly.
Picture Blocks(const Picture& picture, int scale);

}  // namespace anamorfosi
