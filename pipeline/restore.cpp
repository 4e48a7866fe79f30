#include "pipeline/restore.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace anamorfosi {

std::string FidelityLine(const Fidelity& f) {
  const double n = f.Samples > 0 ? static_cast<double>(f.Samples) : 1;
  char text[160];
  std::snprintf(text, sizeof text, "fidelity: %.1f%% within 8 levels, PSNR %.1f dB, unpainted %.1f%%, outside %.1f%%",
                100.0 * f.Within / n, Psnr(f), 100.0 * f.Unpainted / n, 100.0 * f.Outside / n);
  return text;
}

double Psnr(const Fidelity& f) {
  if (f.Samples == 0) return 0;
  const double mse = static_cast<double>(f.SquaredError) / (3.0 * f.Samples);
  // A perfect match is reported as 99 dB rather than infinity.
  return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double WithinPercent(const Fidelity& f) {
  return f.Samples > 0 ? 100.0 * static_cast<double>(f.Within) / static_cast<double>(f.Samples) : 100.0;
}

std::string LikelyCause(const Fidelity& f, bool coarse) {
  if (f.Samples == 0 || WithinPercent(f) >= kFaithfulPercent) return "";
  // The failing rays: those outside, those on paper, and the rest, which read
  // a painted cell of another colour; the largest share names the cause.
  const long long failing = f.Samples - f.Within;
  const long long wrongColour = failing - f.Outside - f.Unpainted;
  if (2 * f.Outside >= failing)
    return "sight rays miss the mirror or land off the print: the eye, the picture face and the mirror do not suit "
           "each other (check --eye and --face)";
  if (2 * f.Unpainted >= failing)
    return "the eye sees paper where no pixel was painted: pixels were left out (near a cone's axis, or "
           "transparent) or the mirror spreads them apart";
  std::string cause =
      "the eye sees other pixels' colours: parts of the picture are painted over one another (a mirror that "
      "folds the picture, or pixels whose images wrap round an axis)";
  if (coarse && wrongColour > 0) cause += ", or the print has fewer cells than the picture has detail (raise --dpi)";
  return cause;
}

Point3 FacePointAt(const MappingSetup& s, Real u, Real v) {
  const Face& f = s.PictureFace;
  const Point3 a = PointToward(f.C1, f.C2, u * s.FaceStep);
  const Point3 b = PointToward(f.C4, f.C3, u * s.FaceStep);
  return PointToward(a, b, v * RowStepOf(s));
}

Point3 FaceSample(const MappingSetup& s, int col, int row, int i, int j, int sub) {
  return FacePointAt(s, col - 1 + (i + 0.5_r) / sub, row - 1 + (j + 0.5_r) / sub);
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
      const long long d = std::max<int>(pixel[k], 255 - pixel[k]);
      f.SquaredError += d * d;
    }
    return;
  }
  if (!painted) ++f.Unpainted;
  bool close = true;
  for (int k = 0; k < 3; ++k) {
    const int d = std::abs(static_cast<int>(pixel[k]) - static_cast<int>(seen[k]));
    close = close && d <= 8;
    f.SquaredError += static_cast<long long>(d) * d;
  }
  f.Within += close;
}

void AddFidelity(Fidelity& total, const Fidelity& part) {
  total.Samples += part.Samples;
  total.Within += part.Within;
  total.Unpainted += part.Unpainted;
  total.Outside += part.Outside;
  total.SquaredError += part.SquaredError;
}

bool BoxedColour(const PrintedSheet& sheet, const Picture& input, int n, Rgb background, Real u, Real v,
                 Point3 landing, Point3 alongU, Point3 alongV, Real h, std::uint8_t out[3]) {
  int col = 0, row = 0;
  CellOf(sheet.Window, landing.x, landing.y, col, row);
  if (col == OutsideCell || row == OutsideCell) return false;
  // The stretch: sheet distance per picture pixel along u and along v.
  const Real ux = (alongU.x - landing.x) / h, uy = (alongU.y - landing.y) / h;
  const Real vx = (alongV.x - landing.x) / h, vy = (alongV.y - landing.y) / h;
  const Real det = ux * vy - vx * uy;
  const Real cell = sheet.Window.CellSize;
  // A stretch that folds a pixel to below a millionth of a cell has no inverse worth the name.
  if (!(std::fabs(det) > 1e-12_r * cell * cell)) return false;
  unsigned sum[3] = {0, 0, 0};
  for (int b = 0; b < n; ++b) {
    for (int a = 0; a < n; ++a) {
      // The sample's centre as the print's finer raster places it.
      const Real dx = sheet.Window.MinX + (col - 1) * cell + (a + 0.5_r) * cell / n - landing.x;
      const Real dy = sheet.Window.MaxY - (row - 1) * cell - (b + 0.5_r) * cell / n - landing.y;
      const Real pu = u + (dx * vy - vx * dy) / det, pv = v + (ux * dy - dx * uy) / det;
      const std::uint8_t* c = nullptr;
      const std::uint8_t paper[3] = {background.r, background.g, background.b};
      c = paper;
      if (pu >= 0 && pv >= 0 && pu < input.Width && pv < input.Height) {
        const std::size_t p = static_cast<std::size_t>(pv) * input.Width + static_cast<std::size_t>(pu);
        if (IsMapped(input, p)) c = &input.Rgb[p * 3];
      }
      for (int k = 0; k < 3; ++k) sum[k] += c[k];
    }
  }
  const unsigned count = static_cast<unsigned>(n * n);
  for (int k = 0; k < 3; ++k) out[k] = static_cast<std::uint8_t>((sum[k] + count / 2) / count);
  return true;
}

}  // namespace anamorfosi
