// A scene made into a print: the mirror built, the window found (the programs'
// own, or one that also holds the mirror's footprint at a true cell size), every
// pixel mapped by the engine the four programs use, N x N samples a cell
// averaged, and the footprint drawn. Nothing is printed here: what a front end
// says comes back in the report, failures as PrintError.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cone.h"
#include "cylinder.h"
#include "errors.h"
#include "faceted_mirror.h"
#include "mapping.h"
#include "mirror.h"
#include "plane_mirror.h"
#include "picture.h"
#include "ppm.h"
#include "scene.h"
#include "window.h"

// A scene that cannot be made into a print, in one English line naming the
// value or the file concerned.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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

struct PrintSettings {
  int Threads = 1;
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
};

// The picture of the scene, read whatever its format, or its grid drawn;
// errors as PrintError.
InputPicture ReadScenePicture(const std::string& file, PictureReduction* reduction = nullptr);
InputPicture ScenePicture(const Scene& scene, PictureReduction* reduction = nullptr);
// The upright width and height of the scene's picture, read from as little of
// it as its format allows (a JPEG's header).
std::pair<int, int> ScenePictureSize(const Scene& scene);
// Pixels a side of one grid cell in the picture mapped for --grid.
inline constexpr int kGridCellPixels = 48;

// The face of a DXF file (its last 3DFACE); PrintError when there is none.
Face ReadFaceFile(const std::string& file, const std::string& what);
// The face with its corners scaled from one unit into another.
Face ScaledFace(const Face& face, Units from, Units to);
// The plane mirror's face, in drawing units (scaled from the unit its file states).
Face ReadMirrorFace(const Scene& scene);

// The mirror's footprint on the sheet; a mesh's is known once it is loaded
// (FacetFootprint: the triangles' edges that lie on the sheet).
Footprint MirrorFootprint(const Scene& scene);
Footprint FacetFootprint(const FacetSet& set);

// Builds the scene's mirror, fills setup (face, eye, accuracy, the axis step of
// the cone and of the mesh's vertical mode) and answers fn(mirror). Throws
// PrintError for a mirror that cannot be used.
template <class Fn>
decltype(auto) WithSceneMirror(const Scene& s, MappingSetup& setup, PrintReport& report, Fn&& fn);

// Places the picture as read (print.Source) on the face in setup: its pixels'
// width and height (FaceStep, RowStep) and their Accuracy-th parts.
void PlacePicture(MappingSetup& setup, const PrintReport& report, const Picture& picture);

// Makes the print. The scene must be complete (eye, face); its Window, when
// recorded, must be the one that results. Throws PrintError.
Print MakePrint(const Scene& scene, const PrintSettings& settings);

// The print's window alone, as MakePrint would find it, without reading the
// picture or mapping a pixel (for choosing a face whose print fits a paper).
// Throws PrintError.
OutputWindow SceneWindow(const Scene& scene);

// The print's size in millimetres.
double PrintWidthMm(const Scene& scene, const OutputWindow& window);
double PrintHeightMm(const Scene& scene, const OutputWindow& window);

// Half of the machine's memory: what a mesh mirror's table and index may take.
unsigned long long MeshMemoryBudget();
// The most triangles that fit in budget bytes.
int MeshFacetLimit(unsigned long long budget);

// Loads a mesh mirror of any size the budget allows (by default
// MeshMemoryBudget), in the scene's units, with its index and footprint;
// PrintError for a file that cannot be used or does not fit.
void LoadMeshMirror(const Scene& s, FacetedMirror& mirror, PrintReport& report, unsigned long long budget = 0);

template <class Fn>
decltype(auto) WithSceneMirror(const Scene& s, MappingSetup& setup, PrintReport& report, Fn&& fn) {
  setup.PictureFace = s.PictureFace;
  setup.ProjectionCentre = s.Eye;
  setup.Accuracy = s.Accuracy;
  const Real faceSide = Distance3(s.PictureFace.C1, s.PictureFace.C2);
  switch (s.Mirror.Kind) {
    case MirrorKind::kCylinder: {
      const Cylinder cylinder{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius};
      if (CylinderIsNull(cylinder)) throw PrintError("--radius: the cylinder's radius must be above 0");
      return fn(cylinder);
    }
    case MirrorKind::kCone: {
      const ConeMirror cone{{s.Mirror.AxisX, s.Mirror.AxisY, 0}, s.Mirror.Radius, s.Mirror.Height, faceSide / 1000};
      if (!(cone.BaseRadius > 0)) throw PrintError("--base-radius: the cone's base radius must be above 0");
      if (!(cone.ConeHeight > 0)) throw PrintError("--height: the cone's height must be above 0");
      // Pixels whose image would wrap round the axis are left out, as in cono.
      setup.AxisExclusion = true;
      setup.AxisFoot = {cone.AxisPoint.x, cone.AxisPoint.y};
      setup.AxialTolerance = cone.AxisTolerance;
      return fn(cone);
    }
    case MirrorKind::kPlane: {
      const Face m = ReadMirrorFace(s);
      PlaneMirror mirror;
      mirror.MirrorPlane = PlaneFromPoints(m.C1, m.C2, m.C3);
      mirror.HasFace = true;
      if (std::fabs(SignedDistance(mirror.MirrorPlane, m.C4)) > 0.001_r)
        report.Notes.push_back(s.Mirror.File + ": the mirror face is not plane; its first three corners are used");
      return fn(mirror);
    }
    case MirrorKind::kMesh:
      break;
  }
  FacetedMirror mirror;
  mirror.VerticalAxisMode = s.Mirror.VerticalAxis;
  mirror.AxisTolerance = faceSide / 1000;
  LoadMeshMirror(s, mirror, report);
  if (mirror.VerticalAxisMode) {
    setup.AxisExclusion = true;
    setup.AxisFoot = {s.Eye.x, s.Eye.y};
    setup.AxialTolerance = mirror.AxisTolerance;
  }
  return fn(mirror);
}
