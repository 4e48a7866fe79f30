// What the eye sees in the mirror: for every pixel of the picture, the sight
// rays through its place on the picture face, reflected onto the printed
// sheet, read the print's cells there. The result is the picture as restored
// by the mirror, and a score of how close it is to the picture itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapping.h"
#include "mirror.h"
#include "picture.h"
#include "window.h"

struct Fidelity {
  long long Samples = 0;       // sight rays traced (sub x sub a mapped pixel)
  long long Within = 0;        // whose colour is within 8 levels of the pixel's in every channel
  long long Unpainted = 0;     // that read a cell no pixel painted
  long long Outside = 0;       // that missed the mirror or fell off the print
  double SquaredError = 0;     // summed over every channel of every sample
};

// "fidelity: 99.7% within 8 levels, PSNR 41.2 dB, unpainted 0.1%, outside 0.0%"
std::string FidelityLine(const Fidelity& f);
double Psnr(const Fidelity& f);

// The sheet as the restoration reads it: the print's cells (row-major RGB, cell
// (1, 1) at the top-left of window) and which of them were painted (empty:
// all count as painted).
struct PrintedSheet {
  const Picture* Cells = nullptr;
  const std::vector<std::uint8_t>* Painted = nullptr;
  OutputWindow Window;
};

// Sample point (i, j) of sub x sub inside pixel (col, row) on the picture face,
// placed as the mapping places the pixel's corners.
Point3 FaceSample(const MappingSetup& s, int col, int row, int i, int j, int sub);

// One sight ray's reading of the sheet; false when it falls outside.
bool ReadSheet(const PrintedSheet& sheet, Point3 landing, const std::uint8_t*& colour, bool& painted);

// Adds one sample: its colour (or none, outside) against the pixel's.
void Score(Fidelity& f, const std::uint8_t* pixel, const std::uint8_t* seen, bool painted);

// The restored picture (same size as the input; a pixel outside the sheet is
// black) and its score. setup must hold the face, the eye and FaceStep.
// Pixels the mapping leaves out (alpha below half) are not scored.
template <class Mirror>
Picture RestorePicture(const Mirror& mirror, const MappingSetup& setup, const Picture& input,
                       const PrintedSheet& sheet, int sub, Fidelity& score) {
  Picture out;
  out.Width = input.Width;
  out.Height = input.Height;
  out.Rgb.assign(input.Rgb.size(), 0);
  MissRecord misses;
  for (int row = 1; row <= input.Height; ++row) {
    for (int col = 1; col <= input.Width; ++col) {
      const std::size_t p = static_cast<std::size_t>(row - 1) * input.Width + (col - 1);
      const std::uint8_t* pixel = &input.Rgb[p * 3];
      unsigned sum[3] = {0, 0, 0}, seen = 0;
      for (int j = 0; j < sub; ++j) {
        for (int i = 0; i < sub; ++i) {
          Point3 r = FaceSample(setup, col, row, i, j, sub);
          const std::uint8_t* colour = nullptr;
          bool painted = false;
          const bool hit = ReflectRay(mirror, setup.ProjectionCentre, r, r, misses) && ReadSheet(sheet, r, colour, painted);
          if (IsMapped(input, p)) Score(score, pixel, hit ? colour : nullptr, painted);
          if (!hit) continue;
          for (int k = 0; k < 3; ++k) sum[k] += colour[k];
          ++seen;
        }
      }
      if (seen == 0) continue;
      for (int k = 0; k < 3; ++k) out.Rgb[p * 3 + k] = static_cast<std::uint8_t>((sum[k] + seen / 2) / seen);
    }
  }
  return out;
}
