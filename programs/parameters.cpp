#include "programs/parameters.h"

#include <string>

namespace anamorfosi {

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

Real ReadRealEcho(TextFile& file, Console& console, std::string_view label) {
  const Real value = file.ReadReal();
  file.SkipLine();
  EchoReal(console, label, value);
  return value;
}

Point3 ReadAxisEcho(TextFile& file, Console& console, std::string_view labelX, std::string_view labelY) {
  Point3 axis;
  axis.x = file.ReadReal();
  axis.y = file.ReadReal();
  file.SkipLine();
  EchoReal(console, labelX, axis.x);
  EchoReal(console, labelY, axis.y);
  return axis;
}

void ReadPictureLinesEcho(TextFile& file, Console& console, RunParameters& params) {
  params.InputPpmName = ReadNameEcho(file, console, kLabelInputPpm);
  params.OutputPpmName = ReadNameEcho(file, console, kLabelOutputPpm);
  params.ProjectionCentre = ReadCentreEcho(file, console);
  params.PixelCount = ReadIntegerEcho(file, console, kLabelPixelCount);
}

long ClampAccuracy(long accuracy) {
  if (accuracy < 1) return 1;
  if (accuracy > kMaxAccuracy) return kMaxAccuracy;
  return accuracy;
}

long LimitPixelCount(long pixelCount) { return pixelCount > kMaxPixelCount ? kMaxPixelCount : pixelCount; }

}  // namespace anamorfosi
