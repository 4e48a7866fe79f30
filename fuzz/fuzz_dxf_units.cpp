// The $INSUNITS reader of the anamorfosi command: any file gives one of the
// three units or none, without a crash.
#include "dxf_units.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<Units> units = ReadDxfUnits(WriteFuzzInput("dxf_units", data, size));
  if (units) FUZZ_CHECK(MillimetresPerUnit(*units) > 0);
  return 0;
}
