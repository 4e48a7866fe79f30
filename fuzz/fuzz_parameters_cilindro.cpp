// The parameter file of cilindro.
#include "fuzz/fuzz_parameters.h"
#include "cilindro/cilindro_program.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(CilindroProgram(), "cilindro", data, size);
}
