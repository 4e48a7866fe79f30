// The files of a run: the print in its format (PNG, plain PPM, PDF), the
// scene file, and the staging that puts them in place together.
#pragma once

#include <string>
#include <vector>

#include "anamorfosi/options.h"
#include "pipeline/print.h"
#include "layout/print_content.h"
#include "layout/print_pdf.h"
#include "pipeline/scene.h"

namespace anamorfosi {

enum class OutputKind { kPng, kPpm, kPdf };
OutputKind OutputKindOf(const std::string& name);

// The files a scene reads, which no output may replace.
std::vector<std::string> InputsOf(const Scene& s, const Options& o);
void CheckNotAnInput(const std::string& output, const std::vector<std::string>& inputs, const std::string& option);
// An output whose folder is missing or closed fails before the mapping, not after.
void CheckOutputFolder(const std::string& output, const std::string& option);

// The files of one run (print, preview, scene, restored picture), each written
// under a name of its own beside its final one and renamed into place
// together once every one was written: a run that fails leaves none of them
// and no earlier file of those names is touched.
class RunOutputs {
 public:
  RunOutputs() = default;
  RunOutputs(const RunOutputs&) = delete;
  RunOutputs& operator=(const RunOutputs&) = delete;
  ~RunOutputs();

  // A new empty file beside file, created exclusively: a name already taken
  // (by a link planted there, or a file left by a run that was killed) is
  // passed over for the next. The writers replace it by renaming theirs onto it.
  std::string Stage(const std::string& file, const std::string& option);

  // Every staged file renamed to its own name, in the order staged.
  void Commit();

 private:
  struct Staged {
    std::string Temp, File;
    std::string Field;  // the option that named the file
  };
  std::vector<Staged> staged_;
};

// A writer's message names the file as the user gave it, not its staged name.
std::string Unstaged(std::string message, const std::string& temp, const std::string& file);

// The date of the title block and of the PDF's metadata: SOURCE_DATE_EPOCH when
// set (for files that must not change from day to day), else today, in UTC.
std::string Today();
// The print's page content in millimetres from its top-left corner.
PdfContent PdfContentOf(const Scene& scene, const Print& print, const std::string& sceneJson);
// The print, in the format of the output's name.
void WriteOutput(const Scene& scene, const Print& print, const std::string& output, const PdfOptions& pdf,
                 RunOutputs& outputs);
// The scene file, with the window that resulted.
void SaveScene(const Scene& scene, const OutputWindow& window, const std::string& file, RunOutputs& outputs);

}  // namespace anamorfosi
