// The picture reader: a picture it accepts is whole and within its maximum;
// anything else is a runtime report or an Italian message, never a crash.
#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "formats/ppm.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput("ppm", data, size);
  try {
    const InputPicture picture = ReadPicture(name);
    FUZZ_CHECK(picture.Width >= 1 && picture.Height >= 1);
    FUZZ_CHECK(picture.MaxValue >= 1 && picture.MaxValue <= 255);
    FUZZ_CHECK(picture.Rgb.size() == static_cast<std::size_t>(picture.Width) * picture.Height * 3);
    for (std::uint8_t v : picture.Rgb) FUZZ_CHECK(v <= picture.MaxValue);
    FUZZ_CHECK(picture.Comment.size() <= 72);
    FUZZ_CHECK(picture.HasComment || picture.Comment.empty());
  } catch (const RuntimeFailure&) {
  } catch (const RunStopped&) {
  }
  return 0;
}
