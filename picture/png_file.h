// PNG pictures through libpng: every colour type and bit depth in, 8-bit RGB
// or RGBA out, with the physical size of a cell and text entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "picture/picture.h"

// Decodes a whole PNG file held in memory. Palettes, grey and low bit depths
// become RGB, tRNS becomes alpha, 16-bit samples are rounded to 8 bits and
// interlaced files are read whole. name only words the errors. Throws
// PictureError: kTruncated, kBadCrc, kCorrupt, kTooLarge (checked before the
// pixels are allocated).

namespace anamorfosi {
Picture DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name,
                  const PictureLimits& limits = {});

struct PngText {
  std::string Key;    // 1 to 79 printable Latin-1 characters
  std::string Value;  // written as tEXt when plain ASCII, else as UTF-8 iTXt
};

struct PngWriteOptions {
  int CompressionLevel = 6;  // zlib's 0 (none) to 9 (smallest)
  // The row filters libpng may choose from (PNG_FILTER_NONE, _SUB, _UP, _AVG,
  // _PAETH, or'ed); 0: libpng's own choice.
  int Filters = 0;
  // Level 1 and the up filter alone: on a print of 11858 x 11921 cells about
  // a fifth of the time of level 6 with libpng's choice, for a third more bytes.
  static PngWriteOptions Fast();
  double CellSizeMetres = 0; // above 0: a pHYs chunk of 1 / CellSizeMetres cells per metre
  std::vector<PngText> Texts;
};

// Fills row (0 = top) of Width * channels bytes.
using PngRowSource = std::function<void(int row, std::uint8_t* out)>;
// Takes the encoded bytes in order; false stops the writing.
using PngSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Encodes 8-bit RGB (channels 3) or RGBA (channels 4) rows; nothing depends on
// the time or the machine, so the same rows give the same bytes. Throws
// PictureError kWriteFailed when the sink refuses, std::invalid_argument for a
// bad size, level or text key.
void EncodePng(int width, int height, int channels, const PngRowSource& rows, const PngWriteOptions& options,
               const PngSink& sink, const std::string& name);
// The text entries (tEXt, zTXt, iTXt) before the image data of a PNG in
// memory, in file order; empty when there are none or the file is not a PNG.
std::vector<PngText> ReadPngTexts(const std::uint8_t* data, std::size_t size);

// The picture as PNG bytes (RGBA when it has an alpha channel).
std::vector<std::uint8_t> EncodePng(const Picture& picture, const PngWriteOptions& options = {});

}  // namespace anamorfosi
