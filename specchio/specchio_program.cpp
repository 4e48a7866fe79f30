#include "specchio/specchio_program.h"

#include <cmath>

#include "formats/dxf.h"

namespace anamorfosi {

void ReadMirrorFaceDxf(const std::string& fileName, PlaneMirror& mirror, Console& console) {
  ScanDxfFaces(fileName, [&](const Face& face) {
    mirror.MirrorPlane = PlaneFromPoints(face.C1, face.C2, face.C3);
    mirror.HasFace = true;
    if (std::fabs(SignedDistance(mirror.MirrorPlane, face.C4)) > 0.001_r) {
      WriteLine(console, "Attenzione: faccia specchio non piana. Uso i primi tre punti");
    }
    return true;
  });
}

namespace {

void ReadSpecchioParameters(TextFile& file, Console& console, RunParameters& params, PlaneMirror&) {
  params.PictureDxfName = ReadNameEcho(file, console, kLabelPictureDxf);
  params.MirrorDxfName = ReadNameEcho(file, console, "Nome file faccia per specchio (DXF)   : ");
  ReadPictureLinesEcho(file, console, params);
  // Every pixel is mapped by its four corners.
  params.Accuracy = 1;
}

void PrepareSpecchioMirror(Console& console, const RunParameters& params, const Face&, PlaneMirror& mirror,
                           MappingSetup&) {
  ReadMirrorFaceDxf(params.MirrorDxfName, mirror, console);
  if (!mirror.HasFace) {
    throw RunStopped("ERRORE: il file " + params.MirrorDxfName +
                     " non contiene nessuna faccia 3DFACE: manca lo specchio");
  }
}

WindowStatus SpecchioWindow(const PlaneMirror& mirror, const RunParameters& params, const Face& face,
                            long pixelCount, MissRecord& misses, OutputWindow& window, std::vector<std::string>&) {
  // The scanned box widened by a thirtieth of its extent on each side.
  return ComputeWindow(mirror, face, params.ProjectionCentre, pixelCount, 30, misses, window);
}

}  // namespace

const Program<PlaneMirror>& SpecchioProgram() {
  static const Program<PlaneMirror> program{
      .MirrorLine = "Superficie dello specchio: piano",
      .ReadParameters = ReadSpecchioParameters,
      .PrepareMirror = PrepareSpecchioMirror,
      .ComputeWindow = SpecchioWindow,
  };
  return program;
}

template int RunAnamorphosis<PlaneMirror>(const Program<PlaneMirror>&, PlaneMirror&, Console&, const RunOptions&);

}  // namespace anamorfosi
