// The values of a parameter file, read by position and echoed as they come.
#pragma once

#include <string>
#include <string_view>

#include "programs/console.h"
#include "core/geometry.h"
#include "formats/text_file.h"

namespace anamorfosi {

struct RunParameters {
  std::string MirrorDxfName;  // specchio and generico only
  std::string PictureDxfName;
  std::string InputPpmName;
  std::string OutputPpmName;
  Point3 ProjectionCentre;
  long PixelCount = 0;
  long Accuracy = 1;
  long ViewAxisMode = 0;  // generico only
};

// Every echo label is 40 characters wide, ending with ": ".
inline constexpr std::string_view kLabelPictureDxf = "Nome file faccia per immagine (DXF)   : ";
inline constexpr std::string_view kLabelInputPpm = "Nome file immagine bitmap (PPM ascii) : ";
inline constexpr std::string_view kLabelOutputPpm = "Nome file uscita immagine bitmap (PPM): ";
inline constexpr std::string_view kLabelCentreX = "Coordinata X Centro di Proiezione     : ";
inline constexpr std::string_view kLabelCentreY = "Coordinata Y Centro di Proiezione     : ";
inline constexpr std::string_view kLabelCentreZ = "Coordinata Z Centro di Proiezione     : ";
inline constexpr std::string_view kLabelPixelCount = "Numero pixel lato maggiore immagine   : ";
inline constexpr std::string_view kLabelAccuracy = "Accuratezza di calcolo  (1..20)       : ";

// Reads one file-name line and echoes it.
std::string ReadNameEcho(TextFile& file, Console& console, std::string_view label);
// Reads one real (no line skip) without echo; EchoReal prints it.
void EchoReal(Console& console, std::string_view label, Real value);
// Reads the three coordinates of the projection centre, skips the rest of the
// line, then echoes them one per line.
Point3 ReadCentreEcho(TextFile& file, Console& console);
// Reads one integer line and echoes it as read.
long ReadIntegerEcho(TextFile& file, Console& console, std::string_view label);
// Reads one real, skips the rest of its line, echoes it.
Real ReadRealEcho(TextFile& file, Console& console, std::string_view label);
// Reads the x and y of a vertical axis from one line (both before either is
// echoed), skips the rest of the line; z is 0.
Point3 ReadAxisEcho(TextFile& file, Console& console, std::string_view labelX, std::string_view labelY);
// The four lines every program has in this order: input picture, output
// picture, projection centre, pixel count.
void ReadPictureLinesEcho(TextFile& file, Console& console, RunParameters& params);

// Accuracy below 1 becomes 1, above 20 becomes 20.
long ClampAccuracy(long accuracy);
// PixelCount above 5000 becomes 5000; no lower limit here (the run checks it).
long LimitPixelCount(long pixelCount);
inline constexpr long kMaxPixelCount = 5000;
inline constexpr long kMaxAccuracy = 20;

}  // namespace anamorfosi
