// The parameter file of cono.
#include "fuzz/fuzz_parameters.h"
#include "cono/cono_program.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(ConoProgram(), "cono", data, size);
}
