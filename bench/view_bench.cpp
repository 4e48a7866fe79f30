// Times of the view from the eye and of the restored picture, apart from the
// making of the print they look at (which is made once, first).
//
//   view_bench scene SCENE.json [WIDTH [REPEATS [THREADS]]]
//   view_bench program NAME PARAMETERS [WIDTH [REPEATS [THREADS]]]
//   view_bench print SCENE.json OUT.png [THREADS]
//       the stages of the scene's print, then its PNG written with several
//       compression levels and row filters
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>

#include "picture/picture_file.h"
#include "pipeline/pipeline_files.h"
#include "programs/run.h"
#include "pipeline/vista.h"

using namespace anamorfosi;

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int TimePrint(const std::string& sceneFile, const std::string& out, int threads) {
  const Scene scene = ReadSceneFile(sceneFile);
  PrintSettings settings;
  settings.Threads = threads;
  const auto t0 = std::chrono::steady_clock::now();
  const Print made = MakePrint(scene, settings);
  const double total = Seconds(std::chrono::steady_clock::now() - t0);
  const PrintReport& r = made.Report;
  std::printf("print %d x %d cells, antialias %d, picture %d x %d, %d threads\n", r.Window.Width, r.Window.Height,
              r.Antialias, made.Source.Width, made.Source.Height, threads);
  std::printf("  picture and mirror %8.3f s\n", total - r.WindowSeconds - r.MappingSeconds - r.CellSeconds);
  std::printf("  window             %8.3f s\n", r.WindowSeconds);
  std::printf("  mapping            %8.3f s\n", r.MappingSeconds);
  std::printf("  cells and marks    %8.3f s\n", r.CellSeconds);
  const struct {
    int level, filters;
    const char* name;
  } ways[] = {{6, 0, "level 6, libpng's filters"}, {3, 0, "level 3, libpng's filters"},
              {1, 0, "level 1, libpng's filters"}, {1, PNG_FILTER_SUB, "level 1, sub filter"},
              {1, PNG_FILTER_UP, "level 1, up filter"}, {1, PNG_FILTER_NONE, "level 1, no filter"},
              {3, PNG_FILTER_SUB, "level 3, sub filter"}};
  for (const auto& w : ways) {
    PngWriteOptions o;
    o.CompressionLevel = w.level;
    o.Filters = w.filters;
    const auto a = std::chrono::steady_clock::now();
    WritePngFile(out, made.Cells, o);
    const double s = Seconds(std::chrono::steady_clock::now() - a);
    std::FILE* f = std::fopen(out.c_str(), "rb");
    long size = 0;
    if (f != nullptr) {
      std::fseek(f, 0, SEEK_END);
      size = std::ftell(f);
      std::fclose(f);
    }
    std::printf("  PNG, %-26s %8.3f s, %ld bytes\n", w.name, s, size);
  }
  return 0;
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "print" && argc >= 4) {
    try {
      return TimePrint(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : DefaultThreads());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "view_bench: %s\n", e.what());
      return 1;
    }
  }
  const int first = mode == "program" ? 4 : 3;
  if ((mode != "scene" && mode != "program") || argc < first) {
    std::fprintf(stderr, "usage: view_bench scene SCENE.json [WIDTH [REPEATS [THREADS]]]\n"
                         "       view_bench program NAME PARAMETERS [WIDTH [REPEATS [THREADS]]]\n");
    return 2;
  }
  const int width = argc > first ? std::atoi(argv[first]) : 1200;
  const int repeats = std::max(1, argc > first + 1 ? std::atoi(argv[first + 1]) : 5);
  const int threads = argc > first + 2 ? std::atoi(argv[first + 2]) : DefaultThreads();
  try {
    const Scene scene = mode == "program" ? ProgramScene(argv[2], argv[3]) : ReadSceneFile(argv[2]);
    PrintSettings settings;
    settings.Threads = threads;
    const auto t0 = std::chrono::steady_clock::now();
    const Print made = MakePrint(scene, settings);
    const double print = Seconds(std::chrono::steady_clock::now() - t0);
    const PrintedSheet sheet = SheetOf(made, nullptr);
    std::vector<double> views, restores;
    SceneView first;
    for (int k = 0; k < repeats; ++k) {
      const auto a = std::chrono::steady_clock::now();
      SceneView v = ViewScene(scene, sheet, width, threads);
      const auto b = std::chrono::steady_clock::now();
      const VistaResult r = RestoreScene(scene, made, sheet, 1, threads);
      const auto c = std::chrono::steady_clock::now();
      views.push_back(Seconds(b - a));
      restores.push_back(Seconds(c - b));
      // Every repetition must draw the same view.
      if (k == 0) first = std::move(v);
      else if (v.Image.Rgb != first.Image.Rgb) {
        std::fprintf(stderr, "view_bench: repetition %d drew another view\n", k + 1);
        return 1;
      }
    }
    std::printf("print %d x %d cells made in %.3f s on %d threads\n", made.Report.Window.Width,
                made.Report.Window.Height, print, threads);
    std::printf("view %d x %d pixels, %lld sight rays: median %.3f s, best %.3f s (%d runs)\n", first.Image.Width,
                first.Image.Height, first.Stats.Rays, Median(views), *std::min_element(views.begin(), views.end()),
                repeats);
    std::printf("restored %d x %d pixels: median %.3f s, best %.3f s\n", made.Source.Width, made.Source.Height,
                Median(restores), *std::min_element(restores.begin(), restores.end()));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "view_bench: %s\n", e.what());
    return 1;
  }
}
