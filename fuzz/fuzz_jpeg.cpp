// The JPEG decoder: a picture it accepts is whole, opaque, within the limits
// and no larger than its file can code (a bound of pixels a byte);
// anything else is a PictureError of its own kinds, never another exception or
// a crash; no decoding allocates more than the limits can need. The EXIF reader
// never answers an orientation outside 1 to 8.
#include <cstring>
#include <optional>
#include <random>
#include <utility>

#include "fuzz/fuzz_picture_support.h"
#include "fuzz/fuzz_support.h"
#include "picture/jpeg_file.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "testing/picture_samples.h"

using namespace anamorfosi;

namespace {


void CheckAllocations(const AllocationWatch& watch) {
  if (watch.Largest() <= kMostAllocation) return;
  std::fprintf(stderr, "one allocation of %zu bytes while decoding\n", watch.Largest());
  FUZZ_CHECK(watch.Largest() <= kMostAllocation);
}

void CheckOrientation(const std::uint8_t* data, std::size_t size) {
  const int v = ExifOrientation(data, size);
  FUZZ_CHECK(v >= 1 && v <= 8);
  CountFeature(FeatureHash(0x400, static_cast<std::uint32_t>(v)));
}

// Every "Exif\0\0" in the input as the start of an APP1 block, to the end of
// the input and to the length its marker declares, as the decoder would pass it.
void CheckExifBlocks(const std::uint8_t* data, std::size_t size) {
  CheckOrientation(data, size);
  int found = 0;
  for (std::size_t i = 0; i + 6 <= size && found < 4; ++i) {
    if (std::memcmp(data + i, "Exif\0\0", 6) != 0) continue;
    ++found;
    CheckOrientation(data + i, size - i);
    if (i >= 2) {
      const std::size_t declared = static_cast<std::size_t>(data[i - 2]) << 8 | data[i - 1];
      if (declared >= 2 && declared - 2 <= size - i) CheckOrientation(data + i, declared - 2);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallAllocationWatch();
  return 0;
}

// libFuzzer's own mutations, and now and then a new JPEG of every kind the
// sample writer makes, a side or both on the edges of the limits: the entropy-
// coded data of so wide a picture is more than mutations ever write.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned seed) {
  std::minstd_rand random(seed);
  if (random() % 32 != 0) return LLVMFuzzerMutate(data, size, maxSize);
  static constexpr int kSides[] = {1, 2, 7, 8, 9, 15, 16, 17, 4095, 4096, 4097, 8192};
  auto side = [&] { return kSides[random() % (sizeof kSides / sizeof kSides[0])]; };
  Picture stored;
  stored.Width = side();
  stored.Height = random() % 2 ? side() : 1 + static_cast<int>(random() % 16);
  if (random() % 2) std::swap(stored.Width, stored.Height);
  if (static_cast<long long>(stored.Width) * stored.Height > 300'000) stored.Height = 1;
  stored.Rgb.resize(static_cast<std::size_t>(stored.Width) * stored.Height * 3);
  for (std::size_t i = 0; i < stored.Rgb.size(); ++i) stored.Rgb[i] = static_cast<std::uint8_t>(i / 3 % 7 * 40 + i % 3);
  JpegSample sample;
  sample.Quality = 10 + static_cast<int>(random() % 91);
  sample.Progressive = random() % 2;
  sample.Subsampled = random() % 2;
  sample.Grey = random() % 4 == 0;
  sample.Cmyk = !sample.Grey && random() % 4 == 0;
  sample.AdobeMarker = random() % 2;
  sample.Orientation = static_cast<int>(random() % 9);
  sample.BigEndianExif = random() % 2;
  const std::vector<std::uint8_t> file = WriteJpegSample(stored, sample);
  if (file.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, file.data(), file.size());
  return file.size();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    const AllocationWatch watch;
    CheckExifBlocks(data, size);
    CheckAllocations(watch);
  }
  CountJpegMarkers(0x100, data, size);
  const PictureLimits limits = FuzzLimits();
  Picture picture;
  std::optional<AllocationWatch> watch(std::in_place);
  try {
    picture = DecodeJpeg(data, size, "fuzz.jpg", limits);
  } catch (const PictureError& e) {
    CheckAllocations(*watch);
    CountRefusal(0x200, e);
    FUZZ_CHECK(e.Format == PictureFormat::kJpeg);
    FUZZ_CHECK(e.Problem == PictureProblem::kTruncated || e.Problem == PictureProblem::kCorrupt ||
               e.Problem == PictureProblem::kTooLarge);
    // A size refused as too large must really be over the limits.
    if (e.Problem == PictureProblem::kTooLarge) FUZZ_CHECK(!Fits(e.Width, e.Height, limits));
    return 0;
  }
  CheckAllocations(*watch);
  watch.reset();
  FUZZ_CHECK(Fits(picture.Width, picture.Height, limits));
  FUZZ_CHECK(static_cast<unsigned long long>(picture.Width) * static_cast<unsigned long long>(picture.Height) <=
             size * kJpegMostPixelsPerCodedByte);
  FUZZ_CHECK(picture.Rgb.size() == static_cast<std::size_t>(picture.Width) * picture.Height * 3);
  FUZZ_CHECK(picture.Alpha.empty());
  CountPicture(0x300, picture);
  // The sniffing front door gives the same picture for a JPEG signature.
  if (SniffPictureFormat(data, size) == PictureFormat::kJpeg) {
    const Picture front = DecodePicture(data, size, "fuzz.jpg", limits);
    FUZZ_CHECK(front.Width == picture.Width && front.Height == picture.Height);
    FUZZ_CHECK(front.Rgb == picture.Rgb);
  }
  return 0;
}
