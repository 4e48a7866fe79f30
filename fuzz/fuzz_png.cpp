// The PNG decoder: a picture it accepts is whole, within the limits, and comes
// back the same through our encoder; anything else is a PictureError of its own
// kinds, never another exception or a crash; and no decoding allocates more
// than the limits can need, whatever sizes the file declares.
#include <optional>

#include "fuzz/fuzz_picture_support.h"
#include "fuzz/fuzz_support.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "picture/png_file.h"

using namespace anamorfosi;

namespace {


void CheckPicture(const Picture& p, const PictureLimits& limits) {
  FUZZ_CHECK(Fits(p.Width, p.Height, limits));
  const std::size_t n = static_cast<std::size_t>(p.Width) * p.Height;
  FUZZ_CHECK(p.Rgb.size() == n * 3);
  FUZZ_CHECK(p.Alpha.empty() || p.Alpha.size() == n);
}

void CheckRefusal(const PictureError& e, const PictureLimits& limits) {
  FUZZ_CHECK(e.Format == PictureFormat::kPng);
  FUZZ_CHECK(e.Problem == PictureProblem::kTruncated || e.Problem == PictureProblem::kBadCrc ||
             e.Problem == PictureProblem::kCorrupt || e.Problem == PictureProblem::kTooLarge);
  // A size refused as too large must really be over the limits.
  if (e.Problem == PictureProblem::kTooLarge) FUZZ_CHECK(!Fits(e.Width, e.Height, limits));
  if (e.Problem == PictureProblem::kBadCrc) FUZZ_CHECK(!e.Detail.empty());
}

struct Outcome {
  std::optional<Picture> picture;
  std::optional<PictureError> refusal;
};

template <typename Decoder>
Outcome Decode(Decoder decode) {
  Outcome out;
  AllocationWatch watch;
  try {
    out.picture = decode();
  } catch (const PictureError& e) {
    out.refusal = e;
  }
  if (watch.Largest() > kMostAllocation) {
    std::fprintf(stderr, "one allocation of %zu bytes while decoding\n", watch.Largest());
    FUZZ_CHECK(watch.Largest() <= kMostAllocation);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallAllocationWatch();
  return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned seed) {
  // Sides on both edges of the limits, and of the library's own largest side.
  return MutatePictureInput(data, size, maxSize, seed, {1999, 2000, 2001, 4095, 4096, 4097, 8192, 65535, 65536});
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const PictureLimits limits = FuzzLimits();
  CountPngChunks(0x100, data, size);
  // The text entries a print carries (its scene): read without a fault, never empty keys.
  for (const PngText& t : ReadPngTexts(data, size)) FUZZ_CHECK(!t.Key.empty());
  const Outcome png = Decode([&] { return DecodePng(data, size, "fuzz.png", limits); });
  // The sniffing front door decides alike for a file with the signature.
  const bool signature = SniffPictureFormat(data, size) == PictureFormat::kPng;
  const Outcome front =
      signature ? Decode([&] { return DecodePicture(data, size, "fuzz.png", limits); }) : Outcome{};
  if (png.refusal) {
    CountRefusal(0x200, *png.refusal);
    CheckRefusal(*png.refusal, limits);
    if (signature) FUZZ_CHECK(front.refusal && front.refusal->Problem == png.refusal->Problem);
    return 0;
  }
  const Picture& picture = *png.picture;
  CheckPicture(picture, limits);
  CountPicture(0x300, picture);
  // Only a file with the signature decodes at all.
  FUZZ_CHECK(signature && front.picture);
  FUZZ_CHECK(front.picture->Width == picture.Width && front.picture->Height == picture.Height);
  FUZZ_CHECK(front.picture->Rgb == picture.Rgb && front.picture->Alpha == picture.Alpha);

  // What we write of a decoded picture reads back sample for sample.
  const std::vector<std::uint8_t> encoded = EncodePng(picture);
  const Picture again = DecodePng(encoded.data(), encoded.size(), "roundtrip.png", limits);
  FUZZ_CHECK(again.Width == picture.Width && again.Height == picture.Height);
  FUZZ_CHECK(again.Rgb == picture.Rgb);
  FUZZ_CHECK(again.Alpha == picture.Alpha);
  return 0;
}
