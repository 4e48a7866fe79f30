// The command's options: what its subcommands read (CLI11) into Options, the
// usage error, and the checks and words the other parts of the command share.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "pipeline/mirror_kinds.h"
#include "pipeline/print.h"
#include "layout/print_pdf.h"
#include "pipeline/scene.h"

// A value the user gave that cannot be used: exit status 2. Field is the
// option concerned, without its dashes, as in PrintError.

namespace anamorfosi {
class UsageError : public std::runtime_error {
 public:
  UsageError(const std::string& message, std::string field)
      : std::runtime_error(message), Field(std::move(field)) {}
  std::string Field;
};

// The field of an option as the user writes it: "--dpi" is "dpi", "-o" "output".
std::string FieldOf(const std::string& option);

// Everything the options say, before the scene is completed from it.
struct Options {
  std::string Picture, Grid, Output, Face, Units, Background = "white", SaveScene, SceneFile, Eye;
  // The values of the mirror kinds' options, by their scene file's key.
  std::map<std::string, double> MirrorNumbers;
  std::map<std::string, std::string> MirrorTexts;
  std::map<std::string, bool> MirrorFlags;
  double Dpi = 300, Fill = 0.9;
  // vista, and the view of the mapping subcommands
  std::string PrintFile, Restored, Preview;
  std::string PreviewCloseup;  // the close-up of the mirror, from the same eye
  std::vector<std::string> ProgramRun;  // the program's name and its parameter file
  int Sub = 1, Size = 1200;
  long Pixels = 0;
  int Accuracy = 4, Antialias = 0, Threads = 0;
  bool NoMarks = false, ProgramWindow = false, Quiet = false, EveryPixel = false;
  // The PDF's pages.
  std::string Paper = "A4";
  std::string Fit;  // the paper one sheet of which the print must fit
  double Margin = 10, Overlap = 10;
  bool Landscape = false, Portrait = false;
};

// "(x, y, z)" with ten significant digits.
std::string PointText(Point3 p);
// "X,Y" or "X,Y,Z": count finite numbers separated by commas.
std::vector<double> Numbers(const std::string& text, std::size_t count, const std::string& option);
void NeedPositive(double v, const std::string& option);
// Values computed in extended precision are kept as the doubles a scene file
// holds, so that a rerun of the file maps exactly the same scene.
Real AsStored(Real v);
Point3 AsStored(Point3 p);
// The PDF's paper, margin, overlap and orientation from the options.
PdfOptions PageOptionsOf(const Options& o);
// The tiles of a print of this window on the options' paper; false when the
// paper leaves no room for it.
bool PagesOf(const Scene& s, const OutputWindow& w, const PdfOptions& pdf, PageGrid& grid);

void AddPageOptions(CLI::App* sub, Options& o);
void AddEveryPixel(CLI::App* sub, Options& o);
void AddMappingOptions(CLI::App* sub, Options& o);
// The automatic face as large as one sheet of a paper allows.
void AddFitOption(CLI::App* sub, Options& o);
// One subcommand a mirror kind of the registry; kind is set to the one given.
void AddMirrorSubcommands(CLI::App& app, Options& o, const MirrorKindEntry*& kind);

}  // namespace anamorfosi
