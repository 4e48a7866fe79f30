#include "dxf_units.h"

#include <fstream>

namespace {

// A DXF line without its surrounding blanks and line end.
std::string Trimmed(const std::string& line) {
  const std::size_t a = line.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  const std::size_t b = line.find_last_not_of(" \t\r");
  return line.substr(a, b - a + 1);
}

}  // namespace

std::optional<Units> ReadDxfUnits(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  // The header variable's name, then its group code 70 and the value; the
  // header ends where the entities begin, so the scan stops there.
  while (std::getline(in, line)) {
    const std::string t = Trimmed(line);
    if (t == "ENTITIES") return std::nullopt;
    if (t != "$INSUNITS") continue;
    std::string code, value;
    if (!std::getline(in, code) || !std::getline(in, value) || Trimmed(code) != "70") return std::nullopt;
    const std::string v = Trimmed(value);
    if (v == "1") return Units::kInches;
    if (v == "4") return Units::kMillimetres;
    if (v == "5") return Units::kCentimetres;
    return std::nullopt;
  }
  return std::nullopt;
}
