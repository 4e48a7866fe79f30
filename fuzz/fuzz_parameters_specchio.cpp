// The parameter file of specchio.
#include "fuzz/fuzz_parameters.h"
#include "specchio/specchio_program.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(SpecchioProgram(), "specchio", data, size);
}
