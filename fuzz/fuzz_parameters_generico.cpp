// The parameter file of generico.
#include "fuzz_parameters.h"
#include "generico_program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(GenericoProgram(), "generico", data, size);
}
