// The number of mapping threads must not show in anything a run produces: for
// every program, the output picture and the console transcript of runs on 2, 3
// and 8 threads are compared byte for byte with those of a one-thread run.
//
// The scenes are chosen so that the order of painting matters: the reflected
// polygons of many input pixels overlap (several pixels, far apart in reading
// order, reach the same output cell, each with its own colour, and the later
// one must win), some rays miss
// (the miss count is part of the transcript), and the picture has more pixels
// than one batch of the parallel mapping, with many progress lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cilindro/cilindro_program.h"
#include "cono/cono_program.h"
#include "generico/generico_program.h"
#include "testing/mesh_shapes.h"
#include "specchio/specchio_program.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

std::string Num(Real v) {
  std::ostringstream out;
  out.precision(10);
  out << static_cast<double>(v);
  return out.str();
}

std::string Centre(Point3 p) { return Num(p.x) + " " + Num(p.y) + " " + Num(p.z); }

struct Outcome {
  RunResult Run;
  std::string Output;  // bytes of the output picture
};

// How the scene's input pixels cover the output cells, found with the mapping's
// own tracing in a one-thread pass: cells reached by two or more pixels are
// those whose colour depends on the order of painting.
struct Coverage {
  long Cells = 0;        // cells painted at all
  long SharedCells = 0;  // cells reached by at least two pixels
  long long Misses = 0;
  int Accuracy = 1;
};

// The run's preparation (parameters, picture face, mirror, window), then every
// pixel traced and its cells counted.
template <class Mirror>
Coverage CoverageOf(const Program<Mirror>& program, const std::string& parameterFile, int width, int height) {
  std::istringstream in;
  std::ostringstream out;
  Console console{&in, &out};
  RunParameters params;
  Mirror mirror{};
  {
    TextFile file(parameterFile);
    program.ReadParameters(file, console, params, mirror);
  }
  MappingSetup setup;
  setup.Accuracy = static_cast<int>(ClampAccuracy(params.Accuracy));
  setup.ProjectionCentre = params.ProjectionCentre;
  ReadFaceDxf(params.PictureDxfName, setup.PictureFace);
  if (program.PrepareMirror) program.PrepareMirror(console, params, setup.PictureFace, mirror, setup);
  MissRecord misses;
  std::vector<std::string> lines;
  EXPECT_EQ(program.ComputeWindow(mirror, params, setup.PictureFace, LimitPixelCount(params.PixelCount), misses,
                                  setup.Window, lines),
            WindowStatus::kOk);
  setup.Window.HalfCell = setup.Window.CellSize / 2;
  setup.FaceStep = run_detail::FaceStepOf(setup.PictureFace, width);
  setup.FaceSubStep = setup.FaceStep / setup.Accuracy;

  const OutputWindow& w = setup.Window;
  std::vector<int> hits(static_cast<std::size_t>(w.Width) * w.Height, 0);
  Point2 polygon[kMaxPolygon];
  for (int row = 1; row <= height; ++row) {
    for (int col = 1; col <= width; ++col) {
      const PixelTrace t = TracePixel(mirror, setup, col, row, polygon, misses);
      if (!t.Paint) continue;
      for (int c = t.ColLo; c <= std::min(t.ColHi, w.Width); ++c) {
        const Real x = w.MinX + c * w.CellSize - w.HalfCell;
        for (int r = t.RowLo; r <= std::min(t.RowHi, w.Height); ++r) {
          const Real y = w.MaxY - r * w.CellSize + w.HalfCell;
          if (PointInPolygon(x, y, polygon, t.Count)) ++hits[static_cast<std::size_t>(c - 1) * w.Height + (r - 1)];
        }
      }
    }
  }
  Coverage coverage;
  for (const int h : hits) {
    coverage.Cells += h > 0;
    coverage.SharedCells += h > 1;
  }
  coverage.Misses = misses.MissCount;
  coverage.Accuracy = setup.Accuracy;
  return coverage;
}

// One scene of one program: the files in a scratch folder, then runs on any
// number of threads, each writing the same output name afresh.
template <class Mirror>
struct Scene {
  const Program<Mirror>& program;
  TempDir dir;
  int width, height;
  std::string parameterFile;

  Scene(const Program<Mirror>& p, int w, int h) : program(p), width(w), height(h) {
    dir.Write("in.ppm", PlainPpm(width, height, DistinctColours(width, height)));
  }
  std::string File(const std::string& name) const { return dir.File(name); }
  void SetParameters(const std::string& text) { parameterFile = dir.Write("parametri.txt", text); }

  Outcome Run(int threads) const {
    std::remove(File("out.ppm").c_str());
    // Enough Enter presses for every pause of a run with misses.
    Outcome o{RunInProcess(program, Mirror{}, parameterFile + "\n\n\n\n\n", threads), {}};
    if (FileExists(File("out.ppm"))) o.Output = ReadBytes(File("out.ppm"));
    return o;
  }
};

// The scene must be one where the order of painting shows, and every thread
// count must give the one-thread run's bytes.
template <class Mirror>
void ExpectSameForEveryThreadCount(const Scene<Mirror>& scene, bool expectMisses) {
  const Coverage coverage = CoverageOf(scene.program, scene.parameterFile, scene.width, scene.height);
  ASSERT_GT(coverage.Cells, 1000) << "the scene paints too little to compare";
  ASSERT_GE(coverage.SharedCells, 40) << "too few cells are reached by more than one pixel";
  ASSERT_GT(static_cast<long>(scene.width) * scene.height, 2 * MappingBatchPixels(coverage.Accuracy))
      << "the picture should span several batches of the mapping";
  if (expectMisses) {
    ASSERT_GT(coverage.Misses, 0) << "the scene was meant to have missed rays";
  }

  const Outcome one = scene.Run(1);
  ASSERT_EQ(one.Run.Status, 0) << one.Run.Transcript;
  ASSERT_FALSE(one.Output.empty());
  if (expectMisses) {
    EXPECT_NE(one.Run.Transcript.find("punti non intercettati"), std::string::npos);
  }
  const std::vector<std::string> oneLines = ConsoleLines(one.Run.Transcript);
  for (const int threads : {2, 3, 8}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const Outcome many = scene.Run(threads);
    EXPECT_EQ(many.Run.Status, one.Run.Status);
    // Line by line first, so that a difference is shown where it is.
    EXPECT_EQ(ConsoleLines(many.Run.Transcript), oneLines);
    EXPECT_TRUE(many.Run.Transcript == one.Run.Transcript);
    ASSERT_EQ(many.Output.size(), one.Output.size());
    if (many.Output != one.Output) {
      std::size_t at = 0;
      while (many.Output[at] == one.Output[at]) ++at;
      ADD_FAILURE() << "output pictures differ from byte " << at;
    }
  }
}

// Faces twisted like a bow tie: the bottom edge runs the other way, so the
// picture's columns cross in the middle of the face and the squares of pixels
// far apart in reading order pile up there. A vertical face in the plane y:
Face Twisted(Real left, Real right, Real y, Real top, Real bottomLeft, Real bottomRight, Real bottom) {
  return {{left, y, top}, {right, y, top}, {bottomLeft, y, bottom}, {bottomRight, y, bottom}};
}
// and a horizontal one at height z.
Face TwistedFlat(Real left, Real right, Real top, Real bottomLeft, Real bottomRight, Real bottom, Real z) {
  return {{left, top, z}, {right, top, z}, {bottomLeft, bottom, z}, {bottomRight, bottom, z}};
}

// The mapping's batches hold a fixed number of bytes of sample points, so with
// Real = double they hold twice the pixels they hold in long double: the
// pictures grow by as much.
constexpr int kBatchScale = sizeof(long double) > sizeof(Real) ? static_cast<int>(sizeof(long double) / sizeof(Real)) : 1;

// More pixels than two batches of the parallel mapping, so that the painting
// crosses batch boundaries.
constexpr int kWide = 140, kTall = 120 * kBatchScale;

TEST(Determinism, PlaneMirrorWithATwistedPictureFace) {
  Scene<PlaneMirror> scene(SpecchioProgram(), kWide, kTall);
  scene.dir.Write("faccia.dxf", DxfWithFaces({Twisted(-40, 40, 100, 80, -30, 30, 20)}));
  scene.dir.Write("specchio.dxf", DxfWithFaces({{{-60, 0, 0}, {60, 0, 0}, {60, 0, 120}, {-60, 0, 120}}}));
  scene.SetParameters(scene.File("faccia.dxf") + "\r\n" + scene.File("specchio.dxf") + "\r\n" + scene.File("in.ppm") +
                      "\r\n" + scene.File("out.ppm") + "\r\n" + Centre({0, -150, 120}) + "\r\n200\r\n");
  ExpectSameForEveryThreadCount(scene, false);
}

TEST(Determinism, CylinderWithRaysMissingBesideIt) {
  Scene<Cylinder> scene(CilindroProgram(), kWide, kTall);
  // The face is wider than the cylinder as the eye sees it: its side columns
  // miss the mirror.
  scene.dir.Write("faccia.dxf", DxfWithFaces({Twisted(-40, 40, 0, 35, -30, 30, 5)}));
  scene.SetParameters("0 0\r\n25\r\n" + scene.File("faccia.dxf") + "\r\n" + scene.File("in.ppm") + "\r\n" +
                      scene.File("out.ppm") + "\r\n" + Centre({0, -300, 250}) + "\r\n160\r\n2\r\n");
  ExpectSameForEveryThreadCount(scene, true);
}

TEST(Determinism, ConeSeenFromAboveItsApex) {
  Scene<ConeMirror> scene(ConoProgram(), kWide, kTall);
  // A horizontal face round the axis: pixels near the axis are left out, the
  // others wrap round the cone.
  scene.dir.Write("faccia.dxf", DxfWithFaces({TwistedFlat(-12, 12, 8, -9, 9, -8, 200)}));
  scene.SetParameters("0 0\r\n30\r\n60\r\n" + scene.File("faccia.dxf") + "\r\n" + scene.File("in.ppm") + "\r\n" +
                      scene.File("out.ppm") + "\r\n" + Centre({0, 0, 400}) + "\r\n160\r\n3\r\n");
  ExpectSameForEveryThreadCount(scene, false);
}

std::string GenericoParameters(const Scene<FacetedMirror>& scene, Point3 eye, int accuracy, int mode) {
  return scene.File("specchio.dxf") + "\r\n" + scene.File("faccia.dxf") + "\r\n" + scene.File("in.ppm") + "\r\n" +
         scene.File("out.ppm") + "\r\n" + Centre(eye) + "\r\n160\r\n" + std::to_string(accuracy) + "\r\n" +
         std::to_string(mode) + "\r\n";
}

TEST(Determinism, FacetedConeOnTheViewAxis) {
  // Rays on the faceted cone cost the most: a smaller picture.
  Scene<FacetedMirror> scene(GenericoProgram(), 100, 80 * kBatchScale);
  scene.dir.Write("specchio.dxf", DxfWithFaces(FacetedConeFaces(0, 0, 50, 100, 36, 2)));
  scene.dir.Write("faccia.dxf", DxfWithFaces({TwistedFlat(-30, 30, 20, -22, 22, -20, 0)}));
  scene.SetParameters(GenericoParameters(scene, {0, 0, 400}, 2, 1));
  ExpectSameForEveryThreadCount(scene, false);
}

TEST(Determinism, FacetedCylinderWithRaysMissingBesideIt) {
  Scene<FacetedMirror> scene(GenericoProgram(), kWide, kTall);
  scene.dir.Write("specchio.dxf", DxfWithFaces(FacetedCylinderFaces(0, 0, 25, 0, 60, 36, 3)));
  scene.dir.Write("faccia.dxf", DxfWithFaces({Twisted(-40, 40, 0, 35, -30, 30, 5)}));
  scene.SetParameters(GenericoParameters(scene, {0, -300, 250}, 2, 0));
  ExpectSameForEveryThreadCount(scene, true);
}

}  // namespace

}  // namespace anamorfosi
