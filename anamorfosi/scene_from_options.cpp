#include "anamorfosi/scene_from_options.h"

#include <algorithm>
#include <cmath>

#include "pipeline/auto_face.h"
#include "pipeline/dxf_units.h"
#include "layout/grid_picture.h"
#include "meshes/mesh_file.h"
#include "pipeline/pipeline_files.h"
#include "pipeline/print.h"

namespace anamorfosi {

namespace {

// Numbers as the reports write them.
std::string Fixed(double v, int decimals) { return KindFixed(v, decimals); }

// The value of a kind's option by its key: as given, or not given.
double MirrorNumber(const Options& o, const std::string& key) {
  const auto at = o.MirrorNumbers.find(key);
  return at == o.MirrorNumbers.end() ? std::nan("") : at->second;
}
std::string MirrorText(const Options& o, const std::string& key) {
  const auto at = o.MirrorTexts.find(key);
  return at == o.MirrorTexts.end() ? std::string() : at->second;
}
bool MirrorFlag(const Options& o, const std::string& key) {
  const auto at = o.MirrorFlags.find(key);
  return at != o.MirrorFlags.end() && at->second;
}

}  // namespace

Scene SceneFromOptions(const MirrorKindEntry& kind, const Options& o, std::vector<std::string>& chosen) {
  Scene s;
  s.Mirror.Kind = kind.Name;
  s.Picture = o.Picture;
  s.Grid = o.Grid;
  if (o.Picture.empty() == o.Grid.empty())
    throw UsageError(o.Grid.empty() ? "PICTURE: a picture file is needed, or --grid COLUMNSxROWS"
                                    : "--grid: draws its own picture; give PICTURE or --grid, not both",
                     o.Grid.empty() ? "picture" : "grid");
  if (!o.Grid.empty() && !ParseGrid(o.Grid))
    throw UsageError("--grid: \"" + o.Grid + "\" must be COLUMNSxROWS, each 1 to 200 (e.g. 12x8)", "grid");
  // Points given as X,Y, their Z placed once every value is read.
  std::vector<const KindParameter*> placeZ;
  for (const KindParameter& p : kind.Parameters) {
    const std::string option = std::string("--") + p.Option;
    switch (p.Value) {
      case KindValue::kPlanPoint:
        if (const std::string text = MirrorText(o, p.Key); !text.empty()) {
          const auto a = Numbers(text, 2, option);
          s.Mirror.AxisX = a[0];
          s.Mirror.AxisY = a[1];
        }
        break;
      case KindValue::kLength:
        NeedPositive(MirrorNumber(o, p.Key), option);
        s.Mirror.*p.Number = MirrorNumber(o, p.Key);
        break;
      case KindValue::kAngle: {
        const double given = MirrorNumber(o, p.Key);
        if (std::isnan(given)) {
          s.Mirror.*p.Number = std::stod(p.Default);
          break;
        }
        // Only a value whose flag is on means anything (--crease with --smooth).
        for (const KindParameter& flag : kind.Parameters)
          if (p.OnlyWith && flag.Value == KindValue::kFlag && p.OnlyWith == std::string(flag.Key) &&
              !MirrorFlag(o, flag.Key))
            throw UsageError(option + ": goes with --" + flag.Option, FieldOf(option));
        if (!(given >= 0 && given < CreaseBelowDegrees))
          throw UsageError(option + ": must be 0 or more and below 90 degrees (got " + KindNumber(given) + ")",
                           FieldOf(option));
        s.Mirror.*p.Number = given;
        break;
      }
      case KindValue::kFile: s.Mirror.*p.Text = MirrorText(o, p.Key); break;
      case KindValue::kFlag: s.Mirror.*p.Flag = MirrorFlag(o, p.Key); break;
      case KindValue::kPoint: {
        // Not given: its default, as the user would write it.
        std::string text = MirrorText(o, p.Key);
        if (text.empty()) text = p.Default;
        if (text.empty()) break;
        const std::size_t numbers = static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1;
        const auto a = Numbers(text, PointTakes(p, numbers) ? numbers : 3, option);
        s.Mirror.*p.Point = {a[0], a[1], a.size() == 3 ? a[2] : 0};
        if (a.size() == 2) placeZ.push_back(&p);
        break;
      }
    }
  }
  for (const KindParameter* p : placeZ) (s.Mirror.*p->Point).z = p->ZWhenLeftOut(s.Mirror);
  const std::string mirrorFile = s.Mirror.File;
  // The unit each DXF file states; one that states no unit of length is refused.
  auto stated = [](const std::string& file, const char* field) -> std::optional<Units> {
    const DxfUnits d = ReadDxfUnits(file);
    if (d.State == DxfUnits::Status::kUnknown)
      throw PrintError(file + ": its header states $INSUNITS " + (d.Value.empty() ? "without a value" : d.Value) +
                       ", which is no unit of length (1 to 24, or 0 for none)", field);
    if (d.State == DxfUnits::Status::kUnit) return d.Unit;
    return std::nullopt;
  };
  const bool mirrorDxf = !mirrorFile.empty() && MeshFileKindOf(mirrorFile).Format == MeshFormat::kDxf;
  std::optional<Units> faceUnit;
  if (!o.Face.empty()) faceUnit = stated(o.Face, "face");
  // A mesh in a format that states its unit is scaled into the drawing units by its reader.
  if (mirrorDxf) s.Mirror.FileUnit = stated(mirrorFile, "mirror");
  // The drawing units: the option, else the face's, else the mirror's, else mm.
  if (!o.Units.empty()) {
    const auto u = ParseUnits(o.Units);
    if (!u) throw UsageError("--units: must be one of " + UnitsList() + " (got \"" + o.Units + "\")", "units");
    s.Unit = *u;
    // The user's word is the last: every DXF's numbers are taken in it, whatever
    // its header states (a file written with a default unit it was not drawn in).
    for (const auto& [file, unit] : {std::pair{o.Face, faceUnit}, std::pair{mirrorFile, s.Mirror.FileUnit}}) {
      if (unit && *unit != s.Unit)
        chosen.push_back("units: " + file + " states " + UnitsName(*unit) + ", its numbers taken as " +
                         UnitsName(s.Unit) + " (--units)");
    }
    faceUnit.reset();
    s.Mirror.FileUnit.reset();
  }
  const std::optional<Units> mirrorUnit = s.Mirror.FileUnit;
  if (!o.Units.empty()) {
    // Given, and every file's numbers taken in it.
  } else if (faceUnit) {
    s.Unit = *faceUnit;
    chosen.push_back(std::string("units: ") + UnitsName(s.Unit) + " (stated by " + o.Face + ")");
  } else if (mirrorUnit) {
    s.Unit = *mirrorUnit;
    chosen.push_back(std::string("units: ") + UnitsName(s.Unit) + " (stated by " + mirrorFile + ")");
  }
  // A file in another unit keeps its own: its coordinates are scaled into the drawing units.
  for (const auto& [file, unit] : {std::pair{o.Face, faceUnit}, std::pair{mirrorFile, mirrorUnit}}) {
    if (unit && *unit != s.Unit)
      chosen.push_back("units: " + file + " states " + UnitsName(*unit) + ", its coordinates scaled into " +
                       UnitsName(s.Unit));
  }
  if (o.Pixels < 0) throw UsageError("--pixels: must be at least 1", "pixels");
  s.Pixels = o.Pixels;
  NeedPositive(o.Dpi, "--dpi");
  s.Dpi = o.Dpi;
  if (o.Accuracy < 1 || o.Accuracy > 20) throw UsageError("--accuracy: must be 1 to 20 (got " + std::to_string(o.Accuracy) + ")", "accuracy");
  s.Accuracy = o.Accuracy;
  if (o.Antialias < 0 || o.Antialias > 8) throw UsageError("--antialias: must be 1 to 8 (got " + std::to_string(o.Antialias) + ")", "antialias");
  if (o.Background != "white" && o.Background != "black")
    throw UsageError("--background: must be white or black (got \"" + o.Background + "\")", "background");
  s.BlackBackground = o.Background == "black";
  s.Marks = !o.NoMarks;
  s.ProgramWindow = o.ProgramWindow;
  if (o.ProgramWindow && o.Pixels < 1) throw UsageError("--program-window: needs --pixels, as the programs size their window by cells", "pixels");
  if (!(o.Fill > 0 && o.Fill <= 1)) throw UsageError("--fill: must be above 0 and at most 1 (got " + KindNumber(o.Fill) + ")", "fill");

  // The eye: given, or the default of the mirror.
  if (kind.CheckMirror) kind.CheckMirror(s, FileMirrorReader());
  if (!o.Eye.empty()) {
    const auto e = Numbers(o.Eye, 3, "--eye");
    s.Eye = {e[0], e[1], e[2]};
  } else {
    const EyeChoice e = kind.DefaultEye(s, FileMirrorReader());
    if (!e.Refusal.empty()) throw UsageError("--eye: " + e.Refusal, "eye");
    s.Eye = e.Eye;
    chosen.push_back("eye: " + PointText(AsStored(s.Eye)) + " (" + e.Why + ")");
  }
  if (!(s.Eye.z > 0)) throw UsageError("--eye: must be above the sheet (Z > 0, got " + KindNumber(s.Eye.z) + ")", "eye");
  if (const std::string why = kind.EyeRefusal(s); !why.empty()) throw UsageError("--eye: " + why, "eye");

  // The face: a DXF's, or the automatic one.
  if (!o.Face.empty()) {
    s.PictureFace = ReadFaceFile(o.Face, "picture face");
    if (faceUnit) s.PictureFace = ScaledFace(s.PictureFace, *faceUnit, s.Unit);
  } else {
    if (!kind.AutomaticFace)
      throw UsageError("--face: is needed for a " + std::string(kind.Words) + " (the picture face's DXF)", "face");
    const auto [width, height] = ScenePictureSize(s);
    FaceRequest request;
    request.Aspect = static_cast<Real>(width) / height;
    // The face of one fill, as the scene will hold it.
    auto faceOf = [&](double fill, Face& face) {
      request.Fill = fill;  // unless request.Fits chooses it
      std::string why;
      if (!kind.AutomaticFace(s, FileMirrorReader(), request, face, why))
        throw PrintError("no picture face works for this mirror and eye: " + why, "eye");
      face = {AsStored(face.C1), AsStored(face.C2), AsStored(face.C3), AsStored(face.C4)};
    };
    double fill = o.Fill;
    if (o.Fit.empty()) {
      faceOf(fill, s.PictureFace);
    } else {
      // The largest fill whose print, with the mirror's footprint, fits one
      // sheet of the paper inside its margins.
      PdfOptions page = PageOptionsOf(o);
      const std::optional<Paper> paper = ParsePaper(o.Fit);
      if (!paper || paper->None)
        throw UsageError("--fit: must be A4, A3, A2, Letter, Legal, Tabloid or WxH in mm (or WxHin), got \"" + o.Fit + "\"", "fit");
      page.PaperSize = *paper;
      Scene trial = s;
      bool tried = false;
      double best = 0, smallestW = 0, smallestH = 0;
      PageGrid grid;
      request.Fits = [&](double f, const Face& face) {
        trial.PictureFace = {AsStored(face.C1), AsStored(face.C2), AsStored(face.C3), AsStored(face.C4)};
        const OutputWindow w = SceneWindow(trial);
        if (!PagesOf(trial, w, page, grid))
          throw PrintError("--fit " + o.Fit + ": the paper leaves no room inside its margins for a print", "fit");
        const bool one = grid.Columns * grid.Rows == 1;
        if (!tried || f < 0.0015) smallestW = PrintWidthMm(trial, w), smallestH = PrintHeightMm(trial, w);
        tried = true;
        if (one) best = std::max(best, f);
        return one;
      };
      try {
        faceOf(fill, s.PictureFace);
      } catch (const PrintError&) {
        if (!tried || best > 0) throw;
        throw PrintError("--fit " + o.Fit + ": even the smallest face (fill 0.001) makes a print of " +
                         Fixed(smallestW, 1) + " x " + Fixed(smallestH, 1) + " mm, more than one sheet holds (" +
                         Fixed(grid.AreaWidthMm, 1) + " x " + Fixed(grid.AreaHeightMm, 1) + " mm inside its margins)",
                         "fit");
      }
      fill = best;
      chosen.push_back("fit: fill " + KindNumber(fill) + ", the largest face whose print fits one " + paper->Name + " sheet");
    }
    const Face& f = s.PictureFace;
    chosen.push_back("face: " + PointText(AsStored(f.C1)) + " " + PointText(AsStored(f.C2)) + " " +
                     PointText(AsStored(f.C3)) + " " + PointText(AsStored(f.C4)) + " (automatic, fill " +
                     KindNumber(fill) + ")");
  }
  s.Eye = AsStored(s.Eye);
  Face& f = s.PictureFace;
  f = {AsStored(f.C1), AsStored(f.C2), AsStored(f.C3), AsStored(f.C4)};
  s.Antialias = o.Antialias;  // 0 until the output's kind decides
  return s;
}

}  // namespace anamorfosi
