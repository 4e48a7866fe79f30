// The parameter file of generico.
#include "fuzz/fuzz_parameters.h"
#include "generico/generico_program.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzParameterFile(GenericoProgram(), "generico", data, size);
}
