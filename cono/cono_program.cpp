#include "cono/cono_program.h"

namespace anamorfosi {

namespace {

void ReadConoParameters(TextFile& file, Console& console, RunParameters& params, ConeMirror& cone) {
  cone.AxisPoint = ReadAxisEcho(file, console, "Coordinata X asse cono verticale      : ",
                                "Coordinata Y asse cono verticale      : ");
  cone.BaseRadius = ReadRealEcho(file, console, "Raggio della base del cono verticale  : ");
  cone.ConeHeight = ReadRealEcho(file, console, "Altezza del cono verticale            : ");
  params.PictureDxfName = ReadNameEcho(file, console, kLabelPictureDxf);
  ReadPictureLinesEcho(file, console, params);
  params.Accuracy = ReadIntegerEcho(file, console, kLabelAccuracy);
}

void PrepareCone(Console&, const RunParameters&, const Face& pictureFace, ConeMirror& cone, MappingSetup& setup) {
  CheckConeDimensions(cone);
  cone.AxisTolerance = Distance3(pictureFace.C1, pictureFace.C2) / 1000;
  // Pixels whose image would wrap round the axis are left out.
  setup.AxisExclusion = true;
  setup.AxisFoot = {cone.AxisPoint.x, cone.AxisPoint.y};
  setup.AxialTolerance = cone.AxisTolerance;
}

WindowStatus ConoWindow(const ConeMirror& cone, const RunParameters& params, const Face& face, long pixelCount,
                        MissRecord& misses, OutputWindow& window, std::vector<std::string>& reportLines) {
  AxialPlacement placement;
  const WindowStatus status = ComputeAxialWindow(cone, face, params.ProjectionCentre, cone.AxisPoint,
                                                 cone.BaseRadius, pixelCount, misses, window, placement);
  if (status == WindowStatus::kOk) reportLines = ConeReportLines(placement);
  return status;
}

}  // namespace

std::vector<std::string> ConeReportLines(const AxialPlacement& placement) {
  return {"Pixel centro cono X " + FormatWhole(RoundHalfEven(placement.AxisColumn)) + "  Y " +
              FormatWhole(RoundHalfEven(placement.AxisRow)),
          "Raggio in pixel     " + FormatWhole(RoundHalfEven(placement.RadiusCells))};
}

void CheckConeDimensions(const ConeMirror& cone) {
  if (cone.BaseRadius == 0) {
    throw RunStopped("ERRORE: il raggio della base del cono e' nullo: impossibile calcolare l'immagine finale");
  }
  if (cone.ConeHeight == 0) {
    throw RunStopped("ERRORE: l'altezza del cono e' nulla: impossibile calcolare l'immagine finale");
  }
  if (cone.ConeHeight < 0) {
    throw RunStopped("ERRORE: l'altezza del cono e' negativa: il cono starebbe sotto il piano XY");
  }
}

const Program<ConeMirror>& ConoProgram() {
  static const Program<ConeMirror> program{
      .MirrorLine = "Superficie dello specchio: cono verticale",
      .ReadParameters = ReadConoParameters,
      .PrepareMirror = PrepareCone,
      .ComputeWindow = ConoWindow,
  };
  return program;
}

template int RunAnamorphosis<ConeMirror>(const Program<ConeMirror>&, ConeMirror&, Console&, const RunOptions&);

}  // namespace anamorfosi
