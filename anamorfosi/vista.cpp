#include "vista.h"

#include "picture_file.h"
#include "png_file.h"
#include "run.h"

SheetFile ReadSheetFile(const std::string& file) {
  SheetFile sheet;
  static_cast<Picture&>(sheet.Cells) = ReadScenePicture(file);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadFileBytes(file, MostPictureFileBytes(PictureLimits{}));
  } catch (const std::exception&) {
    return sheet;
  }
  for (const PngText& t : ReadPngTexts(bytes.data(), bytes.size())) {
    if (t.Key != "Scene") continue;
    try {
      sheet.Window = ParseScene(t.Value, file, "").Window;
    } catch (const std::exception& e) {
      throw PrintError(file + ": its scene cannot be read (" + e.what() + ")");
    }
  }
  return sheet;
}

VistaResult RestoreScene(const Scene& scene, const Print& made, const SheetFile* file, int sub) {
  if (sub < 1 || sub > 16) throw PrintError("--sub: must be 1 to 16");
  const OutputWindow& w = made.Report.Window;
  PrintedSheet sheet{&made.Cells, &made.Painted, w};
  if (file != nullptr) {
    sheet.Cells = &file->Cells;
    // The scene's own record of paper applies only to its own window.
    sheet.Painted = nullptr;
    if (file->Window) {
      sheet.Window = *file->Window;
    } else if (file->Cells.Width != w.Width || file->Cells.Height != w.Height) {
      throw PrintError("--print: the picture is " + std::to_string(file->Cells.Width) + " x " +
                       std::to_string(file->Cells.Height) + " cells, the scene's print " + std::to_string(w.Width) +
                       " x " + std::to_string(w.Height) + ", and it does not say where it lies");
    }
    if (sheet.Window.Width != file->Cells.Width || sheet.Window.Height != file->Cells.Height)
      throw PrintError("--print: its cells do not match the window it records");
  }
  MappingSetup setup;
  PrintReport report;
  VistaResult result;
  WithSceneMirror(scene, setup, report, [&](const auto& mirror) {
    setup.FaceStep = run_detail::FaceStepOf(setup.PictureFace, made.Source.Width);
    result.Restored = RestorePicture(mirror, setup, made.Source, sheet, sub, result.Score);
    return 0;
  });
  return result;
}
