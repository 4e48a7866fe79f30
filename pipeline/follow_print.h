// How large a picture pixel comes out on the print, measured before the
// picture is read, so that the work follows the print rather than the picture:
// where many pixels fall into one cell the picture is read smaller (along its
// rows and down its columns each by its own factor), and a pixel whose border
// bends little on the print is walked round with few rays.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/geometry.h"
#include "core/mapping.h"
#include "core/mirror.h"
#include "picture/picture.h"
#include "pipeline/restore.h"

namespace anamorfosi {

struct PixelStretch {
  int Probes = 0;  // probe points whose sight rays all reached the sheet
  // Over the probes, how long one picture pixel comes out on the print along
  // the picture's rows (Across) and down its columns (Down), in samples: the
  // share-th quantile (see MeasureStretch) and the largest.
  Real Across = 0, Down = 0, LargestAcross = 0, LargestDown = 0;
  // The largest bend of a pixel's side on the print: how far the middle of a
  // side of span pixels lands from the middle of its chord, in samples, over
  // span squared (the bend grows with the square of the span).
  Real BendAcross = 0, BendDown = 0;
};

// Pixels a side of the probes' chords: long enough for the bend to stand well
// above the rounding, short enough to stay local.
inline constexpr int kBendSpan = 8;

// Probes a grid of probes x probes points of a picture of width x height
// pixels on the face of setup (face and eye): at each, the sight ray and
// others a quarter pixel, and kBendSpan pixels, along the rows and down the
// columns give a pixel's lengths and the bend of its sides, in samples of side
// sampleSide. share (0 to 1) picks the quantile of the lengths.
template <class Mirror>
PixelStretch MeasureStretch(const Mirror& mirror, const MappingSetup& setup, int width, int height, Real sampleSide,
                            Real share, int probes = 64) {
  PixelStretch out;
  if (width < 1 || height < 1 || !(sampleSide > 0)) return out;
  MappingSetup s = setup;
  s.FaceStep = Distance3(s.PictureFace.C1, s.PictureFace.C2) / width;
  s.RowStep = 0;
  // A quarter pixel: the step of the difference quotients.
  const Real h = 0.25_r;
  const Real span = kBendSpan;
  MissRecord misses;
  std::vector<Real> across, down;
  across.reserve(static_cast<std::size_t>(probes) * probes);
  down.reserve(across.capacity());
  auto reflect = [&](Real u, Real v, Point3& at) {
    at = FacePointAt(s, u, v);
    return ReflectRay(mirror, s.ProjectionCentre, at, at, misses);
  };
  // How far the middle m lands from the middle of the chord a-b.
  auto bend = [](Point3 a, Point3 m, Point3 b) { return std::hypot(m.x - (a.x + b.x) / 2, m.y - (a.y + b.y) / 2); };
  for (int j = 0; j < probes; ++j) {
    for (int i = 0; i < probes; ++i) {
      const Real u = (i + 0.5_r) * width / probes, v = (j + 0.5_r) * height / probes;
      Point3 p, pu, pv, uMid, uEnd, vMid, vEnd;
      if (!reflect(u, v, p) || !reflect(u + h, v, pu) || !reflect(u, v + h, pv) || !reflect(u + span / 2, v, uMid) ||
          !reflect(u + span, v, uEnd) || !reflect(u, v + span / 2, vMid) || !reflect(u, v + span, vEnd))
        continue;
      const Real a = std::hypot(pu.x - p.x, pu.y - p.y) / h / sampleSide;
      const Real d = std::hypot(pv.x - p.x, pv.y - p.y) / h / sampleSide;
      const Real ba = bend(p, uMid, uEnd) / sampleSide / (span * span);
      const Real bd = bend(p, vMid, vEnd) / sampleSide / (span * span);
      if (!std::isfinite(a) || !std::isfinite(d) || !std::isfinite(ba) || !std::isfinite(bd)) continue;
      across.push_back(a);
      down.push_back(d);
      out.LargestAcross = std::max(out.LargestAcross, a);
      out.LargestDown = std::max(out.LargestDown, d);
      out.BendAcross = std::max(out.BendAcross, ba);
      out.BendDown = std::max(out.BendDown, bd);
    }
  }
  out.Probes = static_cast<int>(across.size());
  if (across.empty()) return out;
  auto quantile = [&](std::vector<Real>& v) {
    const std::size_t q = std::min(v.size() - 1, static_cast<std::size_t>(std::floor(share * (v.size() - 1))));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(q), v.end());
    return v[q];
  };
  out.Across = quantile(across);
  out.Down = quantile(down);
  return out;
}

// The quantile of MeasureStretch that decides the reduction: the longest
// pixels but for the few probes (grazing rays at a mirror's edge) whose
// reflection runs off far beyond the rest.
inline constexpr Real kStretchShare = 0.99_r;

// The largest whole factor (at most 64) by which the picture may be read
// smaller along one side so that, at the quantile, a reduced pixel is at most
// one cell (cellSamples samples) long that way: a cell is the finest the print
// shows, its samples averaged.
inline int ReductionAlong(Real samplesPerPixel, int cellSamples) {
  int k = 1;
  while (k < 64 && (k + 1) * samplesPerPixel <= cellSamples) ++k;
  return k;
}

inline PictureFactors ReductionFor(const PixelStretch& stretch, int cellSamples) {
  if (stretch.Probes == 0) return {};
  return {ReductionAlong(stretch.Across, cellSamples), ReductionAlong(stretch.Down, cellSamples)};
}

// A side's chords may stray this far from the side's true image on the
// print, in samples: a cell centre closer than this to a pixel's edge may go
// to its neighbour instead, which no eye tells.
inline constexpr Real kChordStray = 0.05_r;

// Sample points a side of a pixel's border (the programs' Accuracy, at most
// requested): the fewest whose chords, on pixels reduced by factors, stray at
// most kChordStray (a chord of a side cut into a parts strays by its bend over a squared).
inline int AccuracyFor(const PixelStretch& stretch, PictureFactors factors, int requested) {
  if (stretch.Probes == 0) return requested;
  const Real bend = std::max(stretch.BendAcross * factors.Across * factors.Across,
                             stretch.BendDown * factors.Down * factors.Down);
  if (!std::isfinite(bend)) return requested;
  for (int a = 1; a < requested; ++a) {
    if (bend / (static_cast<Real>(a) * a) <= kChordStray) return a;
  }
  return requested;
}

}  // namespace anamorfosi
