// The PDF print as a user checks it: pages rendered by pdftoppm at 300 dpi, the
// ruler measured, the mirror's circle measured, the tiles put back together.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <filesystem>
#include <sstream>

#include "anamorfosi/command.h"
#include "picture/png_file.h"
#include "formats/ppm.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

constexpr double kPixelsPerMm = 300 / 25.4;

int Anamorfosi(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::vector<const char*> argv = {"anamorfosi"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream o, e;
  const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), o, e, false);
  if (out) *out = o.str();
  if (status != 0) ADD_FAILURE() << e.str();
  return status;
}

// The pages of a PDF at 300 dpi, in order.
std::vector<InputPicture> Render(const TempDir& dir, const std::string& pdf, int dpi = 300) {
  const std::string prefix = dir.File("page");
  const std::string command = "pdftoppm -r " + std::to_string(dpi) + " '" + pdf + "' '" + prefix + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command << " (pdftoppm comes with poppler-utils)";
  std::vector<std::string> names;
  for (const std::string& n : ListDir(dir.path()))
    if (n.rfind("page-", 0) == 0) names.push_back(dir.File(n));
  std::vector<InputPicture> pages;
  for (const std::string& n : names) {
    pages.push_back(ReadPicture(n));
    std::filesystem::remove(n);
  }
  return pages;
}

bool Dark(const Picture& p, int x, int y) {
  const std::uint8_t* c = &p.Rgb[(static_cast<std::size_t>(y) * p.Width + x) * 3];
  return c[0] + c[1] + c[2] < 3 * 128;
}

// The longest run of dark pixels in each row of the page's lower quarter.
std::vector<int> LongestRuns(const Picture& p) {
  std::vector<int> runs;
  for (int y = p.Height * 3 / 4; y < p.Height; ++y) {
    int best = 0, run = 0;
    for (int x = 0; x < p.Width; ++x) {
      run = Dark(p, x, y) ? run + 1 : 0;
      best = std::max(best, run);
    }
    runs.push_back(best);
  }
  return runs;
}

std::string Scene(const TempDir& dir) {
  dir.Write("in.ppm", ReadBytes(EXAMPLES_DIR "/cartello.ppm"));
  return dir.File("in.ppm");
}

}  // namespace

TEST(PdfOutput, EveryPageCarriesRulersOfTrueLength) {
  TempDir dir;
  const std::string picture = Scene(dir);
  ASSERT_EQ(Anamorfosi({"cilindro", picture, "--radius", "25", "--paper", "A4", "--portrait", "--quiet", "-o",
                        dir.File("p.pdf")}),
            0);
  const std::vector<InputPicture> pages = Render(dir, dir.File("p.pdf"));
  ASSERT_EQ(pages.size(), 3u);  // the assembly page and 2 tiles: 276 mm across 190 mm areas
  for (std::size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    EXPECT_NEAR(pages[i].Width, 210 * kPixelsPerMm, 2);
    const std::vector<int> runs = LongestRuns(pages[i]);
    // The 100 mm ruler is 1181.1 pixels; the 4 in one 1200.
    const int hundred = static_cast<int>(std::count_if(runs.begin(), runs.end(), [](int r) { return std::abs(r - 1181) <= 2; }));
    const int four = static_cast<int>(std::count_if(runs.begin(), runs.end(), [](int r) { return std::abs(r - 1200) <= 2; }));
    EXPECT_GE(hundred, 1);
    EXPECT_GE(four, 1);
  }
}

TEST(PdfOutput, TheMirrorsCircleHasItsDiameter) {
  TempDir dir;
  const std::string picture = Scene(dir);
  std::string report;
  ASSERT_EQ(Anamorfosi({"cilindro", picture, "--radius", "25", "--fill", "0.6", "--paper", "A4", "-o",
                        dir.File("p.pdf")}, &report),
            0);
  const std::vector<InputPicture> pages = Render(dir, dir.File("p.pdf"));
  ASSERT_EQ(pages.size(), 1u) << "fill 0.6 fits one A4 page";
  const Picture& page = pages[0];
  // The circle's centre, from the report, on the page: the 10 mm margin first.
  double left = 0, top = 0;
  const std::size_t at = report.find("centre ");
  ASSERT_NE(at, std::string::npos) << report;
  ASSERT_EQ(std::sscanf(report.c_str() + at, "centre %lf mm from the left edge, %lf mm from the top edge", &left, &top), 2);
  const int cx = static_cast<int>((10 + left) * kPixelsPerMm), cy = static_cast<int>((10 + top) * kPixelsPerMm);
  // From outside the centre cross, outward to the first dark run on each side:
  // the middles of the two runs are a diameter apart.
  auto edge = [&](int step) {
    int x = cx + step * static_cast<int>(8 * kPixelsPerMm);
    while (x > 0 && x < page.Width - 1 && !Dark(page, x, cy)) x += step;
    const int first = x;
    while (x > 0 && x < page.Width - 1 && Dark(page, x, cy)) x += step;
    return (first + x - step) / 2.0;
  };
  const double diameter = (edge(1) - edge(-1)) / kPixelsPerMm;
  EXPECT_NEAR(diameter, 50, 0.3);
}

TEST(PdfOutput, TilesPutBackTogetherGiveThePrintsCells) {
  TempDir dir;
  // Colours at random: a cell out of place shows.
  std::mt19937 rng(7);
  std::vector<int> noise(160 * 120 * 3);
  for (int& v : noise) v = static_cast<int>(rng() % 256);
  const std::string picture = dir.Write("noise.ppm", PlainPpm(160, 120, noise));
  // Pages whose margins, overlap and areas are whole pixels at 300 dpi, so that
  // every cell of the 300 dpi print is one pixel of the rendering.
  const double px = 25.4 / 300;
  const std::string margin = std::to_string(100 * px), overlap = std::to_string(120 * px);
  const std::string paper = std::to_string(1600 * px) + "x" + std::to_string(1700 * px + 25);
  const std::vector<std::string> scene = {"cilindro", picture, "--radius", "25", "--antialias", "1", "--no-marks", "--quiet"};
  std::vector<std::string> png = scene, pdf = scene;
  png.insert(png.end(), {"-o", dir.File("p.png")});
  pdf.insert(pdf.end(), {"--paper", paper, "--portrait", "--margin", margin, "--overlap", overlap, "-o", dir.File("p.pdf")});
  ASSERT_EQ(Anamorfosi(png), 0);
  ASSERT_EQ(Anamorfosi(pdf), 0);
  const std::string bytes = ReadBytes(dir.File("p.png"));
  const Picture cells = DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), "p.png");
  const std::vector<InputPicture> pages = Render(dir, dir.File("p.pdf"));
  // 1400 x 1500 pixel areas overlapping by 120.
  const int columns = (cells.Width - 120 + 1279) / 1280, rows = (cells.Height - 120 + 1379) / 1380;
  ASSERT_GT(columns * rows, 1);
  ASSERT_EQ(static_cast<int>(pages.size()), columns * rows + 1);
  // Where each column and row of tiles starts in the print: the offset at
  // which the first row's (first column's) tile shows the print's cells.
  // The page's pixel (px, py) against the print's cell (x, y).
  auto near = [&](const Picture& page, int px, int py, int x, int y) {
    if (x < 0 || y < 0 || x >= cells.Width || y >= cells.Height || px >= page.Width || py >= page.Height) return false;
    const std::uint8_t* want = &cells.Rgb[(static_cast<std::size_t>(y) * cells.Width + x) * 3];
    const std::uint8_t* got = &page.Rgb[(static_cast<std::size_t>(py) * page.Width + px) * 3];
    return std::abs(got[0] - want[0]) <= 12 && std::abs(got[1] - want[1]) <= 12 && std::abs(got[2] - want[2]) <= 12;
  };
  // A tile showing the print from (x0, y0) at the page's margin.
  auto match = [&](const Picture& page, int x0, int y0, int px, int py) {
    return near(page, px, py, px - 100 + x0, py - 100 + y0);
  };
  // The tiles spread evenly, each starting on a whole cell: the start within
  // a cell or two of the even one at which the page's painted pixels show the
  // print (paper matches paper at any offset).
  auto bestStart = [&](const Picture& page, bool across, double even) {
    int best = 0, bestHits = -1;
    for (int start = static_cast<int>(even) - 2; start <= static_cast<int>(even) + 2; ++start) {
      int hits = 0;
      for (int py = 100; py < 1600; py += 7) {
        for (int px = 100; px < 1500; px += 7) {
          const std::uint8_t* c = &page.Rgb[(static_cast<std::size_t>(py) * page.Width + px) * 3];
          if (c[0] > 240 && c[1] > 240 && c[2] > 240) continue;
          hits += across ? match(page, start, 0, px, py) : match(page, 0, start, px, py);
        }
      }
      if (hits > bestHits) bestHits = hits, best = start;
    }
    return best;
  };
  std::vector<int> xs(columns), ys(rows);
  const double stepX = (cells.Width + (columns - 1) * 120.0) / columns - 120;
  const double stepY = (cells.Height + (rows - 1) * 120.0) / rows - 120;
  for (int c = 1; c < columns; ++c) xs[c] = bestStart(pages[1 + c], true, c * stepX);
  for (int r = 1; r < rows; ++r) ys[r] = bestStart(pages[1 + r * columns], false, r * stepY);
  // The first tiles start at the print's edges; the tiles cover the print,
  // each at most its area and overlapping the next by 120.
  for (int c = 1; c < columns; ++c) EXPECT_LE(xs[c] - xs[c - 1], 1280) << "column " << c;
  for (int r = 1; r < rows; ++r) EXPECT_LE(ys[r] - ys[r - 1], 1380) << "row " << r;
  EXPECT_LE(cells.Width - xs.back(), 1400);
  EXPECT_LE(cells.Height - ys.back(), 1500);
  std::ostringstream starts;
  starts << "tiles from x";
  for (const int x : xs) starts << " " << x;
  starts << ", y";
  for (const int y : ys) starts << " " << y;
  // Each sampled cell from its tile, away from the overlap strips' marks.
  long same = 0, total = 0, shifted = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const Picture& page = pages[1 + r * columns + c];
      const int x0 = xs[c], y0 = ys[r];
      const int x1 = c + 1 < columns ? xs[c + 1] + 120 : cells.Width, y1 = r + 1 < rows ? ys[r + 1] + 120 : cells.Height;
      for (int y = y0 + 60; y < y1 - 60; y += 3) {
        for (int x = x0 + 60; x < x1 - 60; x += 3) {
          ++total;
          same += near(page, 100 + x - x0, 100 + y - y0, x, y);
          shifted += near(page, 104 + x - x0, 104 + y - y0, x, y);
        }
      }
    }
  }
  // The renderer smooths the cells' edges a little: most cells, not all, come
  // back within 12 levels; a tile put 4 cells off loses many more.
  EXPECT_GT(same, total * 85 / 100) << same << " of " << total << "; " << starts.str();
  EXPECT_LT(shifted, same * 8 / 10) << "shifted " << shifted << ", in place " << same;
}

TEST(PdfOutput, SamePrintSameBytesAndTheSceneInside) {
  TempDir dir;
  const std::string picture = Scene(dir);
  ::setenv("SOURCE_DATE_EPOCH", "1765152000", 1);
  for (const char* name : {"a.pdf", "b.pdf"})
    ASSERT_EQ(Anamorfosi({"cilindro", picture, "--radius", "25", "--paper", "A3", "--quiet", "-o", dir.File(name)}), 0);
  ::unsetenv("SOURCE_DATE_EPOCH");
  const std::string a = ReadBytes(dir.File("a.pdf"));
  EXPECT_TRUE(a == ReadBytes(dir.File("b.pdf")));
  EXPECT_NE(a.find("/CreationDate (20251208)"), std::string::npos) << "the date of SOURCE_DATE_EPOCH";
  // The scene is in the metadata: written to a file, it reruns.
  const std::string info = dir.File("info.txt");
  ASSERT_EQ(std::system(("pdfinfo '" + dir.File("a.pdf") + "' > '" + info + "'").c_str()), 0);
  std::string text = ReadBytes(info);
  const std::size_t from = text.find('{'), to = text.rfind('}');
  ASSERT_NE(from, std::string::npos);
  dir.Write("scena.json", text.substr(from, to - from + 1));
  EXPECT_EQ(Anamorfosi({"run", dir.File("scena.json"), "--quiet", "-o", dir.File("again.png")}), 0);
}

TEST(PdfOutput, GridComesSquareFirstThenDistorted) {
  TempDir dir;
  ASSERT_EQ(Anamorfosi({"cilindro", "--grid", "12x8", "--radius", "25", "--fill", "0.6", "--quiet", "--save-scene",
                        dir.File("g.json"), "-o", dir.File("g.pdf")}),
            0);
  const std::vector<InputPicture> pages = Render(dir, dir.File("g.pdf"));
  ASSERT_EQ(pages.size(), 2u);
  // The first page's grid is square: its heavy border is as wide as 12 cells and as tall as 8.
  const Picture& plain = pages[0];
  int left = plain.Width, right = 0, top = plain.Height, bottom = 0;
  for (int y = 0; y < plain.Height - static_cast<int>(35 * kPixelsPerMm); ++y) {  // above the footer
    for (int x = 0; x < plain.Width; ++x) {
      const std::uint8_t* c = &plain.Rgb[(static_cast<std::size_t>(y) * plain.Width + x) * 3];
      if (c[0] < 40 && c[1] < 40 && c[2] < 40 && y > 20 * kPixelsPerMm + 4) {  // below the page's heading
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  EXPECT_NEAR(static_cast<double>(right - left) / (bottom - top), 12.0 / 8, 0.02);
  EXPECT_NE(ReadBytes(dir.File("g.json")).find("\"grid\": \"12x8\""), std::string::npos);
  EXPECT_EQ(Anamorfosi({"run", dir.File("g.json"), "--quiet", "-o", dir.File("again.png")}), 0);
}

namespace {

// The number after key in a report ("fill 0.651"), or -1.
double ReportNumber(const std::string& report, const std::string& key) {
  const std::size_t at = report.find(key);
  return at == std::string::npos ? -1 : std::atof(report.c_str() + at + key.size());
}

int PdfPages(const TempDir& dir, const std::string& pdf) {
  const std::string info = dir.File("info.txt");
  if (std::system(("pdfinfo '" + pdf + "' > '" + info + "'").c_str()) != 0) return -1;
  return static_cast<int>(ReportNumber(ReadBytes(info), "Pages:"));
}

}  // namespace

TEST(PdfOutput, FitGivesOnePageWithTheLargestFill) {
  TempDir dir;
  dir.Write("foto.png", ReadBytes(EXAMPLES_DIR "/foto.png"));
  const std::string photo = dir.File("foto.png");
  // A 33 mm cylinder: its whole face fits one A4 page.
  std::string report;
  ASSERT_EQ(Anamorfosi({"cilindro", photo, "--radius", "16.5", "--fit", "A4", "--pixels", "400", "-o",
                        dir.File("s.pdf")}, &report),
            0);
  EXPECT_EQ(PdfPages(dir, dir.File("s.pdf")), 1);
  EXPECT_EQ(ReportNumber(report, "fit: fill "), 1) << report;
  EXPECT_NE(report.find("paper: 1 sheet of A4"), std::string::npos) << report;
  // A 50 mm one on A4 is bounded by the paper: one page at the fill chosen,
  // more at a thousandth more; the scene saved reruns to the same face.
  ASSERT_EQ(Anamorfosi({"cilindro", photo, "--radius", "25", "--fit", "A4", "--save-scene", dir.File("fit.json"), "-o",
                        dir.File("f.pdf")}, &report),
            0);
  const double fill = ReportNumber(report, "fit: fill ");
  ASSERT_GT(fill, 0.1);
  ASSERT_LT(fill, 1);
  EXPECT_EQ(PdfPages(dir, dir.File("f.pdf")), 1);
  for (const double f : {fill, fill + 0.001}) {
    std::ostringstream text;
    text << f;
    ASSERT_EQ(Anamorfosi({"cilindro", photo, "--radius", "25", "--fill", text.str(), "--quiet", "--save-scene",
                          dir.File("fill.json"), "-o", dir.File("g.pdf")}),
              0);
    EXPECT_EQ(PdfPages(dir, dir.File("g.pdf")) == 1, f == fill) << "fill " << f;
    if (f == fill) {
      EXPECT_TRUE(ReadBytes(dir.File("fill.json")) == ReadBytes(dir.File("fit.json")));
    }
  }
  EXPECT_EQ(Anamorfosi({"run", dir.File("fit.json"), "--quiet", "-o", dir.File("again.png")}), 0);
  // The paper to fit is the PDF's paper.
  ASSERT_EQ(Anamorfosi({"cilindro", photo, "--radius", "40", "--fit", "A3", "--dpi", "50", "--quiet", "-o",
                        dir.File("a3.pdf")}),
            0);
  EXPECT_EQ(PdfPages(dir, dir.File("a3.pdf")), 1);
  EXPECT_NE(ReadBytes(dir.File("info.txt")).find("(A3)"), std::string::npos) << ReadBytes(dir.File("info.txt"));
}

TEST(PdfOutput, TilesSpreadEvenlyAndTheirCutLinesMissTheMirror) {
  TempDir dir;
  // One pale colour, so that only the marks are dark or blue.
  const std::string picture = dir.Write("plain.ppm", PlainPpm(40, 30, std::vector<int>(40 * 30 * 3, 230)));
  std::string report;
  // 211.7 mm across 190 mm portrait areas: two tiles, the mirror in the middle.
  ASSERT_EQ(Anamorfosi({"cilindro", picture, "--radius", "25", "--fill", "0.55", "--portrait", "-o", dir.File("t.pdf")},
                       &report),
            0);
  const double printW = ReportNumber(report, "cells at 300 dpi, ");
  const double centre = ReportNumber(report, "mirror on the print: centre ");
  ASSERT_GT(printW, 190);
  ASSERT_LT(printW, 370);
  constexpr int kDpi = 100;
  const double perMm = kDpi / 25.4;
  const std::vector<InputPicture> pages = Render(dir, dir.File("t.pdf"), kDpi);
  ASSERT_EQ(pages.size(), 3u);  // the assembly page and tiles A1, A2
  // The cut line of a tile page: the column richest in the dashes' blue.
  auto cutColumn = [&](const Picture& page) {
    int best = -1, bestCount = 0;
    for (int x = 0; x < page.Width; ++x) {
      int count = 0;
      for (int y = 0; y < page.Height * 2 / 3; ++y) {
        const std::uint8_t* c = &page.Rgb[(static_cast<std::size_t>(y) * page.Width + x) * 3];
        count += std::abs(c[0] - 26) < 40 && std::abs(c[1] - 77) < 40 && std::abs(c[2] - 204) < 40;
      }
      if (count > bestCount) bestCount = count, best = x;
    }
    return best;
  };
  // A1 starts at the print's left edge: its cut line's place is the cut's place in the print.
  const double cut = cutColumn(pages[1]) / perMm - 10;
  // On A2 the cut line lies half the 10 mm overlap inside the margin.
  EXPECT_NEAR(cutColumn(pages[2]) / perMm, 15, 0.5);
  EXPECT_TRUE(cut < centre - 25 || cut > centre + 25) << "cut at " << cut << " mm, mirror " << centre << " +- 25";
  // Neither tile a strip thinner than a fifth of the page (42 mm), nor wider than its area.
  const double a1 = cut + 5, a2 = printW - cut + 5;
  EXPECT_GE(a1, 42) << a1;
  EXPECT_GE(a2, 42) << a2;
  EXPECT_LE(a1, 190.5) << a1;
  EXPECT_LE(a2, 190.5) << a2;
}

}  // namespace anamorfosi
