// A scene made into a print: the mirror built, the window found (the programs'
// own, or one that also holds the mirror's footprint at a true cell size), every
// pixel mapped by the engine the four programs use, N x N samples a cell
// averaged, and the footprint drawn. Nothing is printed here: what a front end
// says comes back in the report, failures as PrintError.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "mirrors/cone.h"
#include "mirrors/cylinder.h"
#include "core/errors.h"
#include "mirrors/faceted_mirror.h"
#include "mirrors/facets.h"
#include "core/mapping.h"
#include "core/mirror.h"
#include "mirrors/mirror_model.h"
#include "mirrors/plane_mirror.h"
#include "picture/picture.h"
#include "pipeline/picture_source.h"
#include "pipeline/scene.h"
#include "core/window.h"

// A scene that cannot be made into a print, in one English line naming the
// value or the file concerned. Field is the option it concerns, without its
// dashes ("radius", "eye", "dpi", "picture", ...), empty when none: a front
// end points at it without reading the words.

namespace anamorfosi {
class PrintError : public std::runtime_error {
 public:
  explicit PrintError(const std::string& message, std::string field = "")
      : std::runtime_error(message), Field(std::move(field)) {}
  std::string Field;
};

// A file or number failure of the programs' readers, in one English line.
std::string RuntimeText(const RuntimeFailure& e);

// Where the mirror stands on the sheet: a circle (cylinder, cone) or the
// segments of its outline that lie on the sheet (plane mirror, mesh).
struct Footprint {
  bool Circle = false;
  Real CentreX = 0, CentreY = 0, Radius = 0;
  struct Segment {
    Real X0, Y0, X1, Y1;
  };
  std::vector<Segment> Segments;
  bool Empty() const { return !Circle && Segments.empty(); }
};

struct PrintReport {
  OutputWindow Window;     // of the print's cells
  MissRecord Misses;       // of the window scan and of the mapping
  int Antialias = 1;       // as used (lowered for a print too large to sample finely)
  int Accuracy = 1;        // as used (lowered where a pixel's reflection spans few samples)
  PictureFactors Reduction;  // the picture was read this many times narrower and lower
  int PictureWidth = 0, PictureHeight = 0;  // the picture's own size, upright
  Footprint Mirror;
  long FacetCount = 0;     // mesh
  std::vector<std::string> Notes;  // things worth telling the user
  // Wall seconds of the stages: the window, the mapping (the raster cleared and
  // every pixel mapped), the cells (samples averaged, paper told, marks drawn).
  double WindowSeconds = 0, MappingSeconds = 0, CellSeconds = 0;
};

// How the pipeline reads a mirror file: given by the front end, which knows
// the formats (LoadMirrorFacets, pipeline_files.h); the pipeline opens none.
struct MirrorFileReader {
  // Fills set from the file, replacing what it held: a DXF's 3DFACEs or a
  // mesh's triangles, scaled as options say. Throws RuntimeFailure for a file
  // that cannot be opened or read, PrintError for one that cannot be used.
  std::function<void(const std::string& file, FacetSet& set, const FacetLoadOptions& options)> Facets;
  // The name of a mirror file's format when it is a mesh ("STL", "OBJ" ...),
  // nothing for a DXF: a face file that is a mesh is refused in those words.
  std::function<std::optional<std::string>(const std::string& file)> MeshFormat;
  // The most bytes a mesh mirror's table and index may take (by the front
  // end, half the machine's memory).
  unsigned long long MemoryBudget = 4ULL << 30;
};

struct PrintSettings {
  int Threads = 1;
  // The only way a mesh mirror is read; without it a mesh scene is refused.
  MirrorFileReader Mirrors;
  // Called before the rows of the picture are mapped: (row, rows), rows from 1.
  std::function<void(int row, int rows)> Progress;
  // Called with the window once it is fixed, before any pixel is mapped: a
  // front end refuses there what cannot be written (a paper too small).
  std::function<void(const OutputWindow& window)> CheckWindow;
  // The most bytes the rasters of one print may take.
  unsigned long long MemoryBudget = 1ULL << 30;
  // false: only the window, the sampling and the picture are settled; no pixel
  // is mapped and Cells stays empty (for a print that comes from a file).
  bool MapPixels = true;
  // The work follows the print: a picture whose pixels fall many to a cell is
  // read smaller, and a pixel whose reflection spans few samples is walked
  // round with fewer rays (see follow_print.h). false maps every pixel of the
  // picture at the scene's accuracy, as the programs do; so does a scene with
  // the programs' window.
  bool FollowPrint = true;
};

struct Print {
  Picture Cells;        // row-major RGB, the top row first
  // 1 for a cell that some pixel painted, 0 for paper; row-major like Cells.
  // Empty when the picture uses every colour, so that none can mark paper.
  std::vector<std::uint8_t> Painted;
  InputPicture Source;  // the input picture's header (for the plain P3 output)
  PrintReport Report;
  // The mirror the print was made with, kept so that the check of this same
  // print (RestoreScene) does not read and build it again (a mesh's file, its
  // index and normals). Empty for a print made otherwise.
  std::shared_ptr<const AnyMirrorModel> Mirror;
};

// Pixels a side of one grid cell in the picture mapped for --grid.
inline constexpr int kGridCellPixels = 48;

// The face of a DXF file (its last 3DFACE); PrintError when there is none
// (saying so of a mesh, as mirrors.MeshFormat names it).
Face ReadFaceFile(const std::string& file, const std::string& what, const MirrorFileReader& mirrors);
// The face with its corners scaled from one unit into another.
Face ScaledFace(const Face& face, Units from, Units to);
// The plane mirror's face, in drawing units (scaled from the unit its file states).
Face ReadMirrorFace(const Scene& scene, const MirrorFileReader& mirrors);

// The mirror's footprint on the sheet; a mesh's is known once it is loaded
// (FacetFootprint: the triangles' edges that lie on the sheet).
Footprint MirrorFootprint(const Scene& scene, const MirrorFileReader& mirrors);
Footprint FacetFootprint(const FacetSet& set);
// Adds the segment ab when it lies on the sheet (both ends within 1e-6 of it).
void AddIfOnSheet(Footprint& f, Point3 a, Point3 b);
// An outline's footprint is centred on the mean of its segments' ends.
void CentreFootprint(Footprint& f);

// Builds the scene's mirror through its kind's entry (mirror_kinds.h), fills
// setup (face, eye, accuracy, the model's axis step). Throws PrintError for a
// mirror that cannot be used.
AnyMirrorModel BuildSceneMirror(const Scene& s, const MirrorFileReader& mirrors, MappingSetup& setup,
                                PrintReport& report);
// What BuildSceneMirror fills in setup, for a model already built from s.
void SetUpSceneMirror(const Scene& s, const AnyMirrorModel& model, MappingSetup& setup);
// The same, answering fn(mirror) with the model's own type, so that the
// mapping under fn is compiled for each model.
template <class Fn>
decltype(auto) WithSceneMirror(const Scene& s, const MirrorFileReader& mirrors, MappingSetup& setup,
                               PrintReport& report, Fn&& fn) {
  const AnyMirrorModel mirror = BuildSceneMirror(s, mirrors, setup, report);
  return std::visit([&](const auto& m) -> decltype(auto) { return fn(m); }, mirror);
}

// Places the picture as read (print.Source) on the face in setup: its pixels'
// width and height (FaceStep, RowStep) and their Accuracy-th parts.
void PlacePicture(MappingSetup& setup, const PrintReport& report, const Picture& picture);

// Makes the print of the picture read from source (once, after the window is
// found). The scene must be complete (eye, face); its Window, when recorded,
// must be the one that results. Throws PrintError.
Print MakePrint(const Scene& scene, PictureSource& picture, const PrintSettings& settings);

// The print's window alone, as MakePrint would find it, without reading the
// picture or mapping a pixel (for choosing a face whose print fits a paper).
// Throws PrintError.
OutputWindow SceneWindow(const Scene& scene, const MirrorFileReader& mirrors);

// The print's size in millimetres.
double PrintWidthMm(const Scene& scene, const OutputWindow& window);
double PrintHeightMm(const Scene& scene, const OutputWindow& window);

// The most triangles that fit in budget bytes.
int MeshFacetLimit(unsigned long long budget, std::size_t bytesEach = FacetBytesEach);

// Loads a mesh mirror through mirrors.Facets, of any size mirrors.MemoryBudget
// allows, in the scene's units, with its index and footprint; PrintError for
// a file that cannot be used or does not fit, or without a reader.
void LoadMeshMirror(const Scene& s, const MirrorFileReader& mirrors, FacetedMirror& mirror, PrintReport& report);

}  // namespace anamorfosi
