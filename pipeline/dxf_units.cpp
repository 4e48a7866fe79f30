#include "pipeline/dxf_units.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace anamorfosi {

namespace {

// A DXF line without its surrounding blanks and line end.
std::string Trimmed(const std::string& line) {
  const std::size_t a = line.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  const std::size_t b = line.find_last_not_of(" \t\r");
  return line.substr(a, b - a + 1);
}

DxfUnits Unknown(const std::string& value) {
  DxfUnits u;
  u.State = DxfUnits::Status::kUnknown;
  u.Value = value;
  return u;
}

}  // namespace

DxfUnits ReadDxfUnits(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  // The header variable's name, then its group code 70 and the value; the
  // header ends where the entities begin, so the scan stops there.
  while (std::getline(in, line)) {
    const std::string t = Trimmed(line);
    if (t == "ENTITIES") return {};
    if (t != "$INSUNITS") continue;
    std::string code, value;
    if (!std::getline(in, code) || !std::getline(in, value) || Trimmed(code) != "70") return Unknown("");
    const std::string v = Trimmed(value);
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || errno != 0 || *end != '\0') return Unknown(v);
    if (n == 0) return {};
    const std::optional<Units> unit = UnitsOfInsunits(n);
    if (!unit) return Unknown(v);
    DxfUnits u;
    u.State = DxfUnits::Status::kUnit;
    u.Unit = *unit;
    return u;
  }
  return {};
}

}  // namespace anamorfosi
