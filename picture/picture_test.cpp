#include "picture/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "testing/picture_samples.h"

namespace anamorfosi {

namespace {

PictureFormat Sniff(const std::string& bytes) {
  return SniffPictureFormat(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(Picture, FirstBytesTellTheFormat) {
  EXPECT_EQ(Sniff(std::string("\x89PNG\r\n\x1a\n", 8)), PictureFormat::kPng);
  EXPECT_EQ(Sniff("\x89PNG\r\n"), PictureFormat::kUnknown);  // cut short
  EXPECT_EQ(Sniff("\xff\xd8\xff\xe0"), PictureFormat::kJpeg);
  EXPECT_EQ(Sniff("P3\n1 1\n255\n"), PictureFormat::kPpm);
  EXPECT_EQ(Sniff("P6"), PictureFormat::kPpm);
  EXPECT_EQ(Sniff("P5\n"), PictureFormat::kUnknown);
  EXPECT_EQ(Sniff("GIF89a"), PictureFormat::kGif);
  EXPECT_EQ(Sniff(std::string("II*\0", 4)), PictureFormat::kTiff);
  EXPECT_EQ(Sniff(std::string("MM\0*", 4)), PictureFormat::kTiff);
  EXPECT_EQ(Sniff(std::string("RIFF\0\0\0\0WEBPVP8 ", 16)), PictureFormat::kWebp);
  EXPECT_EQ(Sniff(std::string("\0\0\0\x18" "ftypheic", 12)), PictureFormat::kHeif);
  EXPECT_EQ(Sniff(std::string("BM") + std::string(12, '\0') + std::string("\x28\0\0\0", 4)), PictureFormat::kBmp);
  EXPECT_EQ(Sniff("BMW is a word, not a bitmap"), PictureFormat::kUnknown);
  EXPECT_EQ(Sniff(""), PictureFormat::kUnknown);
}

TEST(Picture, CompositingOntoWhiteRoundsAndKeepsAlpha) {
  Picture p;
  p.Width = 4;
  p.Height = 1;
  p.Rgb = {0, 0, 0, 0, 0, 0, 200, 100, 0, 10, 20, 30};
  p.Alpha = {0, 128, 255, 127};
  CompositeOntoWhite(p);
  // 0 at alpha 128: 255 * 127 / 255 = 127; 10 at 127: (1270 + 255 * 128) / 255 = 133.0 -> 133.
  EXPECT_EQ(p.Rgb, (std::vector<std::uint8_t>{255, 255, 255, 127, 127, 127, 200, 100, 0, 133, 138, 143}));
  EXPECT_EQ(p.Alpha, (std::vector<std::uint8_t>{0, 128, 255, 127}));
  EXPECT_FALSE(IsMapped(p, 0));
  EXPECT_TRUE(IsMapped(p, 1));
  EXPECT_TRUE(IsMapped(p, 2));
  EXPECT_FALSE(IsMapped(p, 3));
}

TEST(Picture, LimitsCountSidesAndPixels) {
  const PictureLimits limits;
  EXPECT_TRUE(WithinLimits(65535, 1, limits));
  EXPECT_FALSE(WithinLimits(65536, 1, limits));
  EXPECT_TRUE(WithinLimits(10000, 10000, limits));
  EXPECT_FALSE(WithinLimits(10000, 10001, limits));
  EXPECT_FALSE(WithinLimits(0, 5, limits));
  EXPECT_FALSE(WithinLimits(-1, -1, limits));
}

TEST(PictureFile, FormatIsChosenByContentNotByName) {
  const std::string dir = ::testing::TempDir();
  Picture p;
  p.Width = 2;
  p.Height = 1;
  p.Rgb = {1, 2, 3, 4, 5, 6};
  const std::string named = dir + "/really_png.jpg";
  WritePngFile(named, p);
  EXPECT_EQ(SniffPictureFile(named), PictureFormat::kPng);
  EXPECT_EQ(ReadPictureFile(named).Rgb, p.Rgb);
  const std::string jpeg = dir + "/really_jpeg.ppm";
  const std::vector<std::uint8_t> bytes = WriteJpegSample(Blocks(p, 8), {});
  std::FILE* f = std::fopen(jpeg.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  EXPECT_EQ(ReadPictureFile(jpeg).Width, 16);
  std::remove(named.c_str());
  std::remove(jpeg.c_str());
}

TEST(PictureFile, FailedWritesLeaveNothingAndKeepWhatWasThere) {
  const std::string dir = ::testing::TempDir() + "/picture_file_writes";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  Picture p;
  p.Width = 1;
  p.Height = 1;
  p.Rgb = {9, 9, 9};
  try {
    WritePngFile(dir + "/missing/out.png", p);
    ADD_FAILURE() << "written";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Problem, PictureProblem::kWriteFailed);
    EXPECT_EQ(e.Errno, ENOENT);
  }
  // A folder where the file should go stays a folder, and nothing is left beside it.
  std::filesystem::create_directory(dir + "/taken.png");
  EXPECT_THROW(WritePngFile(dir + "/taken.png", p), PictureError);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/taken.png"));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.path().filename() != "taken.png";
  EXPECT_EQ(entries, 0);
  // Reading a folder, a missing file, an empty one.
  auto problem = [](const std::string& path) {
    try {
      ReadPictureFile(path);
    } catch (const PictureError& e) {
      return e.Problem;
    }
    return PictureProblem::kWriteFailed;
  };
  EXPECT_EQ(problem(dir), PictureProblem::kCannotOpen);
  EXPECT_EQ(problem(dir + "/none.png"), PictureProblem::kCannotOpen);
  std::fclose(std::fopen((dir + "/empty.png").c_str(), "wb"));
  EXPECT_EQ(problem(dir + "/empty.png"), PictureProblem::kEmpty);
  std::filesystem::remove_all(dir);
}

TEST(Picture, ReducedAveragesWhatEachNewPixelCovers) {
  // Whole blocks: a 4 x 2 picture to 2 x 1, each new pixel the mean of 2 x 2.
  Picture p;
  p.Width = 4;
  p.Height = 2;
  p.Rgb = {0, 0, 0, 100, 100, 100, 10, 20, 30, 10, 20, 30,  //
           200, 200, 200, 100, 100, 100, 50, 60, 70, 50, 60, 71};
  p.Alpha = {255, 255, 0, 0, 255, 255, 255, 255};
  Picture r = Reduced(p, 2);
  ASSERT_EQ(r.Width, 2);
  ASSERT_EQ(r.Height, 1);
  EXPECT_EQ(r.Rgb, (std::vector<std::uint8_t>{100, 100, 100, 30, 40, 50}));  // 50.25
  EXPECT_EQ(r.Alpha, (std::vector<std::uint8_t>{255, 128}));  // 127.5 rounds up

  // Part pixels: 3 to 2, the middle old pixel shared half and half.
  Picture row;
  row.Width = 3;
  row.Height = 1;
  row.Rgb = {0, 0, 0, 30, 30, 30, 90, 90, 90};
  r = Reduced(row, 2);
  ASSERT_EQ(r.Width, 2);
  EXPECT_EQ(r.Height, 1);
  EXPECT_EQ(r.Rgb, (std::vector<std::uint8_t>{10, 10, 10, 70, 70, 70}));
  EXPECT_TRUE(r.Alpha.empty());
}

TEST(Picture, ReducedKeepsTheAspectAndAPlainColour) {
  for (const auto& [w, h] : {std::pair{1000, 600}, std::pair{997, 313}, std::pair{313, 997}, std::pair{2000, 3}}) {
    Picture p;
    p.Width = w;
    p.Height = h;
    p.Rgb.assign(static_cast<std::size_t>(w) * h * 3, 0);
    for (std::size_t i = 0; i < p.Rgb.size(); i += 3) p.Rgb[i] = 17, p.Rgb[i + 1] = 130, p.Rgb[i + 2] = 254;
    const Picture r = Reduced(p, 250);
    EXPECT_EQ(std::max(r.Width, r.Height), 250) << w << "x" << h;
    EXPECT_NEAR(static_cast<double>(r.Width) / r.Height, static_cast<double>(w) / h,
                static_cast<double>(w) / h * 2.0 / std::min(r.Width, r.Height) + 1e-9)
        << w << "x" << h;
    ASSERT_EQ(r.Rgb.size(), static_cast<std::size_t>(r.Width) * r.Height * 3);
    for (std::size_t i = 0; i < r.Rgb.size(); i += 3)
      ASSERT_EQ((std::vector<int>{r.Rgb[i], r.Rgb[i + 1], r.Rgb[i + 2]}), (std::vector<int>{17, 130, 254})) << i;
  }
  // Already small enough: the same picture.
  Picture small;
  small.Width = 2;
  small.Height = 1;
  small.Rgb = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(Reduced(small, 2).Rgb, small.Rgb);
  EXPECT_THROW(Reduced(small, 0), std::invalid_argument);
}

TEST(Picture, ShrunkAveragesWholeBlocksAndAlphaOnItsOwn) {
  Picture p;
  p.Width = 4;
  p.Height = 2;
  p.Rgb = {0, 0, 0, 100, 100, 100, 10, 20, 30, 10, 20, 30,  //
           200, 200, 200, 100, 100, 100, 50, 60, 70, 50, 60, 70};
  p.Alpha = {255, 255, 0, 0, 255, 255, 255, 255};
  Picture r = Shrunk(p, 2, 2);
  ASSERT_EQ(r.Width, 2);
  ASSERT_EQ(r.Height, 1);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.Rgb[k], 100, 1) << k;
  EXPECT_NEAR(r.Rgb[3], 30, 1);
  EXPECT_NEAR(r.Rgb[4], 40, 1);
  EXPECT_NEAR(r.Rgb[5], 50, 1);
  ASSERT_EQ(r.Alpha.size(), 2u);
  EXPECT_EQ(r.Alpha[0], 255);
  EXPECT_NEAR(r.Alpha[1], 128, 1);
  // Factors of their own across and down, a side they do not divide rounded
  // up, and a plain colour stays.
  Picture plain;
  plain.Width = 1001;
  plain.Height = 333;
  plain.Rgb.assign(static_cast<std::size_t>(plain.Width) * plain.Height * 3, 0);
  for (std::size_t i = 0; i < plain.Rgb.size(); i += 3) plain.Rgb[i] = 17, plain.Rgb[i + 1] = 130, plain.Rgb[i + 2] = 254;
  r = Shrunk(plain, 4, 2);
  EXPECT_EQ(r.Width, 251);
  EXPECT_EQ(r.Height, 167);
  ASSERT_EQ(r.Rgb.size(), static_cast<std::size_t>(r.Width) * r.Height * 3);
  for (std::size_t i = 0; i < r.Rgb.size(); i += 3)
    ASSERT_EQ((std::vector<int>{r.Rgb[i], r.Rgb[i + 1], r.Rgb[i + 2]}), (std::vector<int>{17, 130, 254})) << i;
  EXPECT_TRUE(r.Alpha.empty());
  EXPECT_EQ(Shrunk(p, 1, 1).Rgb, p.Rgb);
  EXPECT_THROW(Shrunk(p, 0, 1), std::invalid_argument);
}

}  // namespace anamorfosi
