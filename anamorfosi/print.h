// A scene made into a print: the mirror built, the window found (the programs'
// own, or one that also holds the mirror's footprint at a true cell size), every
// pixel mapped by the engine the four programs use, N x N samples a cell
// averaged, and the footprint drawn. Nothing is printed here: what a front end
// says comes back in the report, failures as PrintError.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mirror.h"
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
  Footprint Mirror;
  long FacetCount = 0;     // mesh
  std::vector<std::string> Notes;  // things worth telling the user
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
};

struct Print {
  Picture Cells;        // row-major RGB, the top row first
  InputPicture Source;  // the input picture's header (for the plain P3 output)
  PrintReport Report;
};

// The picture of the scene, read whatever its format, or its grid drawn;
// errors as PrintError.
InputPicture ReadScenePicture(const std::string& file);
InputPicture ScenePicture(const Scene& scene);
// Pixels a side of one grid cell in the picture mapped for --grid.
inline constexpr int kGridCellPixels = 48;

// The face of a DXF file (its last 3DFACE); PrintError when there is none.
Face ReadFaceFile(const std::string& file, const std::string& what);

// The mirror's footprint on the sheet.
Footprint MirrorFootprint(const Scene& scene);

// Makes the print. The scene must be complete (eye, face); its Window, when
// recorded, must be the one that results. Throws PrintError.
Print MakePrint(const Scene& scene, const PrintSettings& settings);

// The print's size in millimetres.
double PrintWidthMm(const Scene& scene, const OutputWindow& window);
double PrintHeightMm(const Scene& scene, const OutputWindow& window);
