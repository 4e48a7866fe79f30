// What the eye sees in the mirror: for every pixel of the picture, the sight
// rays through its place on the picture face, reflected onto the printed
// sheet, read the print's cells there. The result is the picture as restored
// by the mirror, and a score of how close it is to the picture itself.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/map_picture.h"
#include "core/mapping.h"
#include "core/mirror.h"
#include "picture/large_pages.h"
#include "picture/picture.h"
#include "core/raster.h"
#include "core/window.h"

namespace anamorfosi {

struct Fidelity {
  long long Samples = 0;       // sight rays traced (sub x sub a mapped pixel)
  long long Within = 0;        // whose colour is within 8 levels of the pixel's in every channel
  long long Unpainted = 0;     // that read a cell no pixel painted
  long long Outside = 0;       // that missed the mirror or fell off the print
  long long SquaredError = 0;  // summed over every channel of every sample
};

// "fidelity: 99.7% within 8 levels, PSNR 41.2 dB, unpainted 0.1%, outside 0.0%"
std::string FidelityLine(const Fidelity& f);
double Psnr(const Fidelity& f);

// A print whose sight rays see the picture within 8 levels less often than
// this (in percent) is not faithful: it is not to be called done.
inline constexpr double kFaithfulPercent = 99;
double WithinPercent(const Fidelity& f);
// Why a score falls short, from where its failing rays went: "" when the
// score is faithful (or holds no ray). coarse: the picture has more pixels
// than the print has samples, so fine detail cannot survive.
std::string LikelyCause(const Fidelity& f, bool coarse);

// The sheet as the restoration reads it: the print's cells (row-major RGB, cell
// (1, 1) at the top-left of window) and which of them were painted (empty:
// all count as painted).
struct PrintedSheet {
  const Picture* Cells = nullptr;
  const std::vector<std::uint8_t>* Painted = nullptr;
  OutputWindow Window;
};

// The point of the picture face at (u, v), in pixels from the picture's
// top-left corner, placed as the mapping places the pixels' corners.
Point3 FacePointAt(const MappingSetup& s, Real u, Real v);
// Sample point (i, j) of sub x sub inside pixel (col, row) on the picture face.
Point3 FaceSample(const MappingSetup& s, int col, int row, int i, int j, int sub);

// One sight ray's reading of the sheet; false when it falls outside.
bool ReadSheet(const PrintedSheet& sheet, Point3 landing, const std::uint8_t*& colour, bool& painted);

// Adds one sample: its colour (or none, outside) against the expected one.
void Score(Fidelity& f, const std::uint8_t* expected, const std::uint8_t* seen, bool painted);
void AddFidelity(Fidelity& total, const Fidelity& part);

struct RestoreSettings {
  int Sub = 1;        // sub x sub sight rays a pixel
  int Antialias = 1;  // n x n samples a cell the print was made with
  Rgb Background{255, 255, 255};  // of the print's paper
  int Threads = 1;
  // One pixel of each Stride x Stride block (partial blocks at the right and
  // bottom included) is traced and scored, at a place within the block fixed by
  // QuickCheckMix (a quick check); the other pixels of the restored picture
  // stay black.
  int Stride = 1;
};

// A well-mixed 32-bit number for a block of the quick check (the finaliser of
// MurmurHash3 over the block's column and row).
inline std::uint32_t QuickCheckMix(std::uint32_t col, std::uint32_t row) {
  std::uint32_t x = col * 0x9E3779B1u ^ (row + 0x7F4A7C15u) * 0x85EBCA77u;
  x ^= x >> 16;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  x *= 0xC2B2AE35u;
  x ^= x >> 16;
  return x;
}

// The picture's colour at the cell's n x n sample points, carried back onto
// the picture by the stretch of the mapping at (u, v) (whose sight ray lands
// at landing): the picture blurred by the same box as an anti-aliased print's
// cell. false when the stretch cannot be had there.
bool BoxedColour(const PrintedSheet& sheet, const Picture& input, int n, Rgb background, Real u, Real v,
                 Point3 landing, Point3 alongU, Point3 alongV, Real h, std::uint8_t out[3]);

// The restored picture (same size as the input; a pixel outside the sheet is
// black) and its score. setup must hold the face, the eye and FaceStep.
// Pixels the mapping leaves out (alpha below half) are not scored. Rows are
// shared among the threads; the result does not depend on their number.
// With a Stride above 1 only one pixel of each block is traced.
template <class Mirror>
Picture RestorePicture(const Mirror& mirror, const MappingSetup& setup, const Picture& input,
                       const PrintedSheet& sheet, const RestoreSettings& settings, Fidelity& score) {
  Picture out;
  out.Width = input.Width;
  out.Height = input.Height;
  ReserveOnLargePages(out.Rgb, input.Rgb.size());
  out.Rgb.assign(input.Rgb.size(), 0);
  const int sub = settings.Sub, n = settings.Antialias;
  const int stride = std::max(1, settings.Stride);
  const int blockCols = (input.Width + stride - 1) / stride, blockRows = (input.Height + stride - 1) / stride;
  // A quarter pixel: the step of the stretch's difference quotients.
  const Real h = 0.25_r;
  std::vector<Fidelity> rowScores(static_cast<std::size_t>(blockRows));
  StepThreads pool(std::max(1, settings.Threads));
  pool.Run(blockRows, [&](long task, int) {
    Fidelity& rowScore = rowScores[static_cast<std::size_t>(task)];
    MissRecord misses;
    for (int block = 0; block < blockCols; ++block) {
      // The block's pixel: at a place of its own within the block (a stratified
      // sample, so that a picture's regular pattern cannot beat in step with the
      // stride), the same on every run.
      int col = block * stride + 1, row = static_cast<int>(task) * stride + 1;
      if (stride > 1) {
        const std::uint32_t mix = QuickCheckMix(static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(task));
        col += static_cast<int>(mix % static_cast<std::uint32_t>(std::min(stride, input.Width - col + 1)));
        row += static_cast<int>((mix >> 16) % static_cast<std::uint32_t>(std::min(stride, input.Height - row + 1)));
      }
      const std::size_t p = static_cast<std::size_t>(row - 1) * input.Width + (col - 1);
      const std::uint8_t* pixel = &input.Rgb[p * 3];
      unsigned sum[3] = {0, 0, 0}, seen = 0;
      for (int j = 0; j < sub; ++j) {
        for (int i = 0; i < sub; ++i) {
          const Real u = col - 1 + (i + 0.5_r) / sub, v = row - 1 + (j + 0.5_r) / sub;
          Point3 r = FacePointAt(setup, u, v);
          const std::uint8_t* colour = nullptr;
          bool painted = false;
          const bool hit = ReflectRay(mirror, setup.ProjectionCentre, r, r, misses) && ReadSheet(sheet, r, colour, painted);
          if (IsMapped(input, p)) {
            std::uint8_t boxed[3];
            Point3 ru = FacePointAt(setup, u + h, v), rv = FacePointAt(setup, u, v + h);
            const bool box = hit && n > 1 && ReflectRay(mirror, setup.ProjectionCentre, ru, ru, misses) &&
                             ReflectRay(mirror, setup.ProjectionCentre, rv, rv, misses) &&
                             BoxedColour(sheet, input, n, settings.Background, u, v, r, ru, rv, h, boxed);
            Score(rowScore, box ? boxed : pixel, hit ? colour : nullptr, painted);
          }
          if (!hit) continue;
          for (int k = 0; k < 3; ++k) sum[k] += colour[k];
          ++seen;
        }
      }
      if (seen == 0) continue;
      for (int k = 0; k < 3; ++k) out.Rgb[p * 3 + k] = static_cast<std::uint8_t>((sum[k] + seen / 2) / seen);
    }
  });
  for (const Fidelity& f : rowScores) AddFidelity(score, f);
  return out;
}

}  // namespace anamorfosi
