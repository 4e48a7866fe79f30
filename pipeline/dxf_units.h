// The drawing unit a DXF file states in its header ($INSUNITS).
#pragma once

#include <string>

#include "pipeline/scene.h"

namespace anamorfosi {

struct DxfUnits {
  enum class Status {
    kNone,     // no $INSUNITS before the entities, 0 (unitless), or a file that cannot be read
    kUnit,     // a unit of length: Unit
    kUnknown,  // a code that is no unit of length, or no whole number: Value as written
  };
  Status State = Status::kNone;
  Units Unit = Units::kMillimetres;
  std::string Value;
};

// Every length the $INSUNITS table defines (1 to 24) is a unit.
DxfUnits ReadDxfUnits(const std::string& file);

}  // namespace anamorfosi
