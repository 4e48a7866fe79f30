// JPEG pictures through libjpeg-turbo: baseline, progressive, greyscale and
// CMYK files, turned upright by their EXIF orientation as photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/picture.h"

// The most pixels a byte of a JPEG's coded data may stand for (see jpeg_file.cpp).

namespace anamorfosi {
constexpr unsigned long long kJpegMostPixelsPerCodedByte = 4096;

// Decodes a whole JPEG file held in memory into 8-bit RGB, upright. name only
// words the errors. Throws PictureError: kTruncated (the data ends before the
// picture), kCorrupt (also a declared size far beyond its coded data, and data
// the decoder found damaged), kTooLarge (checked before the pixels are allocated).
// With a reduction, the picture is decoded smaller by the scaled inverse DCT
// (1/2, 1/4 or 1/8, the largest that divides both factors wanted), or only its size
// is read when nothing is wanted.
Picture DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                   const PictureLimits& limits = {}, PictureReduction* reduction = nullptr);

// The Orientation tag (1 to 8) of an APP1 EXIF block ("Exif\0\0" and its TIFF
// data), read with libexif; 1 when there is none or it is not valid.
int ExifOrientation(const std::uint8_t* app1, std::size_t size);

}  // namespace anamorfosi
