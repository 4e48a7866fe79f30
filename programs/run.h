// The anamorphosis run shared by the four programs: parameters, picture face,
// the program's mirror, window, mapping of every input pixel, reports, output.
//
// A program plugs in its mirror type (whose ReflectRay the mapping inlines),
// the reading of its parameter lines, the preparation of its mirror and its
// window; everything else, the console transcript included, is the same.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "programs/console.h"
#include "formats/dxf.h"
#include "core/errors.h"
#include "formats/input_picture.h"
#include "core/map_picture.h"
#include "core/mapping.h"
#include "programs/parameters.h"
#include "formats/ppm.h"
#include "core/raster.h"
#include "formats/text_file.h"
#include "core/window.h"

namespace anamorfosi {

struct RunOptions {
  int Threads = 1;  // threads of the mapping; the output does not depend on it
};

template <class Mirror>
struct Program {
  std::string_view MirrorLine;  // second banner line
  std::string_view Prompt = kPrompt;
  int ProgressEvery = 100;        // rows between progress lines
  bool PrintWindowLines = true;   // the "Minimo  " and "Massimo " lines
  bool FinalLineOfItsOwn = false; // "FINE ELABORAZIONE" alone, then the plain pause
  // Reads and echoes the program's lines of the parameter file (the empty line
  // after them is the run's).
  void (*ReadParameters)(TextFile& file, Console& console, RunParameters& params, Mirror& mirror) = nullptr;
  // After the picture face has been read: the program's own mirror input and
  // its reports; may switch on the axis step of the mapping. May throw.
  void (*PrepareMirror)(Console& console, const RunParameters& params, const Face& pictureFace, Mirror& mirror,
                        MappingSetup& setup) = nullptr;
  // The output window; reportLines are printed after the window lines.
  WindowStatus (*ComputeWindow)(const Mirror& mirror, const RunParameters& params, const Face& pictureFace,
                                long pixelCount, MissRecord& misses, OutputWindow& window,
                                std::vector<std::string>& reportLines) = nullptr;
};

// Pieces of the run that do not depend on the mirror.
namespace run_detail {
void ReportWindowMisses(Console& console, const MissRecord& misses);
void StopOnBadWindow(WindowStatus status);
void WriteWindowLines(Console& console, const OutputWindow& window);
void ReportFinalMisses(Console& console, const MissRecord& misses);
// Refuses an output that is one of the input files (it would be replaced).
void CheckOutputIsNotInput(const std::string& output, const std::vector<std::string>& inputs);
std::string ProgressLine(int row, int every);
void StopOnBadPixelCount(long pixelCount);
using anamorfosi::FaceStepOf;  // core/mapping.h, named here as the programs' run has always named it
int ReportFailure(Console& console, const std::exception_ptr& error);
}  // namespace run_detail

// The whole run; answers the exit status: 0 when the output was written, the
// runtime code of a failed file or number operation, 1 for a run stopped with
// a message.
template <class Mirror>
int RunAnamorphosis(const Program<Mirror>& program, Mirror& mirror, Console& console, const RunOptions& options) {
  using namespace run_detail;
  try {
    WriteBanner(console, program.MirrorLine);
    const std::string parameterFile = AskParameterFileName(console, program.Prompt);
    RunParameters params;
    {
      TextFile file(parameterFile);
      program.ReadParameters(file, console, params, mirror);
    }
    WriteLine(console);
    MappingSetup setup;
    setup.Accuracy = static_cast<int>(ClampAccuracy(params.Accuracy));
    setup.ProjectionCentre = params.ProjectionCentre;
    MissRecord misses;

    ReadFaceDxf(params.PictureDxfName, setup.PictureFace);
    if (program.PrepareMirror) program.PrepareMirror(console, params, setup.PictureFace, mirror, setup);

    const long pixelCount = LimitPixelCount(params.PixelCount);
    StopOnBadPixelCount(pixelCount);
    std::vector<std::string> reportLines;
    const WindowStatus status = program.ComputeWindow(mirror, params, setup.PictureFace, pixelCount, misses,
                                                      setup.Window, reportLines);
    ReportWindowMisses(console, misses);
    StopOnBadWindow(status);
    if (program.PrintWindowLines) WriteWindowLines(console, setup.Window);
    for (const std::string& line : reportLines) WriteLine(console, line);
    setup.Window.HalfCell = setup.Window.CellSize / 2;

    std::vector<std::string> inputs = {parameterFile, params.PictureDxfName, params.InputPpmName};
    if (!params.MirrorDxfName.empty()) inputs.push_back(params.MirrorDxfName);
    CheckOutputIsNotInput(params.OutputPpmName, inputs);
    std::fclose(OpenForReading(params.InputPpmName));
    OutputPicture output(params.OutputPpmName);
    const InputPicture picture = ReadInputPicture(params.InputPpmName);
    output.WriteHeader(picture, setup.Window.Width, setup.Window.Height);
    setup.FaceStep = FaceStepOf(setup.PictureFace, picture.Width);
    setup.FaceSubStep = setup.FaceStep / setup.Accuracy;
    WriteLine(console, "Elaboro il file " + params.InputPpmName + " contenente l'immagine (" +
                           std::to_string(picture.Width) + "x" + std::to_string(picture.Height) + " pixel)");

    OutputRaster raster;
    ClearRaster(raster, setup.Window.Width, setup.Window.Height);
    MapPicture(mirror, setup, picture, raster, options.Threads, misses, [&](int row) {
      if ((row - 1) % program.ProgressEvery == 0) WriteLine(console, ProgressLine(row, program.ProgressEvery));
    });
    ReportFinalMisses(console, misses);
    WriteLine(console, "Scrivo file immagine " + params.OutputPpmName);
    output.WritePixelsAndCommit(raster);
    if (program.FinalLineOfItsOwn) {
      WriteLine(console, "FINE ELABORAZIONE");
      Pause(console);
    } else {
      Pause(console, kFinalPauseText);
    }
    return 0;
  } catch (...) {
    return ReportFailure(console, std::current_exception());
  }
}

}  // namespace anamorfosi
