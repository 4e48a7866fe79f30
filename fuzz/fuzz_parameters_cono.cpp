// The parameter file of cono.
#include "fuzz_parameters.h"
#include "cono_program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(ConoProgram(), "cono", data, size);
}
