// Picture files on disk: reading a PNG or JPEG chosen by its first bytes, and
// writing a PNG so that a failed write never leaves a partial file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "picture/png_file.h"

// The whole of a file. Throws PictureError: kCannotOpen (a folder too),
// kReadFailed, kFileTooLarge beyond maxBytes.

namespace anamorfosi {
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The most bytes a PNG or JPEG file within the limits can sensibly take:
// eight bytes a pixel (16-bit RGBA stored uncompressed) and room for metadata.
std::size_t MostPictureFileBytes(const PictureLimits& limits);

// Decodes a PNG or JPEG held in memory, chosen by its first bytes; any other
// content throws PictureError kEmpty, kUnsupported (a known format, PPM
// included: its reader is the programs' own) or kUnknown.
// With a reduction, a JPEG is decoded smaller (see DecodeJpeg); a PNG is
// decoded whole, and the rest of the reduction (Wanted / Done) is the caller's.
Picture DecodePicture(const std::uint8_t* data, std::size_t size, const std::string& name,
                      const PictureLimits& limits = {}, PictureReduction* reduction = nullptr);
// The same, for a file.
Picture ReadPictureFile(const std::string& path, const PictureLimits& limits = {},
                        PictureReduction* reduction = nullptr);

// The format a file's first bytes announce; kUnknown when it cannot be read.
PictureFormat SniffPictureFile(const std::string& path);

// Writes the picture as PNG under a temporary name beside path and renames it
// into place once complete; on any failure nothing is left behind and an
// existing file of that name is untouched. Throws PictureError kWriteFailed.
void WritePngFile(const std::string& path, const Picture& picture, const PngWriteOptions& options = {});

}  // namespace anamorfosi
