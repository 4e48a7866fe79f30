#include "cilindro/cilindro_program.h"

namespace anamorfosi {

namespace {

void ReadCilindroParameters(TextFile& file, Console& console, RunParameters& params, Cylinder& cylinder) {
  cylinder.AxisPoint = ReadAxisEcho(file, console, "Coordinata X asse cilindro verticale  : ",
                                    "Coordinata Y asse cilindro verticale  : ");
  cylinder.Radius = ReadRealEcho(file, console, "Raggio del cilindro verticale         : ");
  params.PictureDxfName = ReadNameEcho(file, console, kLabelPictureDxf);
  ReadPictureLinesEcho(file, console, params);
  params.Accuracy = ReadIntegerEcho(file, console, kLabelAccuracy);
}

void PrepareCylinder(Console&, const RunParameters&, const Face&, Cylinder& cylinder, MappingSetup&) {
  // Every line of sight would miss: there is nothing to map.
  if (CylinderIsNull(cylinder)) {
    throw RunStopped("ERRORE: il raggio del cilindro e' nullo: nessuna retta puo' essere riflessa dallo specchio");
  }
}

WindowStatus CilindroWindow(const Cylinder& cylinder, const RunParameters& params, const Face& face, long pixelCount,
                            MissRecord& misses, OutputWindow& window, std::vector<std::string>& reportLines) {
  AxialPlacement placement;
  const WindowStatus status = ComputeAxialWindow(cylinder, face, params.ProjectionCentre, cylinder.AxisPoint,
                                                 cylinder.Radius, pixelCount, misses, window, placement);
  if (status == WindowStatus::kOk) {
    reportLines.push_back(AxisCellLine(placement));
    reportLines.push_back(RadiusCellLine(placement));
  }
  return status;
}

}  // namespace

std::string AxisCellLine(const AxialPlacement& placement) {
  return "Pixel centro cilindro " + FormatWhole(RoundHalfEven(placement.AxisColumn), 6) + "," +
         std::to_string(RoundHalfEven(placement.AxisRow));
}

std::string RadiusCellLine(const AxialPlacement& placement) {
  return "Raggio in pixel       " + FormatWhole(RoundHalfEven(placement.RadiusCells), 6);
}

const Program<Cylinder>& CilindroProgram() {
  static const Program<Cylinder> program{
      .MirrorLine = "Superficie dello specchio: cilindro verticale",
      .ReadParameters = ReadCilindroParameters,
      .PrepareMirror = PrepareCylinder,
      .ComputeWindow = CilindroWindow,
  };
  return program;
}

template int RunAnamorphosis<Cylinder>(const Program<Cylinder>&, Cylinder&, Console&, const RunOptions&);

}  // namespace anamorfosi
