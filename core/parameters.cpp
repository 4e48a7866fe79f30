#include "parameters.h"

#include <string>

namespace {

void EchoLine(Console& console, std::string_view label, std::string_view value) {
  std::string line(label);
  line += value;
  WriteLine(console, line);
}

}  // namespace

std::string ReadNameEcho(TextFile& file, Console& console, std::string_view label) {
  std::string name = file.ReadName(80);
  EchoLine(console, label, name);
  return name;
}

void EchoReal(Console& console, std::string_view label, Real value) { EchoLine(console, label, FormatReal(value)); }

Point3 ReadCentreEcho(TextFile& file, Console& console) {
  Point3 centre;
  centre.x = file.ReadReal();
  centre.y = file.ReadReal();
  centre.z = file.ReadReal();
  file.SkipLine();
  // The group is echoed only once all three values have been read.
  EchoReal(console, kLabelCentreX, centre.x);
  EchoReal(console, kLabelCentreY, centre.y);
  EchoReal(console, kLabelCentreZ, centre.z);
  return centre;
}

long ReadIntegerEcho(TextFile& file, Console& console, std::string_view label) {
  const long value = file.ReadInteger();
  EchoLine(console, label, FormatInteger(value));
  return value;
}

long ClampAccuracy(long accuracy) {
  if (accuracy < 1) return 1;
  if (accuracy > kMaxAccuracy) return kMaxAccuracy;
  return accuracy;
}

long LimitPixelCount(long pixelCount) { return pixelCount > kMaxPixelCount ? kMaxPixelCount : pixelCount; }
