#include "restore.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string FidelityLine(const Fidelity& f) {
  const double n = f.Samples > 0 ? static_cast<double>(f.Samples) : 1;
  char text[160];
  std::snprintf(text, sizeof text, "fidelity: %.1f%% within 8 levels, PSNR %.1f dB, unpainted %.1f%%, outside %.1f%%",
                100.0 * f.Within / n, Psnr(f), 100.0 * f.Unpainted / n, 100.0 * f.Outside / n);
  return text;
}

double Psnr(const Fidelity& f) {
  if (f.Samples == 0) return 0;
  const double mse = f.SquaredError / (3.0 * f.Samples);
  // A perfect match is reported as 99 dB rather than infinity.
  return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

Point3 FaceSample(const MappingSetup& s, int col, int row, int i, int j, int sub) {
  const Face& f = s.PictureFace;
  const Real u = (col - 1 + (i + 0.5L) / sub) * s.FaceStep, v = (row - 1 + (j + 0.5L) / sub) * s.FaceStep;
  const Point3 a = PointToward(f.C1, f.C2, u);
  const Point3 b = PointToward(f.C4, f.C3, u);
  return PointToward(a, b, v);
}

bool ReadSheet(const PrintedSheet& sheet, Point3 landing, const std::uint8_t*& colour, bool& painted) {
  int col = 0, row = 0;
  CellOf(sheet.Window, landing.x, landing.y, col, row);
  if (col == OutsideCell || row == OutsideCell) return false;
  const Picture& cells = *sheet.Cells;
  const std::size_t cell = static_cast<std::size_t>(row - 1) * cells.Width + (col - 1);
  colour = &cells.Rgb[cell * 3];
  painted = sheet.Painted == nullptr || sheet.Painted->empty() || (*sheet.Painted)[cell] != 0;
  return true;
}

void Score(Fidelity& f, const std::uint8_t* pixel, const std::uint8_t* seen, bool painted) {
  ++f.Samples;
  if (seen == nullptr) {
    ++f.Outside;
    // An unread sample counts as the farthest colour from the pixel's.
    for (int k = 0; k < 3; ++k) {
      const double d = std::max<double>(pixel[k], 255 - pixel[k]);
      f.SquaredError += d * d;
    }
    return;
  }
  if (!painted) ++f.Unpainted;
  bool close = true;
  for (int k = 0; k < 3; ++k) {
    const int d = std::abs(static_cast<int>(pixel[k]) - static_cast<int>(seen[k]));
    close = close && d <= 8;
    f.SquaredError += static_cast<double>(d) * d;
  }
  f.Within += close;
}
