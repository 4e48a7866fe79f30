// The parameter file of specchio.
#include "fuzz_parameters.h"
#include "specchio_program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(SpecchioProgram(), "specchio", data, size);
}
