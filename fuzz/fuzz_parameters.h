// One parameter-file target per program: the program's own reading hook runs
// on the input as its parameter file, echoing into a string console. A file
// it cannot read as parameters ends with a runtime report or an Italian
// message; what it does read is echoed and within the clamps of the run.
#pragma once

#include <sstream>

#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "programs/run.h"

namespace anamorfosi {

template <class Mirror>
int FuzzParameterFile(const Program<Mirror>& program, const char* tag, const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput(tag, data, size);
  std::istringstream in;
  std::ostringstream out;
  Console console{&in, &out};
  RunParameters params;
  Mirror mirror{};
  try {
    TextFile file(name);
    program.ReadParameters(file, console, params, mirror);
    FUZZ_CHECK(params.PictureDxfName.size() <= 80);
    FUZZ_CHECK(params.InputPpmName.size() <= 80);
    FUZZ_CHECK(params.OutputPpmName.size() <= 80);
    FUZZ_CHECK(params.MirrorDxfName.size() <= 80);
    const long accuracy = ClampAccuracy(params.Accuracy);
    FUZZ_CHECK(accuracy >= 1 && accuracy <= kMaxAccuracy);
    FUZZ_CHECK(LimitPixelCount(params.PixelCount) <= kMaxPixelCount);
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
  } catch (const RunStopped&) {
  }
  return 0;
}

}  // namespace anamorfosi
