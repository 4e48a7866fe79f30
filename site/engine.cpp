// The engine's front end in the browser (compiled to WebAssembly): the
// registry's kinds as the page builds its form from them, and the print of a
// scene and a picture the browser decoded, with the view from the eye and its
// fidelity line, or the error with the field it concerns. It reads no file but
// the mirror's DXF and the PPM pictures the page put in the module's memory
// file system, starts no
// thread, and prints nothing: the page shows what comes back.
//
// The calls, a C interface for the page's worker:
//   anamorfosi_kinds()            the kinds' JSON (KindsJson, as the native code lists them)
//   anamorfosi_print(request, rgba, width, height)
//                                 0 when a print was made, 1 when refused; then
//   anamorfosi_result()           its JSON (below), valid until the next print
//   anamorfosi_cells(), anamorfosi_view()
//                                 the print's cells and the view, row-major RGB
//   anamorfosi_pdf(request)       the last print's PDF pages as drawing operations
//   anamorfosi_read_ppm(path), anamorfosi_picture()
//                                 a PPM picture read: 0 and its size in the
//                                 result, its RGBA; 1 and the error
//   anamorfosi_mesh(about, vertices, normals, vertexCount, corners, sizes, faces, file, fileSize)
//                                 a mesh mirror the page read, kept under its
//                                 path for the prints that name it
//   anamorfosi_closeup()          the close-up of the mirror, when asked for
//   anamorfosi_view_from(request) the last print seen from another eye: 0 and
//                                 the view (and close-up) in place of the last
//   anamorfosi_grid(grid)         the grid to draw by hand "CxR" laid out for
//                                 the page to draw (GridLayoutJson): 0 and its
//                                 JSON in the result; 1 and the error
//   the progress of a print is told to Module.onPrintProgress(row, rows), if set
#include <emscripten/emscripten.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "layout/grid_layout.h"
#include "layout/print_content.h"
#include "layout/print_pages.h"
#include "meshes/dxf_facets.h"
#include "meshes/mesh_file.h"
#include "pipeline/dxf_units.h"
#include "pipeline/mesh_arrays.h"
#include "pipeline/mirror_kinds.h"
#include "pipeline/print.h"
#include "pipeline/scene.h"
#include "pipeline/vista.h"
#include "formats/ppm.h"
#include "web/form.h"

namespace anamorfosi {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// What the last call made; its pixels stay here until the next one, so that
// the page copies them out of the module's memory without another copy in C++.
struct Made {
  Print Sheet;
  SceneView View;
  // The close-up of the mirror from the same eye, when the request asks for it.
  SceneView CloseUp;
  std::string Result;
  // The scene the last print was made from, for its PDF.
  Scene Printed;
  // The last PPM picture read, as RGBA for the page.
  std::vector<std::uint8_t> Picture;
  // The mesh mirrors the page read, by the path the scene names them by,
  // each with what is wrong with its file's layout (empty when nothing is).
  std::map<std::string, std::pair<MeshArrays, std::string>> Meshes;
};
Made& Last() {
  static Made made;
  return made;
}

// The mesh files a mirror may be read from (the page reads them; a DXF is
// read here from the module's memory file system).
bool MeshExtension(const std::string& file) {
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = file.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == "stl" || ext == "obj" || ext == "ply" || ext == "off" || ext == "gltf" || ext == "glb" ||
         ext == "3mf";
}

// Mirror files in the browser: a mesh the page read (anamorfosi_mesh), a DXF's
// 3DFACEs from the module's memory; half the module's most memory (2 GB) for
// the mirror, as the command takes half the machine's.
MirrorFileReader BrowserMirrors() {
  MirrorFileReader reader;
  reader.Facets = [](const std::string& file, FacetSet& set, const FacetLoadOptions& options) {
    const auto& meshes = Last().Meshes;
    if (const auto m = meshes.find(file); m != meshes.end()) {
      if (!m->second.second.empty()) throw PrintError(m->second.second, "mirror");
      FacetsOfMeshArrays(m->second.first, file, set, options);
      return;
    }
    if (MeshExtension(file)) throw PrintError(file + ": the mesh has not been read: choose the file again", "mirror");
    LoadDxfFacets(file, set, options);
  };
  reader.MeshFormat = [](const std::string& file) -> std::optional<std::string> {
    const auto& meshes = Last().Meshes;
    if (const auto m = meshes.find(file); m != meshes.end()) return m->second.first.Format;
    return std::nullopt;
  };
  reader.MemoryBudget = 1ULL << 30;
  return reader;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The print's progress told to the page: Module.onPrintProgress(row, rows),
// when the worker set it, at most once a hundredth of the rows.
EM_JS(void, TellProgress, (int row, int rows), {
  if (Module.onPrintProgress) Module.onPrintProgress(row, rows);
});
std::function<void(int, int)> ProgressToPage() {
  return [told = -1](int row, int rows) mutable {
    const int step = std::max(1, (rows + 99) / 100);
    if (row / step == told) return;
    told = row / step;
    TellProgress(row, rows);
  };
}

// The close-up's width asked by a request: "closeup" true is the view's
// width, a number its own (the page shows it smaller than the view); 0 none.
int CloseUpWidth(const json& request, int viewWidth) {
  const json c = request.value("closeup", json(false));
  const int width = c.is_boolean() ? (c.get<bool>() ? viewWidth : 0) : c.is_number() ? c.get<int>() : -1;
  if (width < 0 || width > 4000) throw PrintError("closeup: must be 0 to 4000 pixels wide", "closeup");
  return width;
}

// The last print seen from eye (the scene's own when the request gives none),
// view pixels wide, and its close-up when asked: what the eye sees of a print
// made for another place. The print is not made again.
std::string ViewFrom(const std::string& requestText) {
  Made& made = Last();
  if (made.Sheet.Cells.Rgb.empty()) throw PrintError("there is no print to look at: make the print again");
  json request;
  try {
    request = json::parse(requestText);
  } catch (const json::exception& e) {
    throw PrintError(std::string("the request cannot be read (") + e.what() + ")");
  }
  Scene scene = made.Printed;
  if (request.contains("eye")) {
    const json& e = request["eye"];
    if (!e.is_array() || e.size() != 3 || !e[0].is_number() || !e[1].is_number() || !e[2].is_number())
      throw PrintError("eye: must be three numbers", "eye");
    scene.Eye = {static_cast<Real>(e[0].get<double>()), static_cast<Real>(e[1].get<double>()),
                 static_cast<Real>(e[2].get<double>())};
  }
  if (!(scene.Eye.z > 0)) throw PrintError("eye: must be above the sheet (Z > 0)", "eye");
  const int viewWidth = request.value("view", 0);
  if (viewWidth < 1 || viewWidth > 4000) throw PrintError("view: must be 1 to 4000 pixels wide", "view");
  const auto start = std::chrono::steady_clock::now();
  const MirrorFileReader mirrors = BrowserMirrors();
  const PrintedSheet sheet = SheetOf(made.Sheet, nullptr);
  made.View = ViewScene(scene, mirrors, sheet, viewWidth, 1);
  const int closeUpWidth = CloseUpWidth(request, viewWidth);
  made.CloseUp = closeUpWidth > 0 ? ViewScene(scene, mirrors, sheet, ViewFrame(closeUpWidth, true), 1) : SceneView{};
  ordered_json out;
  out["view_width"] = made.View.Image.Width;
  out["view_height"] = made.View.Image.Height;
  out["closeup_width"] = made.CloseUp.Image.Width;
  out["closeup_height"] = made.CloseUp.Image.Height;
  out["eye"] = {static_cast<double>(scene.Eye.x), static_cast<double>(scene.Eye.y), static_cast<double>(scene.Eye.z)};
  out["view_seconds"] = Seconds(start);
  return out.dump();
}

// The browser's RGBA as the picture a scene maps: blended onto white where it
// is partly transparent, as the command reads a PNG; a picture opaque all over
// keeps no alpha, as a file without one.
InputPicture PictureOfRgba(const std::uint8_t* rgba, int width, int height) {
  if (width < 1 || height < 1) throw PrintError("picture: it has no pixels", "picture");
  if (!WithinLimits(width, height, PictureLimits{}))
    throw PrintError("picture: " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large",
                     "picture");
  InputPicture p;
  p.Width = width;
  p.Height = height;
  const std::size_t n = static_cast<std::size_t>(width) * height;
  p.Rgb.resize(n * 3);
  bool opaque = true;
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) p.Rgb[i * 3 + k] = rgba[i * 4 + k];
    opaque = opaque && rgba[i * 4 + 3] == 255;
  }
  if (!opaque) {
    p.Alpha.resize(n);
    for (std::size_t i = 0; i < n; ++i) p.Alpha[i] = rgba[i * 4 + 3];
    CompositeOntoWhite(p);
  }
  p.MaxValue = 255;
  return p;
}

// The face of the largest fill whose print, with the mirror's footprint, fits
// one sheet of the paper inside the PDF's usual margins, as the command's
// --fit chooses it (the page's "fit on one sheet"), into s.PictureFace.
void FitFace(Scene& s, const MirrorFileReader& mirrors, const MirrorKindEntry& kind, FaceRequest& face,
             const std::string& fit, std::vector<std::string>& chosen) {
  const std::optional<Paper> paper = ParsePaper(fit);
  if (!paper || paper->None)
    throw PrintError("fit: must be A4, A3, A2, Letter, Legal, Tabloid or WxH in mm, got \"" + fit + "\"", "fit");
  const PdfOptions page{*paper};
  Scene trial = s;
  bool tried = false;
  double best = 0, smallestW = 0, smallestH = 0;
  PageGrid grid;
  face.Fits = [&](double f, const Face& candidate) {
    // The module computes in double: the face is as a scene file stores it.
    trial.PictureFace = candidate;
    const OutputWindow w = SceneWindow(trial, mirrors);
    try {
      grid = PlanPages(PrintWidthMm(trial, w), PrintHeightMm(trial, w), page.PaperSize, page.MarginMm,
                       page.OverlapMm, page.Orientation);
    } catch (const std::invalid_argument&) {
      throw PrintError("fit " + fit + ": the paper leaves no room inside its margins for a print", "fit");
    }
    const bool one = grid.Columns * grid.Rows == 1;
    if (!tried || f < 0.0015) smallestW = PrintWidthMm(trial, w), smallestH = PrintHeightMm(trial, w);
    tried = true;
    if (one) best = std::max(best, f);
    return one;
  };
  std::string why;
  bool found = false;
  try {
    found = kind.AutomaticFace(s, mirrors, face, s.PictureFace, why);
  } catch (const PrintError&) {
    if (!tried || best > 0) throw;
  }
  if (!found) {
    if (!tried || best > 0) throw PrintError("no picture face works for this mirror and eye: " + why, "eye");
    throw PrintError("fit " + fit + ": even the smallest face (fill 0.001) makes a print of " +
                     KindFixed(smallestW, 1) + " x " + KindFixed(smallestH, 1) + " mm, more than one sheet holds (" +
                     KindFixed(grid.AreaWidthMm, 1) + " x " + KindFixed(grid.AreaHeightMm, 1) +
                     " mm inside its margins)",
                     "fit");
  }
  chosen.push_back("fit: fill " + KindNumber(best) + ", the largest face whose print fits one " + paper->Name +
                   " sheet");
}

// The faces the automatic search found lately, by the values it depends on.
struct FoundFace {
  std::string Key;
  Face Placed;
  std::vector<std::string> Chosen;  // what the report says of the choice
};
std::vector<FoundFace>& FoundFaces() {
  static std::vector<FoundFace> found;
  return found;
}
// Each number exactly (hexadecimal floating point), so that only the very same values match.
std::string FaceKey(const ordered_json& given, Point3 eye, const FaceRequest& request) {
  char numbers[200];
  std::snprintf(numbers, sizeof numbers, "|%a|%a|%a|%a|%a", static_cast<double>(eye.x), static_cast<double>(eye.y),
                static_cast<double>(eye.z), static_cast<double>(request.Aspect), static_cast<double>(request.Fill));
  return given["mirror"].dump() + "|" + given.value("units", std::string("mm")) + numbers;
}
const FoundFace* KnownFace(const std::string& key) {
  for (const FoundFace& f : FoundFaces())
    if (f.Key == key) return &f;
  return nullptr;
}
void RememberFace(const std::string& key, const Face& face, const std::vector<std::string>& chosen) {
  // A few sets of values, for a reader going back and forth between them.
  constexpr std::size_t kFacesKept = 16;
  std::vector<FoundFace>& found = FoundFaces();
  if (found.size() == kFacesKept) found.erase(found.begin());
  found.push_back({key, face, chosen});
}

// The scene of the request: the scene file's JSON, in which the page may leave
// out the eye (the kind's usual one is placed) and the face (the automatic
// one, fill "fill" of the request, default 0.9), as the command does without
// --eye and --face, or name the face's DXF ("face_file") as --face does. The reader wants both: they are read as placeholders and
// then placed here.
Scene SceneOfRequest(const json& request, int width, int height, std::vector<std::string>& chosen) {
  if (!request.contains("scene") || !request["scene"].is_object()) throw PrintError("the request holds no scene");
  ordered_json given = request["scene"];
  // The picture face given as a DXF in the module's memory (the command's
  // --face FILE), in place of the automatic one.
  std::string faceFile;
  if (given.contains("face_file")) {
    if (!given["face_file"].is_string()) throw PrintError("face: the face's file must be named by its path", "face");
    faceFile = given["face_file"].get<std::string>();
    given.erase("face_file");
  }
  const bool placeEye = !given.contains("eye"), placeFace = !given.contains("face") && faceFile.empty();
  if (placeEye) given["eye"] = {0, 0, 1};
  if (!given.contains("face")) given["face"] = {{0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0}};
  if (!given.contains("picture") && !given.contains("grid")) given["picture"] = "picture";
  Scene s = ParseScene(given.dump(), "scene", "");
  // A grid to draw by hand: the page draws the grid the module laid out
  // (anamorfosi_grid) and gives its pixels as the picture.
  std::optional<std::pair<int, int>> grid;
  if (!s.Grid.empty()) {
    // The scene's reader has refused a grid that is not COLUMNSxROWS.
    grid = ParseGrid(s.Grid);
    chosen.push_back("grid: " + s.Grid + " cells to draw by hand");
  }
  const MirrorKindEntry& kind = KindEntry(s.Mirror.Kind);
  const MirrorFileReader mirrors = BrowserMirrors();
  if (kind.CheckMirror) kind.CheckMirror(s, mirrors);
  if (placeEye) {
    const EyeChoice e = kind.DefaultEye(s, mirrors);
    if (!e.Refusal.empty()) throw PrintError("eye: " + e.Refusal, "eye");
    s.Eye = e.Eye;
    chosen.push_back("eye: (" + KindNumber(s.Eye.x) + ", " + KindNumber(s.Eye.y) + ", " + KindNumber(s.Eye.z) +
                     ") (" + e.Why + ")");
  }
  if (!faceFile.empty()) {
    // The page always gives the units, as the command's --units does: the
    // face's numbers are taken in them, whatever its header states.
    const DxfUnits stated = ReadDxfUnits(faceFile);
    if (stated.State == DxfUnits::Status::kUnknown)
      throw PrintError(faceFile + ": its header states $INSUNITS " +
                           (stated.Value.empty() ? "without a value" : stated.Value) +
                           ", which is no unit of length (1 to 24, or 0 for none)",
                       "face");
    s.PictureFace = ReadFaceFile(faceFile, "picture face", mirrors);
    if (stated.State == DxfUnits::Status::kUnit && stated.Unit != s.Unit)
      chosen.push_back("units: " + faceFile + " states " + UnitsName(stated.Unit) + ", its numbers taken as " +
                       UnitsName(s.Unit) + " (--units)");
  }
  if (!(s.Eye.z > 0)) throw PrintError("eye: must be above the sheet (Z > 0, got " + KindNumber(s.Eye.z) + ")", "eye");
  if (const std::string why = kind.EyeRefusal(s); !why.empty()) throw PrintError("eye: " + why, "eye");
  if (placeFace) {
    if (!kind.AutomaticFace)
      throw PrintError("face: is needed for a " + std::string(kind.Words) + " (the picture face's DXF)", "face");
    FaceRequest face;
    // The page's preview maps a reduced copy of the picture onto the face the
    // whole picture has, so that its scene is the download's: "aspect" [w, h].
    const json aspect = request.value("aspect", json::array());
    if (grid)
      face.Aspect = static_cast<Real>(grid->first) / static_cast<Real>(grid->second);
    else if (aspect.is_array() && aspect.size() == 2 && aspect[0].is_number() && aspect[1].is_number() &&
        aspect[0].get<double>() > 0 && aspect[1].get<double>() > 0)
      face.Aspect = static_cast<Real>(aspect[0].get<double>()) / static_cast<Real>(aspect[1].get<double>());
    else
      face.Aspect = static_cast<Real>(width) / height;
    const double fill = request.value("fill", 0.9);
    if (!(fill > 0 && fill <= 1)) throw PrintError("fill: must be above 0 and at most 1", "fill");
    face.Fill = fill;
    // The face found for the same mirror values, units, eye, aspect, fill and
    // fit is taken again: the search costs most of a preview, and a change of
    // the accuracy or the picture does not move the face (the fit's search
    // sizes the print, so there the whole scene counts). A mirror read from a
    // file is searched each time (the file may have been replaced).
    const std::string fit = request.value("fit", std::string());
    const bool remembered = !given["mirror"].contains("file");
    const std::string key =
        remembered ? FaceKey(given, s.Eye, face) + "|" + fit + (fit.empty() ? "" : "|" + given.dump()) : std::string();
    if (const FoundFace* known = remembered ? KnownFace(key) : nullptr) {
      s.PictureFace = known->Placed;
      chosen.insert(chosen.end(), known->Chosen.begin(), known->Chosen.end());
    } else {
      std::vector<std::string> found;
      if (fit.empty()) {
        std::string why;
        if (!kind.AutomaticFace(s, mirrors, face, s.PictureFace, why))
          throw PrintError("no picture face works for this mirror and eye: " + why, "eye");
      } else {
        FitFace(s, mirrors, kind, face, fit, found);
      }
      if (remembered) RememberFace(key, s.PictureFace, found);
      chosen.insert(chosen.end(), found.begin(), found.end());
    }
  }
  return s;
}

// The footprint and the eye in mm on the print, from its top-left corner (as
// the PDF draws them).
json PlaceOnPrint(const Scene& scene, const Print& print) {
  const OutputWindow& w = print.Report.Window;
  const double mm = MillimetresPerUnit(scene.Unit);
  auto sx = [&](Real x) { return static_cast<double>(x - w.MinX) * mm; };
  auto sy = [&](Real y) { return static_cast<double>(w.MaxY - y) * mm; };
  const Footprint& f = print.Report.Mirror;
  json j = {{"circle", f.Circle}, {"centre", {sx(f.CentreX), sy(f.CentreY)}},
            {"radius", static_cast<double>(f.Radius) * mm}, {"segments", json::array()}};
  for (const auto& g : f.Segments) j["segments"].push_back({sx(g.X0), sy(g.Y0), sx(g.X1), sy(g.Y1)});
  j["eye"] = {sx(scene.Eye.x), sy(scene.Eye.y), static_cast<double>(scene.Eye.z) * mm};
  return j;
}

std::string MakeAll(const std::string& requestText, const std::uint8_t* rgba, int width, int height) {
  Made& made = Last();
  made.Sheet = Print{};
  made.View = SceneView{};
  made.CloseUp = SceneView{};
  made.Printed = Scene{};
  const auto start = std::chrono::steady_clock::now();
  json request;
  try {
    request = json::parse(requestText);
  } catch (const json::exception& e) {
    throw PrintError(std::string("the request cannot be read (") + e.what() + ")");
  }
  std::vector<std::string> chosen;
  const Scene given = SceneOfRequest(request, width, height, chosen);
  // The full print of a grid maps the grid as the command draws it: its cells
  // kGridCellPixels pixels a side (a preview maps a reduced copy).
  if (const auto grid = ParseGrid(given.Grid); grid && !request.value("preview", json()).is_object() &&
                                                (width != grid->first * kGridCellPixels ||
                                                 height != grid->second * kGridCellPixels))
    throw PrintError("grid: the picture given is " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels, not the grid's " + std::to_string(grid->first * kGridCellPixels) + " x " +
                         std::to_string(grid->second * kGridCellPixels),
                     "grid");
  const MirrorFileReader mirrors = BrowserMirrors();
  PrintSettings settings;
  settings.Threads = 1;
  settings.Mirrors = mirrors;
  settings.Progress = ProgressToPage();
  // A preview ({"pixels", "accuracy", "antialias"}) is the print of the same
  // scene with fewer cells; its report, scene and sizes tell the print the
  // scene makes (its window settled, no pixel mapped), which the download makes.
  Scene scene = given;
  std::optional<OutputWindow> downloadWindow;
  if (const json preview = request.value("preview", json()); preview.is_object()) {
    PrintSettings windowOnly = settings;
    windowOnly.MapPixels = false;
    windowOnly.Progress = nullptr;
    MemoryPicture same(PictureOfRgba(rgba, width, height));
    downloadWindow = MakePrint(given, same, windowOnly).Report.Window;
    scene.Pixels = preview.value("pixels", 400);
    scene.Accuracy = preview.value("accuracy", 2);
    scene.Antialias = preview.value("antialias", 1);
    if (scene.Pixels < 16 || scene.Accuracy < 1 || scene.Antialias < 1)
      throw PrintError("preview: needs at least 16 cells and one sample");
  }
  MemoryPicture picture(PictureOfRgba(rgba, width, height));
  made.Sheet = MakePrint(scene, picture, settings);
  made.Printed = scene;
  const double printSeconds = Seconds(start);
  const Print& print = made.Sheet;
  const PrintReport& r = print.Report;
  const OutputWindow& w = downloadWindow ? *downloadWindow : r.Window;
  const Scene& told = downloadWindow ? given : scene;

  ordered_json out;
  // The cells given back: the print made (the preview's own when a preview).
  out["width"] = r.Window.Width;
  out["height"] = r.Window.Height;
  out["cell_mm"] = static_cast<double>(w.CellSize) * MillimetresPerUnit(told.Unit);
  out["width_mm"] = PrintWidthMm(told, w);
  out["height_mm"] = PrintHeightMm(told, w);
  out["place"] = PlaceOnPrint(scene, print);
  // Where to stand the mirror and look from, for the page's words and the PDF's.
  {
    const PdfContent c = PdfContentOf(told, print, "", "");
    if (const auto p = PlacementOf(c.Footprint, c.HasEye, c.Eye))
      out["placement"] = {{"circle", p->Circle}, {"has_eye", p->HasEye}, {"distance_mm", p->DistanceMm},
                          {"height_mm", p->HeightMm}, {"lines", PlacementLines(*p)}};
  }
  // The sheets the PDF needs on each named paper (tiles, and the pages with the
  // assembly page), as the PDF cuts the print with its usual margins.
  out["sheets"] = ordered_json::object();
  for (const Paper& paper : StandardPapers()) {
    const PdfOptions page{paper};
    try {
      const PageGrid g = PlanPages(PrintWidthMm(told, w), PrintHeightMm(told, w), paper, page.MarginMm,
                                   page.OverlapMm, page.Orientation);
      out["sheets"][paper.Name] = {{"tiles", g.Columns * g.Rows}, {"pages", g.Pages()}};
    } catch (const std::invalid_argument&) {
    }
  }
  if (downloadWindow) out["download"] = {{"width", w.Width}, {"height", w.Height}};
  // The eye and the middle of the mirror's footprint in the scene's units: the
  // page moves the eye round that middle to show the print from elsewhere.
  out["eye"] = {static_cast<double>(scene.Eye.x), static_cast<double>(scene.Eye.y), static_cast<double>(scene.Eye.z)};
  const auto [middleX, middleY] = FootprintMiddle(r.Mirror);
  out["mirror_middle"] = {static_cast<double>(middleX), static_cast<double>(middleY)};
  // The scene as the command's PNG carries it: with its window, so that a
  // rerun of it checks that it makes this very print.
  Scene recorded = told;
  recorded.Window = w;
  out["scene"] = SceneToJson(recorded, "");
  const MirrorKindEntry& kind = KindEntry(scene.Mirror.Kind);
  std::vector<std::string> report = {std::string("mirror: ") + kind.Words + kind.ReportDetails(told, r)};
  report.insert(report.end(), chosen.begin(), chosen.end());
  report.push_back("print: " + std::to_string(w.Width) + " x " + std::to_string(w.Height) + " cells" +
                   (told.Pixels == 0 ? " at " + KindNumber(told.Dpi) + " dpi" : "") + ", " +
                   KindFixed(PrintWidthMm(told, w), 1) + " x " + KindFixed(PrintHeightMm(told, w), 1) +
                   " mm, print at 100 %");
  std::vector<std::string> warnings;
  if (r.Misses.MissCount > 0)
    warnings.push_back("warning: " + std::to_string(r.Misses.MissCount) +
                       " sight rays missed the mirror or did not reach the sheet: the print is not correct there");
  // A preview's notes are its own few cells' (its picture read smaller, ...), not the download's.
  if (!downloadWindow)
    for (const std::string& note : r.Notes) warnings.push_back("note: " + note);

  const int viewWidth = request.value("view", 0);
  if (viewWidth < 0 || viewWidth > 4000) throw PrintError("view: must be 0 to 4000 pixels wide", "view");
  const auto viewStart = std::chrono::steady_clock::now();
  if (viewWidth > 0) {
    const PrintedSheet sheet = SheetOf(print, nullptr);
    made.View = ViewScene(scene, mirrors, sheet, viewWidth, 1);
    if (const int closeUpWidth = CloseUpWidth(request, viewWidth); closeUpWidth > 0)
      made.CloseUp = ViewScene(scene, mirrors, sheet, ViewFrame(closeUpWidth, true), 1);
    // The share of sight rays within 8 levels, scored as the command scores a
    // print whose view it writes (one pixel of each automatic step).
    const VistaResult v = RestoreScene(scene, mirrors, print, sheet, 1, 1, 0);
    out["fidelity"] = FidelityLine(v.Score);
    const bool coarse = static_cast<double>(print.Source.Width) * print.Source.Height >
                        static_cast<double>(print.Cells.Width) * print.Cells.Height * r.Antialias * r.Antialias;
    const std::string cause = LikelyCause(v.Score, coarse);
    out["fidelity_warning"] =
        cause.empty() ? "" : "warning: the print is not faithful: " + KindFixed(WithinPercent(v.Score), 1) +
                                 "% of the sight rays see the picture within 8 levels (at least " +
                                 KindFixed(kFaithfulPercent, 0) + "% expected); likely cause: " + cause;
    if (made.View.Stats.SecondHits > 0)
      warnings.push_back("note: " + std::to_string(made.View.Stats.SecondHits) + " of the view's " +
                         std::to_string(made.View.Stats.Rays) +
                         " sight rays meet the mirror a second time; they are drawn as table");
  }
  out["view_width"] = made.View.Image.Width;
  out["view_height"] = made.View.Image.Height;
  out["closeup_width"] = made.CloseUp.Image.Width;
  out["closeup_height"] = made.CloseUp.Image.Height;
  out["report"] = report;
  out["warnings"] = warnings;
  out["print_seconds"] = printSeconds;
  out["view_seconds"] = Seconds(viewStart);
  return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The JSON of a refusal, {"error", "field"}; a message that is not UTF-8
// (a file's name) has its bad bytes replaced.
std::string RefusalJson(const std::string& message, const std::string& field) {
  return json{{"error", message}, {"field", field}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

// How one of the module's calls words its refusals: the field of any failure
// that names none, and what a lack of memory is told as, with its field.
struct Refusals {
  std::string Field;
  std::string OutOfMemory;
  std::string OutOfMemoryField;
};
// Runs one of the module's calls: 0 and call's answer in the result; or 1 and
// the refusal: a PrintError with its own field, a PPM's fault in English, a
// lack of memory and any other failure as refusals says.
template <class Call>
int Answer(const Refusals& refusals, const Call& call) {
  Made& made = Last();
  try {
    made.Result = call(made);
    return 0;
  } catch (const PrintError& e) {
    made.Result = RefusalJson(e.what(), e.Field);
  } catch (const PpmError& e) {
    made.Result = RefusalJson(PpmEnglishText(e), refusals.Field);
  } catch (const std::bad_alloc&) {
    made.Result = RefusalJson(refusals.OutOfMemory, refusals.OutOfMemoryField);
  } catch (const std::exception& e) {
    made.Result = RefusalJson(e.what(), refusals.Field);
  }
  return 1;
}

}  // namespace
}  // namespace anamorfosi

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* anamorfosi_kinds() {
  static const std::string kinds = anamorfosi::KindsJson().dump();
  return kinds.c_str();
}

EMSCRIPTEN_KEEPALIVE int anamorfosi_print(const char* request, const std::uint8_t* rgba, int width, int height) {
  using namespace anamorfosi;
  const int status = Answer({"", "not enough memory for this print (lower the dpi)", "dpi"}, [&](Made&) {
    return MakeAll(request, rgba, width, height);
  });
  // A refused print leaves no print behind for the PDF or another eye.
  if (status != 0) Last().Sheet = {}, Last().View = {};
  return status;
}

// The last print's PDF pages as drawing operations (PdfDocumentJson), laid out
// as the command lays out its PDF, for the page to draw with its PDF library:
// request {"paper": "A4", "date": "2026-12-10"}. 0 and the pages' JSON in the
// result; 1 and the error.
EMSCRIPTEN_KEEPALIVE int anamorfosi_pdf(const char* requestText) {
  using namespace anamorfosi;
  return Answer({"paper", "not enough memory for the PDF's pages", "paper"}, [&](Made& made) {
    if (made.Sheet.Cells.Rgb.empty()) throw PrintError("there is no print to lay out: make the print again");
    const json request = json::parse(requestText);
    const std::string paperName = request.value("paper", "A4");
    const std::optional<Paper> paper = ParsePaper(paperName);
    if (!paper) throw PrintError("paper: must be A4, A3, A2, Letter, Legal, Tabloid, none or WxH in mm", "paper");
    PdfOptions options;
    options.PaperSize = *paper;
    Scene recorded = made.Printed;
    recorded.Window = made.Sheet.Report.Window;
    PdfContent content =
        PdfContentOf(made.Printed, made.Sheet, SceneToJson(recorded, ""), request.value("date", std::string()));
    // The grid to copy from comes first, square, as the command's PDF has it.
    if (!made.Printed.Grid.empty()) content.PlainGrid = &made.Sheet.Source;
    return PdfDocumentJson(LayOutPrintPdf(content, options));
  });
}

// A PPM picture (the programs' own, which browsers do not decode) the page put
// in the module's memory at path, read by the programs' reader within the
// command's limits: 0 and its size in the result, its RGBA from
// anamorfosi_picture(); 1 and the error in the result.
EMSCRIPTEN_KEEPALIVE int anamorfosi_read_ppm(const char* path) {
  using namespace anamorfosi;
  return Answer({"picture", "not enough memory for this picture", "picture"}, [&](Made& made) {
    made.Picture.clear();
    made.Picture.shrink_to_fit();
    const PictureLimits limits;
    const InputPicture p = ReadPicture(path, &limits);
    const std::size_t pixels = static_cast<std::size_t>(p.Width) * p.Height;
    made.Picture.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
      std::copy_n(&p.Rgb[i * 3], 3, &made.Picture[i * 4]);
      made.Picture[i * 4 + 3] = 255;
    }
    return json{{"width", p.Width}, {"height", p.Height}}.dump();
  });
}

// A mesh mirror the page read (its reader, in the browser): about is
// {"path", "format", "unit_mm", "y_up"}; vertexCount vertices (x, y, z each),
// their normals (or null), faces faces of sizes[k] corners each (3 or 4) in
// corners; the file's own bytes (fileSize of them), whose layout a PLY's or an
// OFF's reader takes on trust, checked here as the command checks them. Kept
// under its path, replacing a mesh of that path, until the page gives
// another; the prints check it as the command checks a mesh file and refuse
// it with what is wrong with its layout. 0; 1 and the error in the result.
EMSCRIPTEN_KEEPALIVE int anamorfosi_mesh(const char* about, const double* vertices, const double* normals,
                                         int vertexCount, const std::uint32_t* corners, const std::uint8_t* sizes,
                                         int faces, const char* file, int fileSize) {
  using namespace anamorfosi;
  return Answer({"mirror", "not enough memory for the mirror's triangles", "mirror"}, [&](Made& made) {
    const json a = json::parse(about);
    const std::string path = a.at("path").get<std::string>();
    made.Meshes.erase(path);
    MeshArrays mesh;
    mesh.Format = a.value("format", std::string());
    mesh.FileUnitMm = a.value("unit_mm", 0.0);
    mesh.YUp = a.value("y_up", false);
    const std::size_t n = static_cast<std::size_t>(std::max(vertexCount, 0)) * 3;
    mesh.Vertices.assign(vertices, vertices + n);
    if (normals) mesh.Normals.assign(normals, normals + n);
    mesh.Sizes.assign(sizes, sizes + std::max(faces, 0));
    std::size_t total = 0;
    for (const std::uint8_t k : mesh.Sizes) total += k;
    mesh.Corners.assign(corners, corners + total);
    std::string problem;
    const std::size_t size = static_cast<std::size_t>(std::max(fileSize, 0));
    if (mesh.Format == "PLY") problem = PlyCountProblem(file, size);
    if (mesh.Format == "OFF") problem = OffLayoutProblem(file, size);
    if (!problem.empty()) problem = path + ": " + mesh.Format + ": " + problem;
    made.Meshes[path] = {std::move(mesh), problem};
    return std::string("{}");
  });
}

// The grid to draw by hand, "12x8", laid out as the command draws it at
// kGridCellPixels a cell: its lines, its labels and their room, for the page to
// draw on a canvas and give back as a scene's picture. 0 and the layout's JSON
// in the result; 1 and the error.
EMSCRIPTEN_KEEPALIVE int anamorfosi_grid(const char* gridText) {
  using namespace anamorfosi;
  return Answer({"grid", "not enough memory for the grid", "grid"}, [&](Made&) {
    const auto grid = ParseGrid(gridText);
    if (!grid) throw PrintError(std::string("grid: \"") + gridText + "\" must be COLUMNSxROWS, each 1 to " + std::to_string(kMaxGridCells), "grid");
    const GridLayout layout = LayOutGrid(grid->first, grid->second, kGridCellPixels, 1LL << 30);
    if (!WithinLimits(layout.Width, layout.Height, PictureLimits{}))
      throw PrintError("grid: " + std::string(gridText) + " is too large a picture", "grid");
    return GridLayoutJson(layout);
  });
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* anamorfosi_picture() { return anamorfosi::Last().Picture.data(); }

EMSCRIPTEN_KEEPALIVE const char* anamorfosi_result() { return anamorfosi::Last().Result.c_str(); }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* anamorfosi_cells() { return anamorfosi::Last().Sheet.Cells.Rgb.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* anamorfosi_view() { return anamorfosi::Last().View.Image.Rgb.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* anamorfosi_closeup() {
  return anamorfosi::Last().CloseUp.Image.Rgb.data();
}

// The last print seen from another eye, {"eye": [x, y, z], "view": width,
// "closeup": true or its width}: 0 and its sizes in the result, the pixels from
// anamorfosi_view() and anamorfosi_closeup(); 1 and the error. The last print
// and its PDF stay as they are.
EMSCRIPTEN_KEEPALIVE int anamorfosi_view_from(const char* request) {
  using namespace anamorfosi;
  return Answer({"", "not enough memory for this view", ""}, [&](Made&) { return ViewFrom(request); });
}

}  // extern "C"
