// Timing of the stages of a run (window, reading, mapping, writing) for any of
// the four programs, the mapping on several thread counts, the faceted mirror's
// index against a search of the whole table, and the picture files on their own.
// Also writes the large scenes that bench/run.sh measures.
//
//   anamorfosi_bench picture W H FILE
//       a plain picture of W x H pixels in varied colours
//   anamorfosi_bench faceted-cylinder X Y RADIUS Z0 Z1 TRIANGLES FILE
//       the DXF of a faceted cylinder of (about) that many triangles, or its
//       binary STL when FILE ends in .stl
//   anamorfosi_bench mesh FILE
//       the loading of a mirror file of any size (DXF or mesh) and the build of
//       its index, each timed
//   anamorfosi_bench run PROGRAM PARAMETERS [THREADS...]
//       the stages of one run of PROGRAM (specchio, cilindro, cono, generico) on
//       that parameter file; the mapping once per thread count (default: 1 and
//       all cores); every mapping must give the one-thread raster
//   anamorfosi_bench search PARAMETERS ROWS
//       generico: the mapping of the first ROWS rows through the index and
//       through a search of the whole facet table, one thread each
//   anamorfosi_bench machine
//       a fixed arithmetic loop on one thread and on every core at once: how
//       well the machine itself scales at that moment
//   anamorfosi_bench lattice PROGRAM PARAMETERS
//       the mapping on the face's sample lattice against the walk of every
//       pixel on its own: times, the cells that differ, and how far each such
//       cell's centre lies from an edge of the polygons that disagree over it
//   anamorfosi_bench photo-jpeg SOURCE WIDTH HEIGHT ORIENTATION FILE
//       a phone-like JPEG of the picture SOURCE, upright WIDTH x HEIGHT, stored
//       turned a quarter with EXIF orientation 6 when ORIENTATION is 6
//   anamorfosi_bench ppm INPUT OUTPUT
//       our reading of a picture (PPM, PNG or JPEG) and our writing of it as a
//       plain picture, or as PNG when OUTPUT ends in .png
//   anamorfosi_bench cells PRINT OTHER
//       two prints of one scene (say, of two builds) compared cell by cell: the
//       cells that differ and the largest difference; status 1 when their sizes
//       differ
//
// Times are wall-clock seconds; the processor seconds of the whole process are
// given as well, since the machine may be shared.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/cell_difference.h"
#include "cilindro/cilindro_program.h"
#include "cono/cono_program.h"
#include "generico/generico_program.h"
#include "testing/mapping_probes.h"
#include "meshes/mesh_file.h"
#include "testing/mesh_samples.h"
#include "testing/mesh_shapes.h"
#include "specchio/specchio_program.h"
#include "picture/picture_file.h"
#include "testing/picture_samples.h"
#include "stb_image_resize.h"

using namespace anamorfosi;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

struct Timer {
  double wall = Now(), cpu = CpuSeconds();
  double Wall() const { return Now() - wall; }
  double Cpu() const { return CpuSeconds() - cpu; }
};

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ULL;
  return h;
}

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "anamorfosi_bench: " << what << "\n";
  std::exit(2);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The best and median time of each thread count and the speed-ups over one
// thread: best against best, and the median of the pairs (each mapping against
// the one-thread mapping just before it, so that the machine's speed drifting
// between minutes cancels out).
void PrintSpeedUps(const std::map<int, std::vector<double>>& walls, const std::map<int, std::vector<double>>& pairs) {
  const auto one = walls.find(1);
  if (one == walls.end() || pairs.empty()) return;
  for (const auto& [t, w] : walls) {
    std::printf("  %d thread%s: %zu mapping%s, best %.3f s, median %.3f s", t, t == 1 ? "" : "s", w.size(),
                w.size() == 1 ? "" : "s", *std::min_element(w.begin(), w.end()), Median(w));
    const auto p = pairs.find(t);
    if (p != pairs.end()) {
      std::printf("; speed-up best/best %.2fx, median of pairs %.2fx (",
                  *std::min_element(one->second.begin(), one->second.end()) / *std::min_element(w.begin(), w.end()),
                  Median(p->second));
      for (std::size_t i = 0; i < p->second.size(); ++i) std::printf("%s%.2f", i == 0 ? "" : " ", p->second[i]);
      std::printf(")");
    }
    std::printf("\n");
  }
}

// Everything a run prepares before its first pixel, as RunAnamorphosis does it.
template <class Mirror>
struct Prepared {
  RunParameters params;
  Mirror mirror{};
  MappingSetup setup;
  MissRecord misses;
  double mirrorSeconds = 0, windowSeconds = 0;
};

template <class Mirror>
void Prepare(const Program<Mirror>& program, const std::string& parameterFile, Prepared<Mirror>& p) {
  std::istringstream in;
  std::ostringstream out;
  Console console{&in, &out};
  {
    TextFile file(parameterFile);
    program.ReadParameters(file, console, p.params, p.mirror);
  }
  p.setup.Accuracy = static_cast<int>(ClampAccuracy(p.params.Accuracy));
  p.setup.ProjectionCentre = p.params.ProjectionCentre;
  ReadFaceDxf(p.params.PictureDxfName, p.setup.PictureFace);
  Timer t;
  if (program.PrepareMirror) program.PrepareMirror(console, p.params, p.setup.PictureFace, p.mirror, p.setup);
  p.mirrorSeconds = t.Wall();
  std::vector<std::string> lines;
  Timer w;
  const WindowStatus status = program.ComputeWindow(p.mirror, p.params, p.setup.PictureFace,
                                                    LimitPixelCount(p.params.PixelCount), p.misses, p.setup.Window,
                                                    lines);
  p.windowSeconds = w.Wall();
  if (status != WindowStatus::kOk) Fail("the scene has no output window");
  p.setup.Window.HalfCell = p.setup.Window.CellSize / 2;
}

template <class Mirror>
int TimeStages(const Program<Mirror>& program, const std::string& name, const std::string& parameterFile,
               std::vector<int> threads) {
  Prepared<Mirror> p;
  Prepare(program, parameterFile, p);
  const OutputWindow& w = p.setup.Window;

  Timer r;
  const InputPicture picture = ReadInputPicture(p.params.InputPpmName);
  const double readSeconds = r.Wall();
  p.setup.FaceStep = run_detail::FaceStepOf(p.setup.PictureFace, picture.Width);
  p.setup.FaceSubStep = p.setup.FaceStep / p.setup.Accuracy;

  const double pixels = static_cast<double>(picture.Width) * picture.Height;
  const int raysPerPixel = 4 * p.setup.Accuracy + (p.setup.AxisExclusion ? 1 : 0);
  std::printf("%s: picture %dx%d, Accuracy %d, output %dx%d, %d rays a pixel\n", name.c_str(), picture.Width,
              picture.Height, p.setup.Accuracy, w.Width, w.Height, raysPerPixel);
  std::printf("  %-28s %8.3f s\n", "mirror (load, index)", p.mirrorSeconds);
  std::printf("  %-28s %8.3f s  (2601 rays)\n", "window", p.windowSeconds);
  std::printf("  %-28s %8.3f s  (%.1f Mpixel/s)\n", "reading", readSeconds, pixels / readSeconds / 1e6);

  OutputRaster raster;
  std::uint64_t reference = 0;
  double oneThread = 0;
  long long missesOfFirst = -1;
  // Wall times of every thread count, and the speed-up of every mapping on
  // more threads over the one-thread mapping just before it.
  std::map<int, std::vector<double>> walls;
  std::map<int, std::vector<double>> pairs;
  for (std::size_t i = 0; i < threads.size(); ++i) {
    ClearRaster(raster, w.Width, w.Height);
    MissRecord misses;
    Timer m;
    MapPicture(p.mirror, p.setup, picture, raster, threads[i], misses, [](int) {});
    const double wall = m.Wall(), cpu = m.Cpu();
    const std::uint64_t hash = Fnv(raster.Cells);
    if (i == 0) {
      reference = hash;
      missesOfFirst = misses.MissCount;
    } else if (hash != reference || misses.MissCount != missesOfFirst) {
      Fail(name + ": the mapping on " + std::to_string(threads[i]) + " threads differs from the first one");
    }
    if (threads[i] == 1) oneThread = wall;
    walls[threads[i]].push_back(wall);
    if (threads[i] != 1 && oneThread > 0) pairs[threads[i]].push_back(oneThread / wall);
    char label[64];
    std::snprintf(label, sizeof label, "mapping, %d thread%s", threads[i], threads[i] == 1 ? "" : "s");
    std::printf("  %-28s %8.3f s  (cpu %.3f s)  %.2f Mrays/s  %.3f Mpixel/s", label, wall, cpu,
                pixels * raysPerPixel / wall / 1e6, pixels / wall / 1e6);
    if (threads[i] != 1 && oneThread > 0) std::printf("  speed-up %.2fx", oneThread / wall);
    std::printf("\n");
  }
  if (missesOfFirst > 0) std::printf("  (%lld missed rays in the mapping)\n", missesOfFirst);
  PrintSpeedUps(walls, pairs);

  const std::string outName = p.params.OutputPpmName;
  Timer o;
  {
    OutputPicture output(outName);
    output.WriteHeader(picture, w.Width, w.Height);
    output.WritePixelsAndCommit(raster);
  }
  const double writeSeconds = o.Wall();
  std::printf("  %-28s %8.3f s  (%.1f Mcell/s)\n", "writing", writeSeconds,
              static_cast<double>(w.Width) * w.Height / writeSeconds / 1e6);
  std::printf("  %-28s %8ld kB\n", "peak resident memory", PeakKilobytes());
  return 0;
}

template <class Mirror>
int CompareLattice(const Program<Mirror>& program, const std::string& name, const std::string& parameterFile) {
  Prepared<Mirror> p;
  Prepare(program, parameterFile, p);
  const OutputWindow& w = p.setup.Window;
  const InputPicture picture = ReadInputPicture(p.params.InputPpmName);
  p.setup.FaceStep = run_detail::FaceStepOf(p.setup.PictureFace, picture.Width);
  p.setup.FaceSubStep = p.setup.FaceStep / p.setup.Accuracy;
  const bool rectangle = OnLattice(p.setup, picture.Height);
  std::printf("%s: picture %dx%d, Accuracy %d, output %dx%d, face %s\n", name.c_str(), picture.Width, picture.Height,
              p.setup.Accuracy, w.Width, w.Height, rectangle ? "a rectangle holding the picture: on the lattice" : "not on the lattice");
  if (!rectangle) return 0;
  const int threads = DefaultThreads();
  // The picture itself, then each pixel painted in a colour of its own number.
  InputPicture numbered = picture;
  const long pixels = static_cast<long>(picture.Width) * picture.Height;
  const bool numberable = pixels < (1L << 24) - 1;
  for (long i = 0; numberable && i < pixels; ++i) {
    const long v = i + 1;
    numbered.Rgb[i * 3] = static_cast<std::uint8_t>(v >> 16);
    numbered.Rgb[i * 3 + 1] = static_cast<std::uint8_t>(v >> 8);
    numbered.Rgb[i * 3 + 2] = static_cast<std::uint8_t>(v);
  }
  OutputRaster walked, lattice, walkedNumbers, latticeNumbers;
  MappingSetup walk = p.setup;
  walk.PerPixelWalk = true;
  MissRecord walkMisses, latticeMisses, ignored;
  auto map = [&](const MappingSetup& s, const InputPicture& pic, OutputRaster& r, MissRecord& m) {
    ClearRaster(r, w.Width, w.Height);
    Timer t;
    MapPicture(p.mirror, s, pic, r, threads, m, [](int) {});
    return t.Wall();
  };
  const double walkSeconds = map(walk, picture, walked, walkMisses);
  const double latticeSeconds = map(p.setup, picture, lattice, latticeMisses);
  long differing = 0;
  for (std::size_t i = 0; i < walked.Cells.size(); i += 3) {
    differing += walked.Cells[i] != lattice.Cells[i] || walked.Cells[i + 1] != lattice.Cells[i + 1] ||
                 walked.Cells[i + 2] != lattice.Cells[i + 2];
  }
  std::printf("  mapping on %d threads: walk of every pixel %.3f s, lattice %.3f s (%.2fx)\n", threads, walkSeconds,
              latticeSeconds, walkSeconds / latticeSeconds);
  std::printf("  missed rays: walk %lld, lattice %lld\n", walkMisses.MissCount, latticeMisses.MissCount);
  std::printf("  cells of another colour: %ld of %ld\n", differing, static_cast<long>(w.Width) * w.Height);
  if (!numberable) return 0;
  map(walk, numbered, walkedNumbers, ignored);
  map(p.setup, numbered, latticeNumbers, ignored);
  // Every cell painted by another pixel: its centre's distance to the nearest
  // edge among the two pixels' polygons, both ways of tracing.
  const int n = 4 * p.setup.Accuracy + 1;
  long other = 0;
  Real farthest = 0;
  std::map<int, long> byPower;  // cells by the power of ten of that distance, in cells
  for (int row = 1; row <= w.Height; ++row) {
    for (int col = 1; col <= w.Width; ++col) {
      const Rgb a = walkedNumbers.Get(col, row), b = latticeNumbers.Get(col, row);
      const long pa = (a.r << 16 | a.g << 8 | a.b) - 1, pb = (b.r << 16 | b.g << 8 | b.b) - 1;
      if (pa == pb) continue;
      ++other;
      if (other <= 3 && std::getenv("LATTICE_DEBUG")) {
        std::printf("  cell %d,%d: walk pixel %ld (%ld,%ld), lattice pixel %ld (%ld,%ld)\n", col, row, pa,
                    pa % picture.Width + 1, pa / picture.Width + 1, pb, pb % picture.Width + 1, pb / picture.Width + 1);
        for (const long px : {pa, pb}) {
          if (px < 0) continue;
          const int pc = static_cast<int>(px % picture.Width) + 1, pr = static_cast<int>(px / picture.Width) + 1;
          Point2 q[kMaxPolygon];
          PixelTrace t = TracePixel(p.mirror, walk, pc, pr, q, ignored);
          std::printf("    walk %d: paint %d", static_cast<int>(px), t.Paint);
          for (int i = 0; i < t.Count; ++i)
            std::printf(" (%.9Lf %.9Lf)", static_cast<long double>(q[i].x), static_cast<long double>(q[i].y));
          t = TraceOnOwnLattice(p.mirror, p.setup, picture.Width, pc, pr, q);
          std::printf("\n    lattice: paint %d", t.Paint);
          for (int i = 0; i < t.Count; ++i)
            std::printf(" (%.9Lf %.9Lf)", static_cast<long double>(q[i].x), static_cast<long double>(q[i].y));
          std::printf("\n");
        }
      }
      const Real x = w.MinX + col * w.CellSize - w.HalfCell, y = w.MaxY - row * w.CellSize + w.HalfCell;
      Real nearest = 1e30_r;
      for (const long px : {pa, pb}) {
        if (px < 0) continue;
        const int pc = static_cast<int>(px % picture.Width) + 1, pr = static_cast<int>(px / picture.Width) + 1;
        Point2 polygon[kMaxPolygon];
        PixelTrace t = TracePixel(p.mirror, walk, pc, pr, polygon, ignored);
        if (t.Paint) nearest = std::min(nearest, DistanceToEdges(x, y, polygon, t.Count));
        t = TraceOnOwnLattice(p.mirror, p.setup, picture.Width, pc, pr, polygon);
        if (t.Paint) nearest = std::min(nearest, DistanceToEdges(x, y, polygon, n));
      }
      farthest = std::max(farthest, nearest);
      const Real inCells = nearest / w.CellSize;
      byPower[inCells > 0 ? static_cast<int>(std::floor(std::log10(static_cast<double>(inCells)))) : -99]++;
    }
  }
  std::printf("  cells painted by another pixel: %ld; farthest centre from a disagreeing edge %.3Le units (%.3Le cells)\n",
              other, static_cast<long double>(farthest), static_cast<long double>(farthest / w.CellSize));
  for (const auto& [power, cells] : byPower) std::printf("    within 1e%d cells of an edge: %ld\n", power + 1, cells);
  return 0;
}

// The faceted mirror searched without its index: every facet of the table.
struct TableSearchMirror {
  const FacetedMirror* faceted = nullptr;
};

bool ReflectRay(const TableSearchMirror& t, Point3 centre, Point3 facePoint, Point3& result, MissRecord& misses) {
  const FacetedMirror& m = *t.faceted;
  if (m.VerticalAxisMode && std::fabs(centre.x - facePoint.x) < m.AxisTolerance &&
      std::fabs(centre.y - facePoint.y) < m.AxisTolerance) {
    result = {facePoint.x, facePoint.y, 0};
    return true;
  }
  const Point3 d = UnitDirection(centre, facePoint);
  Point3 hit;
  const int f = NearestFacetByTable(m.Facets, centre, d, hit);
  if (f < 0) return RecordMiss(result, misses);
  return ReflectOnFacet(m.Facets.Facets[f], centre, hit, result, misses);
}

int CompareSearches(const std::string& parameterFile, int rows) {
  Prepared<FacetedMirror> p;
  Prepare(GenericoProgram(), parameterFile, p);
  InputPicture picture = ReadInputPicture(p.params.InputPpmName);
  p.setup.FaceStep = run_detail::FaceStepOf(p.setup.PictureFace, picture.Width);
  p.setup.FaceSubStep = p.setup.FaceStep / p.setup.Accuracy;
  picture.Height = std::min(picture.Height, rows);
  picture.Rgb.resize(static_cast<std::size_t>(picture.Width) * picture.Height * 3);
  const double pixels = static_cast<double>(picture.Width) * picture.Height;
  const double rays = pixels * (4 * p.setup.Accuracy + (p.setup.AxisExclusion ? 1 : 0));
  std::printf("generico, %d facets, first %d rows of %d pixels (%.0f rays), one thread:\n",
              p.mirror.Facets.FacetCount, picture.Height, picture.Width, rays);

  const OutputWindow& w = p.setup.Window;
  OutputRaster raster;
  ClearRaster(raster, w.Width, w.Height);
  MissRecord indexMisses, tableMisses;
  Timer a;
  MapPicture(p.mirror, p.setup, picture, raster, 1, indexMisses, [](int) {});
  const double indexSeconds = a.Wall();
  const std::uint64_t indexHash = Fnv(raster.Cells);

  ClearRaster(raster, w.Width, w.Height);
  const TableSearchMirror table{&p.mirror};
  Timer b;
  MapPicture(table, p.setup, picture, raster, 1, tableMisses, [](int) {});
  const double tableSeconds = b.Wall();
  if (Fnv(raster.Cells) != indexHash || tableMisses.MissCount != indexMisses.MissCount)
    Fail("the index and the table search paint different pictures");
  std::printf("  %-28s %8.3f s  %10.0f rays/s\n", "index", indexSeconds, rays / indexSeconds);
  std::printf("  %-28s %8.3f s  %10.0f rays/s\n", "table search", tableSeconds, rays / tableSeconds);
  std::printf("  index faster by %.0fx (same picture painted)\n", tableSeconds / indexSeconds);
  return 0;
}

int TimePictureFiles(const std::string& input, const std::string& output) {
  Timer r;
  const InputPicture picture = ReadInputPicture(input);
  const double readWall = r.Wall(), readCpu = r.Cpu();
  const char* format = FormatName(SniffPictureFile(input));
  OutputRaster raster;
  ClearRaster(raster, picture.Width, picture.Height);
  for (int row = 1; row <= picture.Height; ++row) {
    for (int col = 1; col <= picture.Width; ++col) {
      const std::uint8_t* c = &picture.Rgb[(static_cast<std::size_t>(row - 1) * picture.Width + (col - 1)) * 3];
      raster.Set(col, row, Rgb{c[0], c[1], c[2]});
    }
  }
  Timer o;
  {
    OutputPicture out(output);
    out.WriteHeader(picture, picture.Width, picture.Height);
    out.WritePixelsAndCommit(raster);
  }
  const double writeWall = o.Wall(), writeCpu = o.Cpu();
  const bool png = output.size() > 4 && (output.substr(output.size() - 4) == ".png" || output.substr(output.size() - 4) == ".PNG");
  std::printf("ours: read %dx%d %s picture  %.3f s (cpu %.3f s)\n", picture.Width, picture.Height, format, readWall,
              readCpu);
  std::printf("ours: write it as %s  %.3f s (cpu %.3f s)\n", png ? "PNG" : "plain picture", writeWall, writeCpu);
  std::printf("ours: peak resident memory       %ld kB\n", PeakKilobytes());
  return 0;
}

// The machine itself: a fixed loop in Real (eight independent chains of
// products and sums, like the ray arithmetic; no memory traffic) on one thread,
// then on every core at once. On an idle machine of independent cores both
// take the same time; when the cores share their arithmetic units with other
// work on the host the second is slower, and a mapping, which also shares the
// caches and memory, cannot be expected to scale better than this loop.
volatile Real machineSink = 0;

double SpinSeconds() {
  Timer t;
  Real a[8];
  for (int k = 0; k < 8; ++k) a[k] = 0.5_r + k * 0.01_r;
  for (long i = 0; i < 250000000L; ++i) {
    for (Real& x : a) x = x * 1.0000001_r + 1e-9_r;
  }
  machineSink = a[0] + a[7];
  return t.Wall();
}

int TimeMachine(int threads) {
  const double one = SpinSeconds();
  Timer t;
  {
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) workers.emplace_back(SpinSeconds);
    for (std::thread& w : workers) w.join();
  }
  const double all = t.Wall();
  std::printf("machine: the same loop on 1 thread %.3f s, on %d threads at once %.3f s: scaling %.2fx of %d\n", one,
              threads, all, threads * one / all, threads);
  return 0;
}

int MakePicture(int width, int height, const std::string& fileName) {
  // Smooth gradients with some noise: numbers of one, two and three digits.
  InputPicture picture;
  picture.Width = width;
  picture.Height = height;
  OutputRaster raster;
  ClearRaster(raster, width, height);
  std::uint32_t seed = 12345;
  for (int row = 1; row <= height; ++row) {
    for (int col = 1; col <= width; ++col) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28);
      raster.Set(col, row,
                 Rgb{static_cast<std::uint8_t>(col * 255 / width), static_cast<std::uint8_t>(row * 255 / height),
                     static_cast<std::uint8_t>(((col + row) * 7 + noise) & 255)});
    }
  }
  OutputPicture out(fileName);
  out.WriteHeader(picture, width, height);
  out.WritePixelsAndCommit(raster);
  return 0;
}

// One 3DFACE per face, with CR LF line ends.
std::string DxfOf(const std::vector<Face>& faces) {
  std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
  char line[64];
  for (const Face& f : faces) {
    text += "  0\r\n3DFACE\r\n  8\r\n0\r\n";
    const Point3 corners[4] = {f.C1, f.C2, f.C3, f.C4};
    for (int i = 0; i < 4; ++i) {
      const Real v[3] = {corners[i].x, corners[i].y, corners[i].z};
      for (int k = 0; k < 3; ++k) {
        std::snprintf(line, sizeof line, " %d\r\n%.12Lg\r\n", 10 * (k + 1) + i, static_cast<long double>(v[k]));
        text += line;
      }
    }
  }
  return text + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

int MakeFacetedCylinder(Real x, Real y, Real radius, Real z0, Real z1, int triangles, const std::string& fileName) {
  // Quadrilaterals of about square shape, segments round and rings up; the
  // segments divide the faces exactly.
  const int faces = std::max(1, triangles / 2);
  const double ideal = std::sqrt(2 * 3.14159265 * static_cast<double>(radius) * faces / static_cast<double>(z1 - z0));
  int segments = 1;
  for (int s = 1; s <= faces; ++s) {
    if (faces % s == 0 && std::fabs(s - ideal) < std::fabs(segments - ideal)) segments = s;
  }
  const int rings = faces / segments;
  const std::vector<Face> mesh = FacetedCylinderFaces(x, y, radius, z0, z1, segments, rings);
  FILE* f = std::fopen(fileName.c_str(), "wb");
  if (f == nullptr) Fail("cannot create " + fileName);
  const bool stl = fileName.size() > 4 && fileName.compare(fileName.size() - 4, 4, ".stl") == 0;
  const std::string text = stl ? BinaryStl(TrianglesOfFaces(mesh)) : DxfOf(mesh);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::printf("%s: %d faces (%d segments x %d rings), %d triangles\n", fileName.c_str(), segments * rings, segments,
              rings, 2 * segments * rings);
  return 0;
}

// The mirror's loading and its index build, as the anamorfosi command does them.
int TimeMeshLoad(const std::string& fileName) {
  FacetedMirror mirror;
  FacetLoadOptions options;
  options.Limit = std::numeric_limits<int>::max() - 1;
  const Timer load;
  LoadMirrorFacets(fileName, mirror.Facets, options);
  const double loadWall = load.Wall(), loadCpu = load.Cpu();
  const long loadPeak = PeakKilobytes();
  const Timer build;
  BuildFacetIndex(mirror.Facets, mirror.Index);
  const double buildWall = build.Wall(), buildCpu = build.Cpu();
  std::printf("%s: %d triangles; load %.3f s (cpu %.3f s), index build %.3f s (cpu %.3f s), %zu nodes, depth %d; "
              "peak %.1f MiB after loading, %.1f MiB after the build\n",
              fileName.c_str(), mirror.Facets.FacetCount, loadWall, loadCpu, buildWall, buildCpu,
              mirror.Index.Nodes.size(), mirror.Index.Depth, loadPeak / 1024.0, PeakKilobytes() / 1024.0);
  return mirror.Facets.FacetCount > 0 ? 0 : 1;
}

// A phone-like JPEG of the picture in SOURCE, upright width x height: the
// picture enlarged (stb_image_resize), a fine grain of +-4 levels so that it
// has detail below its own pixels as photos do, chroma at half resolution,
// quality 90; with orientation 6 it is stored turned a quarter, as a phone
// held upright stores it, and its EXIF tag turns it back.
int MakePhotoJpeg(const std::string& source, int width, int height, int orientation, const std::string& fileName) {
  const Picture from = ReadPictureFile(source);
  Picture upright;
  upright.Width = width;
  upright.Height = height;
  upright.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
  if (!stbir_resize_uint8(from.Rgb.data(), from.Width, from.Height, 0, upright.Rgb.data(), width, height, 0, 3))
    Fail("cannot enlarge " + source);
  std::uint32_t seed = 12345;
  for (std::uint8_t& c : upright.Rgb) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<std::uint8_t>(std::clamp(static_cast<int>(c) + static_cast<int>(seed >> 29) - 4, 0, 255));
  }
  // Orientation 8 turns the other way: what orientation 6 turns upright.
  const Picture stored = orientation == 6 ? Orient(upright, 8) : upright;
  JpegSample sample;
  sample.Quality = 90;
  sample.Subsampled = true;
  sample.Orientation = orientation == 6 ? 6 : 0;
  const std::vector<std::uint8_t> bytes = WriteJpegSample(stored, sample);
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    Fail("cannot write " + fileName);
  return 0;
}

int CompareCellsOf(const std::string& print, const std::string& other) {
  const InputPicture a = ReadInputPicture(print), b = ReadInputPicture(other);
  const CellDifference d = CompareCells(a, b);
  if (!d.SameSize) {
    std::printf("cells: %d x %d against %d x %d\n", a.Width, a.Height, b.Width, b.Height);
    return 1;
  }
  std::printf("cells: %ld, differing %ld (%.4f%%), largest difference %d levels, paper in one print only %ld\n",
              d.Cells, d.Differing, 100.0 * static_cast<double>(d.Differing) / static_cast<double>(d.Cells),
              d.MaxLevels, d.Painted);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "picture") return MakePicture(std::stoi(args[1]), std::stoi(args[2]), args[3]);
    if (args.size() == 8 && args[0] == "faceted-cylinder")
      return MakeFacetedCylinder(std::stold(args[1]), std::stold(args[2]), std::stold(args[3]), std::stold(args[4]),
                                 std::stold(args[5]), std::stoi(args[6]), args[7]);
    if (args.size() == 1 && args[0] == "machine") return TimeMachine(DefaultThreads());
    if (args.size() == 2 && args[0] == "mesh") return TimeMeshLoad(args[1]);
    if (args.size() == 3 && args[0] == "ppm") return TimePictureFiles(args[1], args[2]);
    if (args.size() == 3 && args[0] == "cells") return CompareCellsOf(args[1], args[2]);
    if (args.size() == 6 && args[0] == "photo-jpeg")
      return MakePhotoJpeg(args[1], std::stoi(args[2]), std::stoi(args[3]), std::stoi(args[4]), args[5]);
    if (args.size() == 3 && args[0] == "search") return CompareSearches(args[1], std::stoi(args[2]));
    if (args.size() == 3 && args[0] == "lattice") {
      if (args[1] == "specchio") return CompareLattice(SpecchioProgram(), args[1], args[2]);
      if (args[1] == "cilindro") return CompareLattice(CilindroProgram(), args[1], args[2]);
      if (args[1] == "cono") return CompareLattice(ConoProgram(), args[1], args[2]);
      if (args[1] == "generico") return CompareLattice(GenericoProgram(), args[1], args[2]);
    }
    if (args.size() >= 3 && args[0] == "run") {
      std::vector<int> threads;
      for (std::size_t i = 3; i < args.size(); ++i) threads.push_back(std::stoi(args[i]));
      if (threads.empty()) threads = {1, DefaultThreads()};
      if (args[1] == "specchio") return TimeStages(SpecchioProgram(), args[1], args[2], threads);
      if (args[1] == "cilindro") return TimeStages(CilindroProgram(), args[1], args[2], threads);
      if (args[1] == "cono") return TimeStages(ConoProgram(), args[1], args[2], threads);
      if (args[1] == "generico") return TimeStages(GenericoProgram(), args[1], args[2], threads);
    }
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  std::cerr << "usage: anamorfosi_bench picture W H FILE\n"
               "       anamorfosi_bench machine\n"
               "       anamorfosi_bench faceted-cylinder X Y RADIUS Z0 Z1 TRIANGLES FILE\n"
               "       anamorfosi_bench mesh FILE\n"
               "       anamorfosi_bench run specchio|cilindro|cono|generico PARAMETERS [THREADS...]\n"
               "       anamorfosi_bench search PARAMETERS ROWS\n"
               "       anamorfosi_bench lattice specchio|cilindro|cono|generico PARAMETERS\n"
               "       anamorfosi_bench ppm INPUT OUTPUT\n"
               "       anamorfosi_bench cells PRINT OTHER\n"
               "       anamorfosi_bench photo-jpeg SOURCE WIDTH HEIGHT 1|6 OUTPUT.jpg\n";
  return 2;
}
