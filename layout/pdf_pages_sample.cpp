// The comparison of the browser's PDF with cairo's, native side:
//   pdf_pages_sample write DIR
// writes, for a few prints (one page, tiled A4 with the assembly page, fine
// cells whose preview is reduced, a grid page, landscape), NAME.json (the
// pages' operations), NAME-print.png and NAME-grid.png (the cells the image
// operations take) and NAME-cairo.pdf;
//   pdf_pages_sample compare A.png B.png BLOCK MEAN
// compares two renderings of one page: the same size, and in every BLOCK x
// BLOCK square of pixels a mean difference of at most MEAN levels (the largest
// of the three channels' differences to the nearest match within a pixel,
// averaged over the square);
//   pdf_pages_sample pages A.txt B.txt
// compares two documents' pages as pdfinfo -f 1 -l 9999 lists them: as many,
// each of the same size within a hundredth of a point.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "layout/grid_picture.h"
#include "layout/print_pdf.h"
#include "picture/picture_file.h"

namespace {

using namespace anamorfosi;

// Squares of 4 mm in four colours, with a thin dark line every 20 mm: an image
// put a cell out of place shows along every edge.
Picture Pattern(int width, int height, double cellMm) {
  Picture p;
  p.Width = width;
  p.Height = height;
  p.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
  static const std::uint8_t kColours[4][3] = {{230, 60, 40}, {40, 160, 220}, {250, 220, 60}, {90, 200, 90}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(x * cellMm / 4), sy = static_cast<int>(y * cellMm / 4);
      const std::uint8_t* c = kColours[(sx + 2 * sy) % 4];
      std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      const bool line = std::fmod(x * cellMm, 20) < cellMm || std::fmod(y * cellMm, 20) < cellMm;
      for (int k = 0; k < 3; ++k) px[k] = line ? 30 : c[k];
    }
  }
  return p;
}

struct Sample {
  std::string Name;
  Picture Cells, Grid;
  PdfContent Content;
  PdfOptions Options;
};

Sample Make(const std::string& name, int width, int height, double cellMm, const std::string& paper) {
  Sample s;
  s.Name = name;
  s.Cells = Pattern(width, height, cellMm);
  s.Content.CellMm = cellMm;
  s.Content.Title = {"Picture: prova.png", "Mirror: cylinder of radius 25 (mm)",
                     "Eye: (0, -300, 250) mm; eye: 300.0 mm from the axis", "Cells: " + std::to_string(width) + " x " +
                                                                              std::to_string(height) + "; made 2026-12-10"};
  s.Content.Date = "2026-12-10";
  s.Content.SceneJson = "{\"mirror\": {\"type\": \"cilindro\"}}";
  s.Options.PaperSize = *ParsePaper(paper);
  return s;
}

void Write(Sample& s, const std::string& dir) {
  s.Content.Cells = &s.Cells;
  if (s.Grid.Width > 0) s.Content.PlainGrid = &s.Grid;
  const std::string base = dir + "/" + s.Name;
  const PdfDocument doc = LayOutPrintPdf(s.Content, s.Options);
  std::ofstream(base + ".json") << PdfDocumentJson(doc);
  WritePngFile(base + "-print.png", s.Cells);
  if (s.Grid.Width > 0) WritePngFile(base + "-grid.png", s.Grid);
  WritePrintPdf(s.Content, s.Options, base + "-cairo.pdf");
  int step = 1;
  for (const PdfPage& page : doc.Pages)
    for (const pdf::Op& op : page.Ops)
      if (const auto* image = std::get_if<pdf::Image>(&op)) step = std::max(step, image->Step);
  std::printf("%s: %zu pages, images reduced by up to %d\n", s.Name.c_str(), doc.Pages.size(), step);
}

int WriteAll(const std::string& dir) {
  // One page: a 120 x 100 mm print, the cylinder's circle, the eye beyond the print's edge.
  Sample one = Make("one_page", 600, 500, 0.2, "A4");
  one.Content.Footprint = {true, 60, 55, 25, {}, "cylinder, diameter 50.0 mm"};
  one.Content.HasEye = true;
  one.Content.Eye = {60, 400, 250, "eye: 345.0 mm from the axis, 250.0 mm above the sheet"};
  one.Content.Placement = PlacementLines(*PlacementOf(one.Content.Footprint, true, one.Content.Eye));
  Write(one, dir);
  // Tiled A4: 350 x 320 mm, so 2 x 2 tiles and the assembly page, the mirror near a cut.
  Sample tiled = Make("tiled_a4", 1400, 1280, 0.25, "A4");
  tiled.Content.Footprint = {true, 180, 150, 30, {}, "cylinder, diameter 60.0 mm"};
  tiled.Content.HasEye = true;
  tiled.Content.Eye = {-200, 150, 300, "eye: 380.0 mm from the axis, 300.0 mm above the sheet"};
  tiled.Content.Placement = PlacementLines(*PlacementOf(tiled.Content.Footprint, true, tiled.Content.Eye));
  Write(tiled, dir);
  // Fine cells on a small paper: the assembly page's preview averages blocks of cells.
  Sample fine = Make("fine_cells", 2000, 1000, 0.1, "132x120");
  fine.Content.Footprint = {true, 100, 50, 20, {}, "cylinder, diameter 40.0 mm"};
  fine.Content.HasEye = true;
  fine.Content.Eye = {100, -250, 250, "eye: 300.0 mm from the axis"};
  Write(fine, dir);
  // A grid to draw by hand: its plain page first, then the print.
  Sample grid = Make("grid", 480, 320, 0.25, "A4");
  grid.Grid = MakeGridPicture(12, 8, 16);
  grid.Content.Footprint = {true, 60, 40, 15, {}, "cylinder, diameter 30.0 mm"};
  grid.Content.HasEye = true;
  grid.Content.Eye = {60, 300, 200, "eye: 260.0 mm from the axis"};
  Write(grid, dir);
  // Landscape: a wide print of a faceted mirror's outline, the eye over the print.
  Sample wide = Make("landscape", 1040, 600, 0.25, "A4");
  wide.Content.Footprint.Circle = false;
  wide.Content.Footprint.CentreX = 130;
  wide.Content.Footprint.CentreY = 75;
  wide.Content.Footprint.Segments = {{110, 60, 150, 60}, {150, 60, 150, 90}, {150, 90, 110, 90}, {110, 90, 110, 60}};
  wide.Content.Footprint.Label = "mirror, 40.0 x 30.0 mm";
  wide.Content.HasEye = true;
  wide.Content.Eye = {200, 120, 250, "eye: 83.2 mm from the mirror's middle"};
  Write(wide, dir);
  return 0;
}

// How far pixel (x, y) of a is from the nearest matching pixel of b within one
// pixel either way: the largest of the three channels' differences.
int NearestDifference(const Picture& a, const Picture& b, int x, int y) {
  const std::uint8_t* p = &a.Rgb[(static_cast<std::size_t>(y) * a.Width + x) * 3];
  int best = 255;
  for (int yy = std::max(0, y - 1); yy <= std::min(b.Height - 1, y + 1); ++yy) {
    for (int xx = std::max(0, x - 1); xx <= std::min(b.Width - 1, x + 1); ++xx) {
      const std::uint8_t* q = &b.Rgb[(static_cast<std::size_t>(yy) * b.Width + xx) * 3];
      int d = 0;
      for (int k = 0; k < 3; ++k) d = std::max(d, std::abs(int{p[k]} - int{q[k]}));
      best = std::min(best, d);
    }
  }
  return best;
}

int Compare(const std::string& a, const std::string& b, int block, double mean) {
  const Picture pa = ReadPictureFile(a), pb = ReadPictureFile(b);
  if (pa.Width != pb.Width || pa.Height != pb.Height) {
    std::printf("%s is %d x %d pixels, %s %d x %d\n", a.c_str(), pa.Width, pa.Height, b.c_str(), pb.Width, pb.Height);
    return 1;
  }
  // A line the rasteriser puts a pixel to one side in one rendering and to the
  // other in the other is no difference; a mark missing or moved further is.
  double worst = 0, total = 0;
  int worstX = 0, worstY = 0;
  for (int by = 0; by < pa.Height; by += block) {
    for (int bx = 0; bx < pa.Width; bx += block) {
      double sum = 0;
      int n = 0;
      for (int y = by; y < std::min(pa.Height, by + block); ++y) {
        for (int x = bx; x < std::min(pa.Width, bx + block); ++x) {
          sum += std::max(NearestDifference(pa, pb, x, y), NearestDifference(pb, pa, x, y));
          ++n;
        }
      }
      total += sum;
      if (sum / n > worst) {
        worst = sum / n;
        worstX = bx;
        worstY = by;
      }
    }
  }
  const double pageMean = total / (static_cast<double>(pa.Width) * pa.Height);
  std::printf("%s: page mean difference %.3f, worst %d-pixel square %.2f at (%d, %d)\n", b.c_str(), pageMean, block,
              worst, worstX, worstY);
  return worst <= mean ? 0 : 1;
}

// The page sizes pdfinfo lists ("Page    2 size: 595.276 x 841.89 pts (A4)").
std::vector<std::pair<double, double>> PageSizes(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::pair<double, double>> sizes;
  for (std::string line; std::getline(in, line);) {
    int page = 0;
    double w = 0, h = 0;
    if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf pts", &page, &w, &h) == 3) sizes.emplace_back(w, h);
  }
  return sizes;
}

int Pages(const std::string& a, const std::string& b) {
  const auto sa = PageSizes(a), sb = PageSizes(b);
  if (sa.empty() || sa.size() != sb.size()) {
    std::printf("%zu pages in %s, %zu in %s\n", sa.size(), a.c_str(), sb.size(), b.c_str());
    return 1;
  }
  int bad = 0;
  for (std::size_t k = 0; k < sa.size(); ++k) {
    // Cairo writes sizes with six decimals, jsPDF with two.
    if (std::fabs(sa[k].first - sb[k].first) > 0.01 || std::fabs(sa[k].second - sb[k].second) > 0.01) {
      std::printf("page %zu: %.3f x %.3f pt against %.3f x %.3f pt\n", k + 1, sa[k].first, sa[k].second, sb[k].first,
                  sb[k].second);
      bad = 1;
    }
  }
  std::printf("%zu pages\n", sa.size());
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "write" && argc == 3) return WriteAll(argv[2]);
    if (what == "pages" && argc == 4) return Pages(argv[2], argv[3]);
    if (what == "compare" && argc == 6) return Compare(argv[2], argv[3], std::atoi(argv[4]), std::atof(argv[5]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pdf_pages_sample: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: pdf_pages_sample write DIR | compare A.png B.png BLOCK MEAN | pages A.txt B.txt\n");
  return 2;
}
