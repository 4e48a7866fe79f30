#include "generico/generico_program.h"

#include "meshes/mesh_file.h"

namespace anamorfosi {

namespace {

void ReadGenericoParameters(TextFile& file, Console& console, RunParameters& params, FacetedMirror& mirror) {
  params.MirrorDxfName = ReadNameEcho(file, console, kLabelMirrorDxf);
  params.PictureDxfName = ReadNameEcho(file, console, kLabelPictureDxf);
  ReadPictureLinesEcho(file, console, params);
  params.Accuracy = ReadIntegerEcho(file, console, kLabelAccuracy);
  // The view-axis mode is not echoed as a number: 1 is the vertical mode, any
  // other value the general one.
  params.ViewAxisMode = file.ReadInteger();
  mirror.VerticalAxisMode = params.ViewAxisMode == 1;
  WriteLine(console, mirror.VerticalAxisMode ? kVerticalAxisLine : kGeneralAxisLine);
}

void PrepareGenericoMirror(Console& console, const RunParameters& params, const Face& pictureFace,
                           FacetedMirror& mirror, MappingSetup& setup) {
  mirror.AxisTolerance = Distance3(pictureFace.C1, pictureFace.C2) / 1000;
  try {
    LoadMirrorFacets(params.MirrorDxfName, mirror.Facets);
  } catch (const MeshError& e) {
    throw RunStopped(MeshErrorLine(e));
  }
  WriteLine(console, FacetCountLine(mirror.Facets.FacetCount, params.MirrorDxfName));
  if (mirror.Facets.FacetOverflow) {
    WriteLine(console, "ERRORE");
    WriteLine(console, "Numero facce specchio maggiore del massimo (50000)");
    WriteLine(console, "Immagine anamorfotica non corretta");
    Pause(console);
  }
  if (mirror.Facets.FacetCount < 1) {
    // The run goes on: every ray off the axis misses and is reported.
    WriteLine(console, "ERRORE");
    WriteLine(console, "Numero facce specchio minore di 1.");
    WriteLine(console, "Immagine finale non corretta");
    Pause(console);
  }
  BuildFacetIndex(mirror.Facets, mirror.Index);
  if (mirror.VerticalAxisMode) {
    // Pixels whose image would wrap round the foot of the axis are left out.
    setup.AxisExclusion = true;
    setup.AxisFoot = {params.ProjectionCentre.x, params.ProjectionCentre.y};
    setup.AxialTolerance = mirror.AxisTolerance;
  }
}

WindowStatus GenericoWindow(const FacetedMirror& mirror, const RunParameters& params, const Face& face,
                            long pixelCount, MissRecord& misses, OutputWindow& window, std::vector<std::string>&) {
  // The scanned box widened by a tenth of its extent on each side.
  return ComputeWindow(mirror, face, params.ProjectionCentre, pixelCount, 10, misses, window);
}

}  // namespace

std::string MeshErrorLine(const MeshError& e) {
  std::string what;
  switch (e.Problem) {
    case MeshProblem::kNotRead: what = "non si legge come superficie " + e.Format; break;
    case MeshProblem::kBadCounts: what = "ha un'intestazione PLY che non corrisponde ai dati"; break;
    case MeshProblem::kBadIndex: what = "ha una faccia con un vertice che non esiste"; break;
    case MeshProblem::kNotFinite: what = "ha un vertice con una coordinata che non e' un numero"; break;
    case MeshProblem::kNoTriangles: what = "non contiene nessun triangolo"; break;
    case MeshProblem::kNotAccepted: what = "non e' in un formato da cui si legge uno specchio"; break;
    case MeshProblem::kOtherFile: what = "rimanda ad altri file, che non si leggono"; break;
    case MeshProblem::kReaderFailed: what = "ha fermato il lettore di superfici"; break;
  }
  return "ERRORE: il file " + e.File + " " + what + " (" + e.Detail + ")";
}

std::string FacetCountLine(int facetCount, const std::string& fileName) {
  return "Ho caricato " + std::to_string(facetCount) + " facce dal file " + fileName;
}

const Program<FacetedMirror>& GenericoProgram() {
  static const Program<FacetedMirror> program{
      .MirrorLine = "Superficie dello specchio: generica, definita da un insieme di facce piane",
      .Prompt = kCompactPrompt,
      .ProgressEvery = 10,
      .PrintWindowLines = false,
      .FinalLineOfItsOwn = true,
      .ReadParameters = ReadGenericoParameters,
      .PrepareMirror = PrepareGenericoMirror,
      .ComputeWindow = GenericoWindow,
  };
  return program;
}

template int RunAnamorphosis<FacetedMirror>(const Program<FacetedMirror>&, FacetedMirror&, Console&, const RunOptions&);

}  // namespace anamorfosi
