// What the command says: the progress of the mapping, the view and its
// fidelity line, the paper line, and the report of a print made.
#pragma once

#include <chrono>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "anamorfosi/options.h"
#include "anamorfosi/outputs.h"
#include "pipeline/print.h"
#include "layout/print_pdf.h"
#include "pipeline/restore.h"
#include "pipeline/vista.h"

// Progress of the mapping on the error stream: a bar with the time left on a
// terminal, a line every tenth otherwise.

namespace anamorfosi {
struct Progress {
  std::ostream& err;
  bool terminal;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  int lastTenth = -1;
  void operator()(int row, int rows) {
    const double done = rows > 0 ? static_cast<double>(row - 1) / rows : 1;
    if (terminal) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const int filled = static_cast<int>(done * 30);
      err << "\rmapping [" << std::string(filled, '#') << std::string(30 - filled, ' ') << "] " << std::setw(3)
          << static_cast<int>(done * 100) << "%";
      if (done > 0.02) err << "  " << static_cast<long>(seconds * (1 - done) / done) << " s left   ";
      err << std::flush;
    } else if (static_cast<int>(done * 10) > lastTenth) {
      lastTenth = static_cast<int>(done * 10);
      err << "mapping " << lastTenth * 10 << "%\n";
    }
  }
  void Finish() {
    if (terminal) err << "\rmapping [" << std::string(30, '#') << "] 100%" << std::string(20, ' ') << "\n";
    else err << "mapping 100%\n";
  }
};

// The view of a made print (written to view, when named) and the picture it
// restores (written to restored, when named); the fidelity line goes to out.
// stride: as RestoreScene takes it (0 chooses for the print; above 1, the quick check).
Fidelity ShowView(const Scene& scene, const Print& made, const SheetFile* file, const Options& o,
                  const std::string& view, std::ostream& out, std::ostream& err, bool quiet, RunOutputs& outputs,
                  int stride = 0);

// The check of every print made: the fidelity of the view (with --preview) or
// a quick one of a share of the picture's pixels; below kFaithfulPercent a
// warning names the figure and the likely cause. true when faithful.
bool CheckFidelity(const Scene& scene, const Print& print, const Options& o, std::ostream& out, std::ostream& err,
                   RunOutputs& outputs);

// How many sheets of the chosen paper the print takes, and the smallest of the
// named papers that holds it whole on one sheet (in its better orientation).
std::string SheetsLine(const Scene& s, const OutputWindow& w, const PdfOptions& pdf);

// The report of a print made and written to o.Output: the mirror, what was
// chosen for the user, the print's size, the mirror on it, the paper.
void ReportLines(std::ostream& lines, const Scene& scene, const Print& print, const Options& o,
                 const std::vector<std::string>& chosen, const PdfOptions& pdf);

}  // namespace anamorfosi
