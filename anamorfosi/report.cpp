#include "anamorfosi/report.h"

#include "pipeline/mirror_kinds.h"
#include "pipeline/pipeline_files.h"
#include "picture/png_file.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "programs/run.h"

namespace anamorfosi {

namespace {

// Numbers as the reports write them.
std::string Fixed(double v, int decimals) { return KindFixed(v, decimals); }

}  // namespace

Fidelity ShowView(const Scene& scene, const Print& made, const SheetFile* file, const Options& o,
                  const std::string& view, std::ostream& out, std::ostream& err, bool quiet, RunOutputs& outputs,
                  int stride) {
  const int threads = o.Threads > 0 ? o.Threads : DefaultThreads();
  const PrintedSheet sheet = SheetOf(made, file);
  auto write = [&outputs](const std::string& name, const Picture& p, const char* option) {
    const std::string staged = outputs.Stage(name, option);
    try {
      WritePngFile(staged, p);
    } catch (const PictureError& e) {
      throw PrintError(std::string(option) + ": " + Unstaged(e.what(), staged, name), FieldOf(option));
    }
  };
  if (!view.empty()) {
    const SceneView v = ViewScene(scene, sheet, o.Size, threads);
    write(view, v.Image, o.Preview.empty() ? "-o" : "--preview");
    if (v.Stats.SecondHits > 0)
      err << "anamorfosi: note: " << v.Stats.SecondHits << " of the view's " << v.Stats.Rays
          << " sight rays meet the mirror a second time; they are drawn as table\n";
    if (!quiet) out << "view: " << view << ", " << v.Image.Width << " x " << v.Image.Height << " pixels\n";
  }
  if (!o.PreviewCloseup.empty()) {
    const SceneView v = ViewScene(scene, sheet, ViewFrame(o.Size, true), threads);
    write(o.PreviewCloseup, v.Image, "--preview-closeup");
    if (!quiet) out << "close-up: " << o.PreviewCloseup << ", " << v.Image.Width << " x " << v.Image.Height << " pixels\n";
  }
  // The whole picture when it is written out or every pixel is asked for.
  if (stride == 0 && (!o.Restored.empty() || o.EveryPixel)) stride = 1;
  const VistaResult r = RestoreScene(scene, made, sheet, o.Sub, threads, stride);
  if (!o.Restored.empty()) write(o.Restored, r.Restored, "--restored");
  if (!quiet) out << FidelityLine(r.Score) << "\n";
  return r.Score;
}

bool CheckFidelity(const Scene& scene, const Print& print, const Options& o, std::ostream& out, std::ostream& err,
                   RunOutputs& outputs) {
  const bool quick = o.Preview.empty();
  const Picture& picture = print.Source;
  const Fidelity f = quick ? ShowView(scene, print, nullptr, o, "", out, err, true, outputs,
                                      QuickCheckStride(picture.Width, picture.Height))
                           : ShowView(scene, print, nullptr, o, o.Preview, out, err, o.Quiet, outputs);
  const std::string cause = LikelyCause(f, static_cast<double>(picture.Width) * picture.Height >
                                               static_cast<double>(print.Cells.Width) * print.Cells.Height *
                                                   print.Report.Antialias * print.Report.Antialias);
  if (cause.empty()) return true;
  err << "anamorfosi: warning: the print is not faithful: " << Fixed(WithinPercent(f), 1)
      << "% of the " << (quick ? "checked " : "") << "sight rays see the picture within 8 levels (at least "
      << Fixed(kFaithfulPercent, 0) << "% expected); likely cause: " << cause << "\n";
  return false;
}

std::string SheetsLine(const Scene& s, const OutputWindow& w, const PdfOptions& pdf) {
  std::string line = "paper: ";
  PageGrid g;
  if (pdf.PaperSize.None) {
    line += "none, one page of the print's own size";
  } else if (!PagesOf(s, w, pdf, g)) {
    line += pdf.PaperSize.Name + " leaves no room for the print inside its margins";
  } else {
    const int tiles = g.Columns * g.Rows;
    line += std::to_string(tiles) + (tiles == 1 ? " sheet of " : " sheets of ") + pdf.PaperSize.Name + " (" +
            (g.Landscape ? "landscape" : "portrait");
    if (tiles > 1)
      line += ", " + std::to_string(g.Columns) + " x " + std::to_string(g.Rows) + " tiles, and an assembly page in the PDF";
    line += ")";
  }
  PdfOptions any = pdf;
  any.Orientation = PageOrientation::kAuto;
  for (const Paper& paper : StandardPapers()) {
    any.PaperSize = paper;
    if (PagesOf(s, w, any, g) && g.Columns * g.Rows == 1) return line + "; whole on one " + paper.Name + " sheet";
  }
  return line + "; no paper of A4, A3, A2, Letter, Legal, Tabloid holds it whole";
}


void ReportLines(std::ostream& lines, const Scene& scene, const Print& print, const Options& o,
                 const std::vector<std::string>& chosen, const PdfOptions& pdf) {
  const PrintReport& r = print.Report;
  const OutputWindow& w = r.Window;
  const MirrorKindEntry& mirrorKind = KindEntry(scene.Mirror.Kind);
  lines << "mirror: " << mirrorKind.Words << mirrorKind.ReportDetails(scene, r);
  if (!scene.Mirror.File.empty()) lines << ", from " << scene.Mirror.File;
  lines << "\n";
  for (const std::string& line : chosen) lines << line << "\n";
  const double mmW = PrintWidthMm(scene, w), mmH = PrintHeightMm(scene, w);
  lines << "print: " << w.Width << " x " << w.Height << " cells";
  if (scene.Pixels == 0) lines << " at " << KindNumber(scene.Dpi) << " dpi";
  lines << ", " << Fixed(mmW, 1) << " x " << Fixed(mmH, 1) << " mm (" << Fixed(mmW / 25.4, 2) << " x "
      << Fixed(mmH / 25.4, 2) << " in), print at 100 %\n";
  if (!r.Mirror.Empty()) {
    const double mm = MillimetresPerUnit(scene.Unit);
    lines << "mirror on the print: centre " << Fixed(static_cast<double>(r.Mirror.CentreX - w.MinX) * mm, 1)
        << " mm from the left edge, " << Fixed(static_cast<double>(w.MaxY - r.Mirror.CentreY) * mm, 1)
        << " mm from the top edge";
    if (r.Mirror.Circle) lines << ", diameter " << Fixed(static_cast<double>(2 * r.Mirror.Radius) * mm, 1) << " mm";
    lines << "\n";
  }
  lines << SheetsLine(scene, w, pdf) << "\n";
  lines << "written: " << o.Output << "\n";
}

}  // namespace anamorfosi
