#include "pipeline/pipeline_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "layout/grid_picture.h"
#include "formats/input_picture.h"
#include "meshes/mesh_file.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "picture/png_file.h"

namespace anamorfosi {

InputPicture ReadScenePicture(const std::string& file, PictureReduction* reduction) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) throw PrintError(file + ": " + std::strerror(errno), "picture");
  if (S_ISDIR(st.st_mode)) throw PrintError(file + ": is a folder, not a picture", "picture");
  try {
    // The command holds a PPM to the limits of every other picture.
    const PictureLimits limits;
    return ReadAnyPicture(file, reduction, &limits);
  } catch (const PpmError& e) {
    throw PrintError(PpmEnglishText(e), "picture");
  } catch (const RuntimeFailure& e) {
    throw PrintError(RuntimeText(e), "picture");
  } catch (const PictureError& e) {
    if (e.Problem == PictureProblem::kCannotOpen || e.Problem == PictureProblem::kReadFailed)
      throw PrintError(file + ": " + std::strerror(e.Errno), "picture");
    throw PrintError(e.what(), "picture");
  }
}

std::pair<int, int> PictureFile::UprightSize() {
  PictureReduction sizeOnly;
  sizeOnly.Choose = [](int, int) { return PictureFactors{0, 0}; };
  const InputPicture p = ReadScenePicture(file_, &sizeOnly);
  if (sizeOnly.FullWidth > 0) return {sizeOnly.FullWidth, sizeOnly.FullHeight};
  return {p.Width, p.Height};
}

InputPicture PictureFile::Read(PictureReduction* reduction) { return ReadScenePicture(file_, reduction); }

namespace {

// The grid for drawing by hand, drawn when it is read; it is never read smaller.
class GridPicture final : public PictureSource {
 public:
  explicit GridPicture(std::string grid) : grid_(std::move(grid)) {}
  std::pair<int, int> UprightSize() override {
    const InputPicture p = Read(nullptr);
    return {p.Width, p.Height};
  }
  InputPicture Read(PictureReduction*) override {
    const auto grid = ParseGrid(grid_);
    if (!grid) throw PrintError("--grid: \"" + grid_ + "\" must be COLUMNSxROWS, each 1 to 200", "grid");
    InputPicture input;
    try {
      static_cast<Picture&>(input) = MakeGridPicture(grid->first, grid->second, kGridCellPixels);
    } catch (const std::exception& e) {
      throw PrintError(std::string("--grid: ") + e.what(), "grid");
    }
    input.HasComment = true;
    input.Comment = "# griglia " + grid_;
    return input;
  }

 private:
  std::string grid_;
};

}  // namespace

std::unique_ptr<PictureSource> ScenePictureSource(const Scene& s) {
  if (s.Grid.empty()) return std::make_unique<PictureFile>(s.Picture);
  return std::make_unique<GridPicture>(s.Grid);
}

std::pair<int, int> ScenePictureSize(const Scene& s) { return ScenePictureSource(s)->UprightSize(); }

unsigned long long MeshMemoryBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 4ULL << 30;
  return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize) / 2;
}

MirrorFileReader FileMirrorReader() {
  MirrorFileReader reader;
  reader.Facets = [](const std::string& file, FacetSet& set, const FacetLoadOptions& options) {
    try {
      LoadMirrorFacets(file, set, options);
    } catch (const MeshError& e) {
      throw PrintError(e.what(), "mirror");
    }
  };
  reader.MeshFormat = [](const std::string& file) -> std::optional<std::string> {
    const MeshFileKind kind = MeshFileKindOf(file);
    if (kind.Format == MeshFormat::kDxf) return std::nullopt;
    return FormatName(kind);
  };
  reader.MemoryBudget = MeshMemoryBudget();
  return reader;
}

Face ReadFaceFile(const std::string& file, const std::string& what) {
  return ReadFaceFile(file, what, FileMirrorReader());
}

Face ReadMirrorFace(const Scene& s) { return ReadMirrorFace(s, FileMirrorReader()); }

OutputWindow SceneWindow(const Scene& s) { return SceneWindow(s, FileMirrorReader()); }

Print MakePrint(const Scene& s, const PrintSettings& settings) {
  const std::unique_ptr<PictureSource> picture = ScenePictureSource(s);
  if (settings.Mirrors.Facets) return MakePrint(s, *picture, settings);
  PrintSettings withFiles = settings;
  withFiles.Mirrors = FileMirrorReader();
  return MakePrint(s, *picture, withFiles);
}

void LoadMeshMirror(const Scene& s, FacetedMirror& mirror, PrintReport& report, unsigned long long budget) {
  MirrorFileReader reader = FileMirrorReader();
  if (budget > 0) reader.MemoryBudget = budget;
  LoadMeshMirror(s, reader, mirror, report);
}

VistaResult RestoreScene(const Scene& scene, const Print& made, const PrintedSheet& sheet, int sub, int threads,
                         int stride) {
  return RestoreScene(scene, FileMirrorReader(), made, sheet, sub, threads, stride);
}

SceneView ViewScene(const Scene& scene, const PrintedSheet& sheet, ViewFrame frame, int threads) {
  return ViewScene(scene, FileMirrorReader(), sheet, frame, threads);
}

SheetFile ReadSheetFile(const std::string& file) {
  SheetFile sheet;
  try {
    static_cast<Picture&>(sheet.Cells) = ReadScenePicture(file);
  } catch (PrintError& e) {
    // The picture read here is the print given to look at.
    e.Field = "print";
    throw;
  }
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
      throw PrintError(file + ": its scene cannot be read (" + e.what() + ")", "print");
    }
  }
  return sheet;
}

}  // namespace anamorfosi
