// The $INSUNITS reader of the anamorfosi command: any file gives a unit of
// length, none, or a value it names, without a crash.
#include <cmath>

#include "pipeline/dxf_units.h"
#include "fuzz/fuzz_support.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DxfUnits units = ReadDxfUnits(WriteFuzzInput("dxf_units", data, size));
  if (units.State == DxfUnits::Status::kUnit) {
    const double mm = MillimetresPerUnit(units.Unit);
    FUZZ_CHECK(mm > 0 && std::isfinite(mm));
    FUZZ_CHECK(ParseUnits(UnitsName(units.Unit)) == units.Unit);
  }
  if (units.State != DxfUnits::Status::kUnknown) FUZZ_CHECK(units.Value.empty());
  return 0;
}
