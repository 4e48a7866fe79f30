// What the front ends that work on files give the pipeline: the picture read
// from its file (or the grid drawn for --grid), mirror files read by the mesh
// readers, the machine's memory, and the four programs' parameter files. The
// functions of the same names as the pipeline's take the scene's own files.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "pipeline/print.h"
#include "pipeline/scene.h"
#include "pipeline/vista.h"

// The picture of a file, read whatever its format (PNG, JPEG, PPM); errors as
// PrintError.

namespace anamorfosi {
InputPicture ReadScenePicture(const std::string& file, PictureReduction* reduction = nullptr);

// A picture file, opened and decoded when it is asked for: a JPEG partly
// reduced by its decoder, the rest by Shrunk.
class PictureFile final : public PictureSource {
 public:
  explicit PictureFile(std::string file) : file_(std::move(file)) {}
  std::pair<int, int> UprightSize() override;
  InputPicture Read(PictureReduction* reduction) override;

 private:
  std::string file_;
};

// The scene's picture: its file, or its grid (drawn when it is read).
std::unique_ptr<PictureSource> ScenePictureSource(const Scene& scene);
// The upright width and height of the scene's picture, read from as little of
// it as its format allows (a JPEG's header).
std::pair<int, int> ScenePictureSize(const Scene& scene);

// Half of the machine's memory: what a mesh mirror's table and index may take.
unsigned long long MeshMemoryBudget();
// Mirror files read by LoadMirrorFacets (a DXF by our reader, a mesh in a
// bounded child process), within MeshMemoryBudget.
MirrorFileReader FileMirrorReader();

Face ReadFaceFile(const std::string& file, const std::string& what);
Face ReadMirrorFace(const Scene& scene);
OutputWindow SceneWindow(const Scene& scene);
// The print of the scene's picture; settings without a mirror reader read
// mirror files with FileMirrorReader.
Print MakePrint(const Scene& scene, const PrintSettings& settings);
// budget 0: MeshMemoryBudget.
void LoadMeshMirror(const Scene& s, FacetedMirror& mirror, PrintReport& report, unsigned long long budget = 0);
VistaResult RestoreScene(const Scene& scene, const Print& made, const PrintedSheet& sheet, int sub, int threads,
                         int stride = 0);
SceneView ViewScene(const Scene& scene, const PrintedSheet& sheet, ViewFrame frame, int threads);

// A print file on the sheet: its cells, and its window when it is a PNG that
// carries its scene. Throws PrintError.
SheetFile ReadSheetFile(const std::string& file);

// The scene of a run of one of the four programs ("cilindro", "cono",
// "specchio", "generico") from its parameter file; the file names in it are
// taken from the parameter file's folder. The print is the programs': their
// window, one sample a cell, black paper, no marks. Throws PrintError.
Scene ProgramScene(const std::string& program, const std::string& parameterFile);

}  // namespace anamorfosi
