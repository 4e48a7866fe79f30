// The mapping of a whole picture onto the sheet, on a pool of threads kept for
// the whole of it; the output does not depend on the number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <barrier>
#include <functional>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "core/lattice.h"
#include "core/mapping.h"
#include "picture/picture.h"
#include "core/raster.h"

// The machine's cores, at least 1.

namespace anamorfosi {
int DefaultThreads();

// Pixels in one batch of the mapping: about 1 MB of polygons, whatever the accuracy.
inline long MappingBatchPixels(int accuracy) {
  const long bytes = (4L * std::max(1, accuracy) + 1) * static_cast<long>(sizeof(Point2));
  return std::clamp<long>((1L << 20) / bytes, 1024, 65536);
}

// Threads kept for the whole of a mapping, so that its many short steps do not
// each start and end threads: Run(tasks, fn) runs fn(task, thread) for task =
// 0..tasks-1, each exactly once, on all the threads (the caller's being thread
// 0) and returns when all are done.
class StepThreads {
 public:
  explicit StepThreads(int threads);
  ~StepThreads();
  StepThreads(const StepThreads&) = delete;
  StepThreads& operator=(const StepThreads&) = delete;
  void Run(long tasks, const std::function<void(long task, int thread)>& fn);

 private:
  void Work(int thread);
  std::barrier<> sync_;
  std::atomic<long> next_{0};
  long tasks_ = 0;
  const std::function<void(long, int)>* fn_ = nullptr;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// Maps every pixel of the picture, in reading order as far as the result goes;
// pixels whose alpha is below half are left out.
// The pixels go in batches: while the threads paint one batch, by column
// stripes, each stripe by one thread in pixel order, they trace the next one in
// small blocks; so a later pixel wins over an earlier one exactly as in a
// one-thread run, and the small trace blocks fill in behind the larger stripes.
// On a rectangular face that holds the picture a batch is a band of whole rows (or a piece of one
// long row) whose sample lattice is traced, each point once, and then, in the
// next step, assembled into the pixels' polygons (see lattice.h): each step
// paints one batch, assembles the next and traces the lattice of the one after.
// beforeRow(row) is called, in order, before the pixels of every row are mapped.
template <class Mirror>
void MapPicture(const Mirror& mirror, const MappingSetup& setup, const Picture& picture, OutputRaster& raster,
                int threads, MissRecord& misses, const std::function<void(int row)>& beforeRow) {
  threads = std::max(1, threads);
  const long width = picture.Width;
  const long total = width * picture.Height;
  const int n = 4 * setup.Accuracy + 1;
  const long chunk = MappingBatchPixels(setup.Accuracy);
  const long block = 64;  // pixels traced, or assembled, by one task
  const bool onLattice = total > 0 && OnLattice(setup, picture.Height);
  // The batches, as ranges of pixels in reading order.
  std::vector<std::pair<long, long>> batches;
  if (!onLattice) {
    for (long t0 = 0; t0 < total; t0 += chunk) batches.push_back({t0, std::min(total, t0 + chunk)});
  } else if (width <= chunk) {
    const long band = (chunk / width) * width;
    for (long t0 = 0; t0 < total; t0 += band) batches.push_back({t0, std::min(total, t0 + band)});
  } else {
    for (long row = 0; row < picture.Height; ++row) {
      for (long c = 0; c < width; c += chunk) batches.push_back({row * width + c, row * width + std::min(width, c + chunk)});
    }
  }
  long held = 0;
  for (const auto& b : batches) held = std::max(held, b.second - b.first);
  // Two batches: the one whose polygons are being made and the one being painted.
  std::vector<Point2> polygons[2];
  std::vector<PixelTrace> traces[2];
  // The columns the painted pixels of each block of a batch reach, so that a
  // stripe passes over the blocks that miss it without looking at their pixels.
  struct ColumnSpan {
    int Lo, Hi;
  };
  std::vector<ColumnSpan> spans[2];
  for (int i = 0; i < 2 && i < static_cast<int>(batches.size()); ++i) {
    polygons[i].resize(static_cast<std::size_t>(held) * n);
    traces[i].resize(static_cast<std::size_t>(held));
    spans[i].resize(static_cast<std::size_t>((held + block - 1) / block));
  }
  // On the lattice a batch's points are traced in one step and its pixels
  // assembled in the next, beside the tracing of the batch after: two lattices.
  Lattice lattices[2];
  if (onLattice) {
    for (Lattice& l : lattices) PlaceLatticeColumns(l, setup, picture.Width);
  }
  // One cache line each, so that threads counting misses do not share one.
  struct alignas(64) ThreadMisses {
    MissRecord record;
  };
  std::vector<ThreadMisses> threadMisses(threads);
  const int stripes = std::max(1, std::min(raster.Width, threads == 1 ? 1 : threads * 8));
  const long count = static_cast<long>(batches.size());
  // Steps from a batch's tracing to its painting.
  const long lag = onLattice ? 2 : 1;
  long nextRowStart = 0;
  int nextRow = 1;
  StepThreads pool(threads);
  // Step k traces batch k, assembles batch k - 1 on the lattice, and paints batch k - lag.
  for (long k = 0; k < count + lag; ++k) {
    const bool tracing = k < count;
    const long t0 = tracing ? batches[k].first : total, t1 = tracing ? batches[k].second : total;
    if (onLattice && tracing) {
      StartLattice(lattices[k & 1], lattices[(k + 1) & 1], setup.Accuracy, static_cast<int>(t0 / width) + 1,
                   static_cast<int>((t1 - 1) / width) + 1, static_cast<int>(t0 % width) + 1,
                   static_cast<int>((t1 - 1) % width) + 1);
    }
    while (tracing && nextRow <= picture.Height && nextRowStart < t1) {
      beforeRow(nextRow);
      ++nextRow;
      nextRowStart += width;
    }
    // The batch whose polygons are made in this step, from the lattice or pixel by pixel.
    const long made = onLattice ? k - 1 : k;
    const bool making = made >= 0 && made < count;
    const long m0 = making ? batches[made].first : 0, m1 = making ? batches[made].second : 0;
    const long paint = k - lag;
    const long p0 = paint >= 0 ? batches[paint].first : 0, p1 = paint >= 0 ? batches[paint].second : 0;
    const long paintTasks = paint >= 0 ? stripes : 0;
    const long makeTasks = making ? (m1 - m0 + block - 1) / block : 0;
    const long latticeTasks = onLattice && tracing ? LatticeTraceTasks(lattices[k & 1]) : 0;
    Point2* const madePolygons = polygons[made & 1].data();
    PixelTrace* const madeTraces = traces[made & 1].data();
    const Point2* const paintPolygons = polygons[paint & 1].data();
    const PixelTrace* const paintTraces = traces[paint & 1].data();
    ColumnSpan* const madeSpans = spans[made & 1].data();
    const ColumnSpan* const paintSpans = spans[paint & 1].data();
    const Lattice& madeLattice = lattices[made & 1];
    auto paintStripe = [&](long task) {
      const int firstCol = static_cast<int>(task * raster.Width / stripes) + 1;
      const int lastCol = static_cast<int>((task + 1) * raster.Width / stripes);
      for (long b0 = p0; b0 < p1; b0 += block) {
        const ColumnSpan& span = paintSpans[(b0 - p0) / block];
        if (span.Hi < firstCol || span.Lo > lastCol) continue;
        for (long p = b0, b1 = std::min(p1, b0 + block); p < b1; ++p) {
          const PixelTrace& t = paintTraces[p - p0];
          if (!t.Paint || t.ColHi < firstCol || t.ColLo > lastCol) continue;
          const std::uint8_t* c = &picture.Rgb[static_cast<std::size_t>(p) * 3];
          PaintPixel(setup, t, &paintPolygons[(p - p0) * n], Rgb{c[0], c[1], c[2]}, raster, firstCol, lastCol);
        }
      }
    };
    // Pixels [b0, b1) of the batch: traced on their own, or assembled from the lattice.
    auto makeBlock = [&](long task, int thread) {
      const long b0 = m0 + task * block, b1 = std::min(m1, b0 + block);
      ColumnSpan span{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
      for (long p = b0; p < b1; ++p) {
        // A transparent pixel is not traced: its cells stay as they are.
        if (!IsMapped(picture, static_cast<std::size_t>(p))) {
          madeTraces[p - m0] = PixelTrace{};
          continue;
        }
        const int col = static_cast<int>(p % width) + 1, row = static_cast<int>(p / width) + 1;
        Point2* polygon = &madePolygons[(p - m0) * n];
        const PixelTrace& t = madeTraces[p - m0] =
            onLattice ? AssembleLatticePixel(mirror, setup, madeLattice, col, row, polygon, threadMisses[thread].record)
                      : TracePixel(mirror, setup, col, row, polygon, threadMisses[thread].record);
        if (!t.Paint) continue;
        span.Lo = std::min(span.Lo, t.ColLo);
        span.Hi = std::max(span.Hi, t.ColHi);
      }
      madeSpans[task] = span;
    };
    // The stripes go before the small blocks, which fill in behind them so that
    // the threads end the step together; on the lattice the assembly goes first
    // of all, while the lattice traced at the end of the step before is still
    // in the cache.
    pool.Run(paintTasks + makeTasks + latticeTasks, [&](long task, int thread) {
      if (onLattice) {
        if (task < makeTasks) return makeBlock(task, thread);
        if (task < makeTasks + paintTasks) return paintStripe(task - makeTasks);
        return TraceLatticeTask(mirror, setup, lattices[k & 1], task - makeTasks - paintTasks);
      }
      if (task < paintTasks) return paintStripe(task);
      makeBlock(task - paintTasks, thread);
    });
  }
  // Rows of an empty picture still get their progress lines.
  while (nextRow <= picture.Height) beforeRow(nextRow++);
  for (const ThreadMisses& m : threadMisses) AddMisses(misses, m.record);
}

}  // namespace anamorfosi
