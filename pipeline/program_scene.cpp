#include <filesystem>
#include <sstream>

#include "cilindro/cilindro_program.h"
#include "cono/cono_program.h"
#include "generico/generico_program.h"
#include "pipeline/pipeline_files.h"
#include "programs/run.h"
#include "specchio/specchio_program.h"

namespace anamorfosi {

namespace fs = std::filesystem;

namespace {

// A name of the parameter file, taken from the file's folder.
std::string FromFolder(const std::string& name, const fs::path& folder) {
  if (name.empty() || fs::path(name).is_absolute()) return name;
  return (folder / name).lexically_normal().string();
}

template <class Mirror, class Fill>
Scene ReadProgramScene(const Program<Mirror>& program, const char* kind, const std::string& file, Fill&& fill) {
  Scene s;
  s.Mirror.Kind = kind;
  RunParameters params;
  Mirror mirror{};
  std::istringstream none;
  std::ostringstream echo;
  Console quiet{&none, &echo};
  try {
    TextFile text(file);
    program.ReadParameters(text, quiet, params, mirror);
  } catch (const RuntimeFailure& e) {
    throw PrintError("--program: " + RuntimeText(e), "program");
  } catch (const std::exception& e) {
    throw PrintError("--program: " + file + ": " + e.what(), "program");
  }
  const fs::path folder = fs::path(file).parent_path();
  fill(s, mirror, params, folder);
  s.Eye = params.ProjectionCentre;
  s.Picture = FromFolder(params.InputPpmName, folder);
  s.PictureFace = ReadFaceFile(FromFolder(params.PictureDxfName, folder), "face");
  s.Pixels = LimitPixelCount(params.PixelCount);
  if (s.Pixels < 1) throw PrintError("--program: " + file + ": the pixel count must be at least 1", "program");
  s.Accuracy = static_cast<int>(ClampAccuracy(params.Accuracy));
  s.Antialias = 1;
  s.BlackBackground = true;
  s.Marks = false;
  s.ProgramWindow = true;
  return s;
}

}  // namespace

Scene ProgramScene(const std::string& program, const std::string& parameterFile) {
  if (program == "cilindro")
    return ReadProgramScene(CilindroProgram(), "cilindro", parameterFile,
                            [](Scene& s, const Cylinder& c, const RunParameters&, const fs::path&) {
                              s.Mirror.AxisX = c.AxisPoint.x;
                              s.Mirror.AxisY = c.AxisPoint.y;
                              s.Mirror.Radius = c.Radius;
                            });
  if (program == "cono")
    return ReadProgramScene(ConoProgram(), "cono", parameterFile,
                            [](Scene& s, const ConeMirror& c, const RunParameters&, const fs::path&) {
                              s.Mirror.AxisX = c.AxisPoint.x;
                              s.Mirror.AxisY = c.AxisPoint.y;
                              s.Mirror.Radius = c.BaseRadius;
                              s.Mirror.Height = c.ConeHeight;
                            });
  if (program == "specchio")
    return ReadProgramScene(SpecchioProgram(), "specchio", parameterFile,
                            [](Scene& s, const PlaneMirror&, const RunParameters& p, const fs::path& folder) {
                              s.Mirror.File = FromFolder(p.MirrorDxfName, folder);
                            });
  if (program == "generico")
    return ReadProgramScene(GenericoProgram(), "generico", parameterFile,
                            [](Scene& s, const FacetedMirror& m, const RunParameters& p, const fs::path& folder) {
                              s.Mirror.File = FromFolder(p.MirrorDxfName, folder);
                              s.Mirror.VerticalAxis = m.VerticalAxisMode;
                            });
  throw PrintError("--program: \"" + program + "\" must be cilindro, cono, specchio or generico", "program");
}

}  // namespace anamorfosi
