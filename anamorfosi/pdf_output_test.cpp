// The PDF print as a user checks it: pages rendered by pdftoppm at 300 dpi, the
// ruler measured, the mirror's circle measured, the tiles put back together.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <filesystem>
#include <sstream>

#include "command.h"
#include "png_file.h"
#include "ppm.h"
#include "test_support.h"

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
std::vector<InputPicture> Render(const TempDir& dir, const std::string& pdf) {
  const std::string prefix = dir.File("page");
  const std::string command = "pdftoppm -r 300 '" + pdf + "' '" + prefix + "'";
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
  // 1400 x 1500 pixel areas stepping by 1280 x 1380.
  const int columns = (cells.Width - 120 + 1279) / 1280, rows = (cells.Height - 120 + 1379) / 1380;
  ASSERT_GT(columns * rows, 1);
  ASSERT_EQ(static_cast<int>(pages.size()), columns * rows + 1);
  // Each sampled cell from the tile whose area holds it, away from the overlap strips' marks.
  long same = 0, total = 0, shifted = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const Picture& page = pages[1 + r * columns + c];
      const int x0 = c * 1280, y0 = r * 1380;
      for (int y = y0 + 60; y < std::min(cells.Height, y0 + 1440); y += 3) {
        for (int x = x0 + 60; x < std::min(cells.Width, x0 + 1340); x += 3) {
          const std::uint8_t* want = &cells.Rgb[(static_cast<std::size_t>(y) * cells.Width + x) * 3];
          auto near = [&](int px, int py) {
            const std::uint8_t* got = &page.Rgb[(static_cast<std::size_t>(py) * page.Width + px) * 3];
            return std::abs(got[0] - want[0]) <= 12 && std::abs(got[1] - want[1]) <= 12 && std::abs(got[2] - want[2]) <= 12;
          };
          ++total;
          same += near(100 + x - x0, 100 + y - y0);
          shifted += near(104 + x - x0, 104 + y - y0);
        }
      }
    }
  }
  // The renderer smooths the cells' edges a little: most cells, not all, come
  // back within 12 levels; a tile put 4 cells off loses many more.
  EXPECT_GT(same, total * 85 / 100) << same << " of " << total;
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
