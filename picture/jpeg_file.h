// JPEG pictures through libjpeg-turbo: baseline, progressive, greyscale and
// CMYK files, turned upright by their EXIF orientation as photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture.h"

// Decodes a whole JPEG file held in memory into 8-bit RGB, upright. name only
// words the errors. Throws PictureError: kTruncated (the data ends before the
// picture), kCorrupt, kTooLarge (checked before the pixels are allocated).
Picture DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                   const PictureLimits& limits = {});

// The Orientation tag (1 to 8) of an APP1 EXIF block ("Exif\0\0" and its TIFF
// data), read with libexif; 1 when there is none or it is not valid.
int ExifOrientation(const std::uint8_t* app1, std::size_t size);
