// The parameter file of cilindro.
#include "fuzz_parameters.h"
#include "cilindro_program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(CilindroProgram(), "cilindro", data, size);
}
