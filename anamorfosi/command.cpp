#include "anamorfosi/command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "pipeline/mirror_kinds.h"
#include "anamorfosi/options.h"
#include "anamorfosi/outputs.h"
#include "pipeline/pipeline_files.h"
#include "pipeline/print.h"
#include "anamorfosi/report.h"
#include "programs/run.h"
#include "anamorfosi/scene_from_options.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace fs = std::filesystem;

namespace {

// Exit status of a print that was written but failed its fidelity check.
constexpr int kUnfaithful = 3;

// Makes and writes the print of a complete scene, and says what it did.
int Execute(Scene scene, const Options& o, const std::vector<std::string>& chosen, std::ostream& out,
            std::ostream& err, bool terminal) {
  const OutputKind kind = OutputKindOf(o.Output);
  const PdfOptions pdf = PageOptionsOf(o);
  if (scene.Antialias == 0) scene.Antialias = kind == OutputKind::kPpm ? 1 : 2;
  CheckNotAnInput(o.Output, InputsOf(scene, o), "-o");
  CheckOutputFolder(o.Output, "-o");
  if (!o.SaveScene.empty()) {
    CheckNotAnInput(o.SaveScene, InputsOf(scene, o), "--save-scene");
    CheckOutputFolder(o.SaveScene, "--save-scene");
  }
  if (!o.Preview.empty()) {
    CheckNotAnInput(o.Preview, InputsOf(scene, o), "--preview");
    if (fs::path(o.Preview) == fs::path(o.Output)) throw UsageError("--preview: must not be the print's own file", "preview");
    CheckOutputFolder(o.Preview, "--preview");
  }
  if (!o.PreviewCloseup.empty()) {
    CheckNotAnInput(o.PreviewCloseup, InputsOf(scene, o), "--preview-closeup");
    for (const std::string& other : {o.Output, o.Preview, o.SaveScene})
      if (fs::path(o.PreviewCloseup) == fs::path(other))
        throw UsageError("--preview-closeup: must be a file of its own, not " + other, "preview-closeup");
    CheckOutputFolder(o.PreviewCloseup, "--preview-closeup");
  }
  PrintSettings settings;
  settings.Threads = o.Threads > 0 ? o.Threads : DefaultThreads();
  settings.FollowPrint = !o.EveryPixel;
  if (kind == OutputKind::kPdf) {
    settings.CheckWindow = [&](const OutputWindow& w) {
      try {
        PlanPages(PrintWidthMm(scene, w), PrintHeightMm(scene, w), pdf.PaperSize, pdf.MarginMm, pdf.OverlapMm,
                  pdf.Orientation);
      } catch (const std::invalid_argument& e) {
        throw PrintError(std::string("--paper: ") + e.what(), "paper");
      }
    };
  }
  Progress progress{err, terminal};
  if (!o.Quiet) settings.Progress = [&](int row, int rows) { progress(row, rows); };
  const Print print = MakePrint(scene, settings);
  if (!o.Quiet) progress.Finish();
  // Nothing is in place until the last file (the preview, written with the check) is done.
  RunOutputs outputs;
  WriteOutput(scene, print, o.Output, pdf, outputs);
  if (!o.SaveScene.empty()) SaveScene(scene, print.Report.Window, o.SaveScene, outputs);

  const PrintReport& r = print.Report;
  if (r.Misses.MissCount > 0)
    err << "anamorfosi: warning: " << r.Misses.MissCount
        << " sight rays missed the mirror or did not reach the sheet: the print is not correct there\n";
  for (const std::string& note : r.Notes) err << "anamorfosi: note: " << note << "\n";
  if (o.Quiet) {
    const bool faithful = CheckFidelity(scene, print, o, out, err, outputs);
    outputs.Commit();
    return faithful ? 0 : kUnfaithful;
  }
  // The report is told once every file is in place: a run that fails names none as written.
  std::ostringstream lines;
  ReportLines(lines, scene, print, o, chosen, pdf);
  const bool faithful = CheckFidelity(scene, print, o, lines, err, outputs);
  outputs.Commit();
  out << lines.str();
  return faithful ? 0 : kUnfaithful;
}

}  // namespace

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal,
               ServeFunction serve) {
  CLI::App app{"Mirror anamorphoses: from a picture and a mirror you own to a true-scale print.", "anamorfosi"};
  app.require_subcommand(1);
  app.footer(
      "Examples:\n"
      "  anamorfosi cilindro foto.jpg --radius 25 -o stampa.png\n"
      "  anamorfosi cilindro foto.jpg --radius 25 --paper A4 -o stampa.pdf\n"
      "  anamorfosi cono foto.png --base-radius 30 --height 60 -o stampa.png\n"
      "  anamorfosi specchio foto.jpg --mirror specchio.dxf -o stampa.png\n"
      "  anamorfosi generico foto.jpg --mirror cono.stl --face faccia.dxf --eye 0,0,400 -o stampa.png\n"
      "  anamorfosi run scena.json -o stampa.png\n"
      "Exit status: 0 done, 1 the print cannot be made, 2 a usage error, 3 the print was written but its\n"
      "fidelity check found it wrong (below 99 % of sight rays within 8 levels; the warning says why).");
  Options o;
  const MirrorKindEntry* kind = nullptr;
  AddMirrorSubcommands(app, o, kind);

  CLI::App* run = app.add_subcommand("run", "make the print of a scene file written by --save-scene");
  run->add_option("SCENE", o.SceneFile, "the scene file (JSON)")->required();
  run->add_option("-o,--output", o.Output, "the print (default: the scene's name with .png)");
  run->add_option("--threads", o.Threads, "threads of the mapping (default: every core)");
  run->add_flag("--quiet", o.Quiet, "print nothing but errors and warnings");
  AddEveryPixel(run, o);
  AddPageOptions(run, o);
  run->footer("Example: anamorfosi run scena.json -o stampa.png");

  CLI::App* vista = app.add_subcommand("vista", "the view from the eye, the picture the mirror restores, and how faithful it is");
  vista->add_option("SCENE", o.SceneFile, "the scene file (JSON)");
  vista->add_option("--program", o.ProgramRun, "instead of a scene: a run of cilindro, cono, specchio or generico, "
                                               "PROGRAM PARAMETERS (names in the file are taken from its folder)")
      ->expected(2);
  vista->add_option("--print", o.PrintFile, "a print file to look at (default: the scene's own print)");
  vista->add_option("-o,--output", o.Output, "write the view from the eye (PNG)");
  vista->add_option("--size", o.Size, "the view's width in pixels (default 1200)");
  vista->add_option("--restored", o.Restored, "write the restored picture (PNG), the size of the input");
  vista->add_option("--sub", o.Sub, "N x N sight rays a pixel of the restored picture (default 1)");
  AddEveryPixel(vista, o);
  vista->add_option("--threads", o.Threads, "threads (default: every core)");
  vista->footer(
      "The view looks from the eye at the centre of the picture face; the mirror is slightly tinted,\n"
      "the table beyond the print and the sky are plain.\n"
      "Prints one line: fidelity: P% within 8 levels, PSNR D dB, unpainted U%, outside X%.\n"
      "  within 8 levels: the share of sight rays whose colour differs from the picture's pixel by\n"
      "    at most 8 levels in each of red, green and blue (for an anti-aliased print, from the picture\n"
      "    blurred by the print's cell, as its N x N samples saw it);\n"
      "  PSNR: the peak signal-to-noise ratio of what they see against the same (99 dB: the same);\n"
      "  unpainted: the share that read a cell no pixel painted (paper);\n"
      "  outside: the share that miss the mirror or land off the print.\n"
      "Examples:\n"
      "  anamorfosi vista scena.json -o vista.png --restored visto.png\n"
      "  anamorfosi vista --program cilindro parametri.txt --print anamorfosi.ppm -o vista.png");

  ServeOptions so;
  CLI::App* srv = app.add_subcommand("serve", "serve the page that makes prints in the browser, at http://127.0.0.1:8765/");
  srv->add_option("--port", so.Port, "the port (default 8765; 0 any free one)");
  srv->add_option("--host", so.Host, "listen on this address instead of 127.0.0.1 and ::1 (others can then reach it)");
  srv->add_flag("--open", so.Open, "open the page in the browser");
  srv->add_option("--max-request-mb", so.MaxRequestMb, "the largest request, in MB (default 50)");
  srv->footer(
      "The page computes everything in the browser: the server only hands it its files (compiled into\n"
      "this program), read-only, and nothing sent to it is kept. The same page opens without a server\n"
      "from build/site/www/index.html.");

  // A program that runs the command may ask for its errors as JSON (--error-json, anywhere on
  // the line, not listed in the help): one line {"error": the message,
  // "field": the option}. It is taken out before the options are parsed, so
  // that their own errors come so too.
  bool errorJson = false;
  std::vector<const char*> args;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::string(argv[i]) == "--error-json") errorJson = true;
    else args.push_back(argv[i]);
  }
  auto fail = [&](const std::string& message, const std::string& field, int status) {
    if (errorJson) {
      const nlohmann::ordered_json line = {{"error", message}, {"field", field}};
      // A file name that is not UTF-8 is written with its bad bytes replaced.
      err << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
      err << "anamorfosi: " << message << "\n";
    }
    return status;
  };
  try {
    app.parse(static_cast<int>(args.size()), args.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    return fail(std::string(e.what()) + " (see anamorfosi --help)", "", 2);
  }
  try {
    std::vector<std::string> chosen;
    if (srv->parsed()) {
      if (!serve) throw UsageError("serve: this build has no web page", "");
      if (so.Port < 0 || so.Port > 65535) throw UsageError("--port: must be 0 to 65535", "port");
      if (so.MaxRequestMb < 1) throw UsageError("--max-request-mb: must be at least 1", "max-request-mb");
      return serve(so, out, err);
    }
    if (vista->parsed()) {
      if (o.SceneFile.empty() == o.ProgramRun.empty())
        throw UsageError(o.SceneFile.empty() ? "vista: a scene file is needed, or --program PROGRAM PARAMETERS"
                                             : "vista: give a scene file or --program, not both",
                         "program");
      const Scene scene = o.ProgramRun.empty() ? ReadSceneFile(o.SceneFile) : ProgramScene(o.ProgramRun[0], o.ProgramRun[1]);
      for (const auto& [name, option] : {std::pair{o.Output, "-o"}, std::pair{o.Restored, "--restored"}}) {
        if (name.empty()) continue;
        CheckNotAnInput(name, {o.SceneFile, o.PrintFile, scene.Picture, scene.Mirror.File,
                               o.ProgramRun.empty() ? std::string() : o.ProgramRun[1]}, option);
        CheckOutputFolder(name, option);
      }
      PrintSettings settings;
      settings.Threads = o.Threads > 0 ? o.Threads : DefaultThreads();
      settings.MapPixels = o.PrintFile.empty();
      settings.FollowPrint = !o.EveryPixel;
      const Print made = MakePrint(scene, settings);
      SheetFile file;
      if (!o.PrintFile.empty()) file = ReadSheetFile(o.PrintFile);
      RunOutputs outputs;
      std::ostringstream lines;
      ShowView(scene, made, o.PrintFile.empty() ? nullptr : &file, o, o.Output, lines, err, false, outputs);
      outputs.Commit();
      out << lines.str();
      return 0;
    }
    if (run->parsed()) {
      Scene scene = ReadSceneFile(o.SceneFile);
      if (o.Output.empty()) o.Output = (fs::path(o.SceneFile).parent_path() / fs::path(o.SceneFile).stem()).string() + ".png";
      return Execute(scene, o, chosen, out, err, terminal);
    }
    // The paper the print must fit is the PDF's.
    if (!o.Fit.empty()) o.Paper = o.Fit;
    const Scene scene = SceneFromOptions(*kind, o, chosen);
    return Execute(scene, o, chosen, out, err, terminal);
  } catch (const UsageError& e) {
    return fail(e.what(), e.Field, 2);
  } catch (const std::bad_alloc&) {
    return fail("not enough memory for this print (lower --dpi or --pixels)", "dpi", 1);
  } catch (const PrintError& e) {
    return fail(e.what(), e.Field, 1);
  } catch (const std::exception& e) {
    return fail(e.what(), "", 1);
  }
}

}  // namespace anamorfosi
