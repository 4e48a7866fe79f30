// The programs' input picture, whatever the file holds: a picture it accepts is
// whole and, from PNG or JPEG, the library's picture blended onto white with
// the maximum 255 and its comment; a refusal is a runtime report or an Italian
// message naming the file, never another exception or a crash. The programs'
// limits are the library's large defaults, which a few bytes of header reach:
// a PNG or JPEG declaring over 4 million pixels is left to fuzz_png and
// fuzz_jpeg, whose limits are small, so that this target spends its time
// reading files rather than filling buffers.
#include <string>

#include "core/errors.h"
#include "fuzz/fuzz_picture_support.h"
#include "fuzz/fuzz_support.h"
#include "formats/input_picture.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"

using namespace anamorfosi;

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned seed) {
  // Sides on both edges of the library's largest side, and of the 4 million pixels above.
  return MutatePictureInput(data, size, maxSize, seed, {1999, 2000, 2001, 65534, 65535, 65536});
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (DeclaredPixels(data, size) > 4'000'000) return -1;
  const std::string& name = WriteFuzzInput("picture", data, size);
  const PictureFormat format = SniffPictureFormat(data, size);
  const bool library = format == PictureFormat::kPng || format == PictureFormat::kJpeg;
  CountFeature(FeatureHash(0x500, static_cast<std::uint32_t>(format)));
  CountPngChunks(0x100, data, size);
  CountJpegMarkers(0x600, data, size);
  InputPicture picture;
  try {
    picture = ReadInputPicture(name);
  } catch (const RuntimeFailure& e) {
    CountFeature(FeatureHash(0x700, static_cast<std::uint32_t>(e.code())));
    return 0;
  } catch (const RunStopped& e) {
    CountMessage(0x200, 0, e.what());
    // Only the PPM reader and the library refuse, and both name the file.
    FUZZ_CHECK(std::string(e.what()).find(name) != std::string::npos);
    if (library || format == PictureFormat::kUnknown || format == PictureFormat::kPpm) return 0;
    // Any other format the first bytes announce is named as not read.
    FUZZ_CHECK(std::string(e.what()).find(FormatName(format)) != std::string::npos);
    return 0;
  }
  FUZZ_CHECK(picture.Width >= 1 && picture.Height >= 1);
  const std::size_t n = static_cast<std::size_t>(picture.Width) * picture.Height;
  FUZZ_CHECK(picture.Rgb.size() == n * 3);
  FUZZ_CHECK(picture.Alpha.empty() || picture.Alpha.size() == n);
  FUZZ_CHECK(picture.MaxValue >= 1 && picture.MaxValue <= 255);
  for (std::uint8_t v : picture.Rgb) FUZZ_CHECK(v <= picture.MaxValue);
  FUZZ_CHECK(picture.Comment.size() <= 72);
  FUZZ_CHECK(picture.HasComment || picture.Comment.empty());
  CountPicture(0x300, picture);
  if (!library) {
    // Everything else goes to the PPM reader, which knows no transparency.
    FUZZ_CHECK(picture.Alpha.empty());
    return 0;
  }
  FUZZ_CHECK(picture.MaxValue == 255);
  FUZZ_CHECK(picture.HasComment);
  FUZZ_CHECK(picture.Comment == std::string("# convertita da ") + FormatName(format));
  // The same bytes decoded in memory and blended give the same picture.
  Picture expected = DecodePicture(data, size, name);
  CompositeOntoWhite(expected);
  FUZZ_CHECK(expected.Width == picture.Width && expected.Height == picture.Height);
  FUZZ_CHECK(expected.Rgb == picture.Rgb);
  FUZZ_CHECK(expected.Alpha == picture.Alpha);
  return 0;
}
