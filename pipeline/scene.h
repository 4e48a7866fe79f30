// The scene of the anamorfosi command: the mirror, the eye, the picture face,
// the picture and how the print is made. It is what a scene file holds, and
// what a rerun of that file must reproduce byte for byte.
#pragma once

#include <optional>
#include <string>

#include "core/geometry.h"
#include "core/window.h"

namespace anamorfosi {

// The registry's name of a kind (KindEntry in mirror_kinds.h): the subcommand
// that names it, "cilindro", "cono", ...; a new kind needs nothing here.
const char* MirrorKindName(const std::string& kind);

// The lengths a drawing may be in: every unit of length a DXF header
// ($INSUNITS) can state, after the three the command has always known.
enum class Units {
  kMillimetres, kCentimetres, kInches, kFeet, kMiles, kMetres, kKilometres, kMicroinches, kMils, kYards,
  kAngstroms, kNanometres, kMicrons, kDecimetres, kDecametres, kHectometres, kGigametres, kAstronomicalUnits,
  kLightYears, kParsecs, kUsSurveyFeet, kUsSurveyInches, kUsSurveyYards, kUsSurveyMiles
};
const char* UnitsName(Units units);  // "mm", "cm", "in", "ft", "mi", "m", ... as ParseUnits reads them
std::optional<Units> ParseUnits(const std::string& text);
double MillimetresPerUnit(Units units);
// The names ParseUnits reads, separated by commas, for messages.
std::string UnitsList();
// The unit of a DXF header's $INSUNITS code (1 to 24); nothing for 0
// (unitless) or a code that is no unit of length.
std::optional<Units> UnitsOfInsunits(long code);

struct SceneMirror {
  std::string Kind = "cilindro";  // the kind's name in the registry, the scene file's "type"
  Real AxisX = 0, AxisY = 0;  // cylinder and cone
  Real Radius = 0;            // cylinder radius, cone base radius, sphere radius
  Point3 Centre;              // a point in space that places the mirror: the sphere's centre
  Real Height = 0;            // cone
  std::string File;           // plane mirror (one 3DFACE) and mesh (3DFACEs)
  bool VerticalAxis = false;  // mesh: the vertical view-axis mode of generico
  bool Smooth = false;        // mesh: normals interpolated across its triangles
  Real Crease = 60;           // mesh, smooth: facets further apart (degrees) keep a sharp edge
  // The unit a DXF mirror file states in its header: its coordinates are
  // scaled from it into the drawing units. None: they are drawing units.
  std::optional<Units> FileUnit;
};

struct Scene {
  SceneMirror Mirror;
  Point3 Eye;
  Face PictureFace;
  std::string Picture;  // the picture file
  std::string Grid;     // or a grid for drawing by hand, "12x8" (columns x rows)
  Units Unit = Units::kMillimetres;
  // The size of a cell: Pixels cells on the longer side of the window when
  // above 0, else Dpi cells per inch of the print.
  double Dpi = 300;
  long Pixels = 0;
  int Accuracy = 4;
  int Antialias = 2;          // N x N samples a cell, averaged
  bool BlackBackground = false;
  bool Marks = true;          // the mirror's footprint drawn on PNG output
  bool ProgramWindow = false; // the window exactly as the four programs compute it
  // The window that resulted, as recorded in a scene file: a rerun checks it.
  std::optional<OutputWindow> Window;
};

// The scene as JSON text (two-space indented, keys in a fixed order), with
// file names relative to the folder the file is written to.
std::string SceneToJson(const Scene& scene, const std::string& sceneFolder);
// Reads a scene file; file names in it are relative to its folder. Throws
// std::runtime_error naming the file and the key that is missing or wrong.
Scene ReadSceneFile(const std::string& path);
// The same from the text of a scene; name words the errors, folder is where
// its file names are relative to.
Scene ParseScene(const std::string& text, const std::string& name, const std::string& folder);

}  // namespace anamorfosi
