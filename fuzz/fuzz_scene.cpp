// The scene file reader of the anamorfosi command: a scene it accepts holds
// values in their ranges and writes back to a file that reads as the same
// scene; anything else is refused with a runtime_error naming the file.
#include <cmath>
#include <stdexcept>

#include "fuzz/fuzz_support.h"
#include "pipeline/scene.h"

using namespace anamorfosi;

namespace {
bool Finite(Point3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput("scene", data, size);
  Scene s;
  try {
    s = ReadSceneFile(name);
  } catch (const std::runtime_error&) {
    return 0;
  }
  FUZZ_CHECK(s.Accuracy >= 1 && s.Accuracy <= 20);
  FUZZ_CHECK(s.Antialias >= 1 && s.Antialias <= 8);
  FUZZ_CHECK(s.Pixels >= 1 || s.Dpi > 0);
  FUZZ_CHECK(Finite(s.Eye));
  for (const Point3& p : {s.PictureFace.C1, s.PictureFace.C2, s.PictureFace.C3, s.PictureFace.C4}) FUZZ_CHECK(Finite(p));
  if (s.Window) FUZZ_CHECK(s.Window->Width >= 1 && s.Window->Height >= 1);
  // Written again beside it and read back: the same text once more.
  const std::string folder = name.substr(0, name.find_last_of('/'));
  const std::string text = SceneToJson(s, folder);
  const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::string& again = WriteFuzzInput("scene_again", bytes, text.size());
  const Scene r = ReadSceneFile(again);
  FUZZ_CHECK(SceneToJson(r, folder) == text);
  return 0;
}
