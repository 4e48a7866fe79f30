#include "picture/jpeg_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "picture/picture_error.h"
#include "testing/picture_samples.h"

namespace anamorfosi {

namespace {

const std::uint8_t kColours[6][3] = {{220, 30, 30}, {30, 200, 40}, {40, 60, 230},
                                     {240, 230, 40}, {30, 220, 220}, {250, 250, 250}};

// A grid of colours named by the letters A..F of kColours, row after row.
Picture Grid(int width, int height, const std::string& letters) {
  Picture p;
  p.Width = width;
  p.Height = height;
  for (const char c : letters) p.Rgb.insert(p.Rgb.end(), kColours[c - 'A'], kColours[c - 'A'] + 3);
  return p;
}

// The largest difference of any sample between two pictures of one size.
int MaxDifference(const Picture& a, const Picture& b) {
  int most = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i) most = std::max(most, std::abs(a.Rgb[i] - b.Rgb[i]));
  return most;
}

Picture Decode(const std::vector<std::uint8_t>& file) { return DecodeJpeg(file.data(), file.size(), "t.jpg"); }

PictureProblem ProblemOf(const std::vector<std::uint8_t>& bytes) {
  try {
    DecodeJpeg(bytes.data(), bytes.size(), "t.jpg");
  } catch (const PictureError& e) {
    return e.Problem;
  }
  ADD_FAILURE() << "decoded";
  return PictureProblem::kEmpty;
}

constexpr int kBlock = 16;

}  // namespace

TEST(Jpeg, EveryOrientationReadsUpright) {
  // Upright:  A B C
  //           D E F
  // and, for each orientation, the rows a camera stores for it.
  const Picture upright = Blocks(Grid(3, 2, "ABCDEF"), kBlock);
  const struct {
    int orientation, width, height;
    const char* stored;
  } cases[] = {{1, 3, 2, "ABCDEF"}, {2, 3, 2, "CBAFED"}, {3, 3, 2, "FEDCBA"}, {4, 3, 2, "DEFABC"},
               {5, 2, 3, "ADBECF"}, {6, 2, 3, "CFBEAD"}, {7, 2, 3, "FCEBDA"}, {8, 2, 3, "DAEBFC"}};
  for (const bool bigEndian : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "orientation " << c.orientation << (bigEndian ? " big-endian" : ""));
      JpegSample sample;
      sample.Orientation = c.orientation;
      sample.BigEndianExif = bigEndian;
      const Picture p = Decode(WriteJpegSample(Blocks(Grid(c.width, c.height, c.stored), kBlock), sample));
      ASSERT_EQ(p.Width, upright.Width);
      ASSERT_EQ(p.Height, upright.Height);
      EXPECT_LE(MaxDifference(p, upright), 8);
    }
  }
}

TEST(Jpeg, OrientationTagsOutOfRangeOrMissingChangeNothing) {
  const Picture stored = Blocks(Grid(3, 2, "ABCDEF"), kBlock);
  for (const int tag : {0, 9, 255}) {
    JpegSample sample;
    sample.Orientation = tag;
    const Picture p = Decode(WriteJpegSample(stored, sample));
    EXPECT_EQ(p.Width, stored.Width) << tag;
    EXPECT_LE(MaxDifference(p, stored), 8) << tag;
  }
  EXPECT_EQ(ExifOrientation(reinterpret_cast<const std::uint8_t*>("Exif\0\0MM\0*"), 10), 1);
  EXPECT_EQ(ExifOrientation(reinterpret_cast<const std::uint8_t*>("XMP"), 3), 1);
}

TEST(Jpeg, BaselineProgressiveGreyAndCmykFiles) {
  const Picture card = Blocks(Grid(3, 2, "ABCDEF"), kBlock);
  JpegSample progressive;
  progressive.Progressive = true;
  EXPECT_LE(MaxDifference(Decode(WriteJpegSample(card, progressive)), card), 8);
  // The usual camera file, 4:2:0 chroma at quality 90: the colours hold inside
  // the blocks (chroma is smoothed across their edges).
  JpegSample camera;
  camera.Quality = 90;
  camera.Subsampled = true;
  const Picture c = Decode(WriteJpegSample(card, camera));
  for (int by = 0; by < 2; ++by) {
    for (int bx = 0; bx < 3; ++bx) {
      const std::size_t at = (static_cast<std::size_t>(by * kBlock + kBlock / 2) * c.Width + bx * kBlock + kBlock / 2) * 3;
      for (int k = 0; k < 3; ++k) EXPECT_LE(std::abs(c.Rgb[at + k] - card.Rgb[at + k]), 8) << bx << "," << by;
    }
  }

  JpegSample grey;
  grey.Grey = true;
  const Picture g = Decode(WriteJpegSample(card, grey));
  for (std::size_t i = 0; i < g.Rgb.size(); i += 3) {
    ASSERT_EQ(g.Rgb[i], g.Rgb[i + 1]);
    ASSERT_EQ(g.Rgb[i], g.Rgb[i + 2]);
    ASSERT_LE(std::abs(g.Rgb[i] - card.Rgb[i]), 4);  // the grey file holds the red samples
  }

  // Adobe's inverted inks and plain ones both give the colours back.
  for (const bool adobe : {true, false}) {
    JpegSample cmyk;
    cmyk.Cmyk = true;
    cmyk.AdobeMarker = adobe;
    EXPECT_LE(MaxDifference(Decode(WriteJpegSample(card, cmyk)), card), 8) << (adobe ? "Adobe" : "plain");
  }
}

TEST(Jpeg, BrokenFilesAreRefusedWithWhatIsWrong) {
  const Picture card = Blocks(Grid(3, 2, "ABCDEF"), kBlock);
  for (const bool progressive : {false, true}) {
    JpegSample s;
    s.Progressive = progressive;
    const std::vector<std::uint8_t> good = WriteJpegSample(card, s);
    // Cut inside the coded data (past the headers, before the end marker): it ends early.
    for (const std::size_t n : {good.size() / 2, good.size() * 3 / 4, good.size() - 3}) {
      EXPECT_EQ(ProblemOf({good.begin(), good.begin() + static_cast<long>(n)}), PictureProblem::kTruncated)
          << n << " of " << good.size() << (progressive ? " progressive" : "");
    }
    // Cut inside the headers: no picture at all.
    for (const std::size_t n : {std::size_t{2}, std::size_t{3}, std::size_t{20}}) {
      const PictureProblem p = ProblemOf({good.begin(), good.begin() + static_cast<long>(n)});
      EXPECT_TRUE(p == PictureProblem::kTruncated || p == PictureProblem::kCorrupt) << n;
    }
  }

  // The frame header SOF0 (FF C0): length, precision, then height and width.
  const std::vector<std::uint8_t> good = WriteJpegSample(card, {});
  std::size_t sof = 0;
  for (std::size_t i = 2; i + 9 < good.size(); ++i) {
    if (good[i] == 0xFF && good[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  }
  ASSERT_GT(sof, 0u);
  auto withSize = [&](unsigned w, unsigned h) {
    std::vector<std::uint8_t> b = good;
    b[sof + 5] = static_cast<std::uint8_t>(h >> 8);
    b[sof + 6] = static_cast<std::uint8_t>(h);
    b[sof + 7] = static_cast<std::uint8_t>(w >> 8);
    b[sof + 8] = static_cast<std::uint8_t>(w);
    return b;
  };
  try {
    Decode(withSize(20000, 20000));
    ADD_FAILURE() << "decoded";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Problem, PictureProblem::kTooLarge);
    EXPECT_EQ(e.Width, 20000);
    EXPECT_EQ(e.Detail, "20000 x 20000");
  }
  EXPECT_EQ(ProblemOf(withSize(0, 32)), PictureProblem::kCorrupt);

  std::vector<std::uint8_t> garbage = good;
  for (std::size_t i = 4; i < garbage.size(); i += 3) garbage[i] = static_cast<std::uint8_t>(i * 7);
  const PictureProblem p = ProblemOf(garbage);
  EXPECT_TRUE(p == PictureProblem::kCorrupt || p == PictureProblem::kTruncated);
}

TEST(Jpeg, ScaledDecodingIsSmallerAndStillUpright) {
  // Blocks of 16 pixels: at 1/4 each is 4 x 4 pixels of its colour, and the
  // picture stored turned a quarter (orientation 6) still reads upright.
  const Picture upright = Blocks(Grid(3, 2, "ABCDEF"), kBlock);
  for (const int wanted : {2, 4, 8, 16, 12}) {
    SCOPED_TRACE(::testing::Message() << "reduction " << wanted);
    JpegSample sample;
    sample.Orientation = 6;
    const std::vector<std::uint8_t> file = WriteJpegSample(Blocks(Grid(2, 3, "CFBEAD"), kBlock), sample);
    PictureReduction r;
    int toldWidth = 0, toldHeight = 0;
    r.Choose = [&](int w, int h) {
      toldWidth = w;
      toldHeight = h;
      return PictureFactors{wanted, wanted};
    };
    const Picture p = DecodeJpeg(file.data(), file.size(), "t.jpg", {}, &r);
    EXPECT_EQ(toldWidth, upright.Width);
    EXPECT_EQ(toldHeight, upright.Height);
    EXPECT_EQ(r.FullWidth, upright.Width);
    EXPECT_EQ(r.FullHeight, upright.Height);
    EXPECT_EQ(r.Wanted.Across, wanted);
    // The decoder's share: the largest of 8, 4, 2 that divides what is wanted.
    const int done = wanted % 8 == 0 ? 8 : wanted % 4 == 0 ? 4 : 2;
    EXPECT_EQ(r.Done, done);
    ASSERT_EQ(p.Width, upright.Width / done);
    ASSERT_EQ(p.Height, upright.Height / done);
    // Each block's middle pixel has its colour (the scaled DCT blurs the edges).
    const int side = kBlock / done;
    for (int by = 0; by < 2; ++by) {
      for (int bx = 0; bx < 3; ++bx) {
        const std::uint8_t* c = &p.Rgb[(static_cast<std::size_t>(by * side + side / 2) * p.Width + bx * side + side / 2) * 3];
        const std::uint8_t* want = kColours["ABCDEF"[by * 3 + bx] - 'A'];
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], want[k], 12) << bx << "," << by;
      }
    }
  }
}

TEST(Jpeg, OnlyTheSizeWhenNothingIsWanted) {
  JpegSample sample;
  sample.Orientation = 6;
  const std::vector<std::uint8_t> file = WriteJpegSample(Blocks(Grid(2, 3, "CFBEAD"), kBlock), sample);
  PictureReduction r;
  r.Choose = [](int, int) { return PictureFactors{0, 0}; };
  const Picture p = DecodeJpeg(file.data(), file.size(), "t.jpg", {}, &r);
  EXPECT_EQ(p.Width, 0);
  EXPECT_TRUE(p.Rgb.empty());
  EXPECT_EQ(r.FullWidth, 3 * kBlock);
  EXPECT_EQ(r.FullHeight, 2 * kBlock);
}

TEST(Jpeg, ScaledDecodingOnlyWhereBothSidesAllowIt) {
  JpegSample sample;
  const std::vector<std::uint8_t> file = WriteJpegSample(Blocks(Grid(3, 2, "ABCDEF"), kBlock), sample);
  for (const auto& [across, down, done] : {std::tuple{4, 2, 2}, std::tuple{1, 8, 1}, std::tuple{8, 16, 8}}) {
    PictureReduction r;
    r.Choose = [across = across, down = down](int, int) { return PictureFactors{across, down}; };
    const Picture p = DecodeJpeg(file.data(), file.size(), "t.jpg", {}, &r);
    EXPECT_EQ(r.Done, done) << across << " x " << down;
    EXPECT_EQ(p.Width, 3 * kBlock / done);
    EXPECT_EQ(p.Height, 2 * kBlock / done);
  }
}

namespace {

// Where the first marker of this kind begins (its 0xFF), or 0.
std::size_t FindMarker(const std::vector<std::uint8_t>& b, std::uint8_t marker) {
  for (std::size_t i = 2; i + 1 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == marker) return i;
  return 0;
}

// The file with its frame header (SOF0 or SOF2) declaring width x height.
std::vector<std::uint8_t> Declaring(std::vector<std::uint8_t> b, unsigned width, unsigned height) {
  std::size_t sof = FindMarker(b, 0xC0);
  if (sof == 0) sof = FindMarker(b, 0xC2);
  EXPECT_GT(sof, 0u);
  b[sof + 5] = static_cast<std::uint8_t>(height >> 8);
  b[sof + 6] = static_cast<std::uint8_t>(height);
  b[sof + 7] = static_cast<std::uint8_t>(width >> 8);
  b[sof + 8] = static_cast<std::uint8_t>(width);
  return b;
}

// A whole-picture card of a size with some detail in it.
Picture Card(int width, int height) {
  Picture p;
  p.Width = width;
  p.Height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < 3; ++k) p.Rgb.push_back(static_cast<std::uint8_t>((x * 7 + y * 13 + k * 50) ^ (x * y)));
  return p;
}

std::string DetailOf(const std::vector<std::uint8_t>& bytes) {
  try {
    DecodeJpeg(bytes.data(), bytes.size(), "t.jpg");
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Problem, PictureProblem::kCorrupt) << e.what();
    return e.Detail;
  }
  ADD_FAILURE() << "decoded";
  return {};
}

}  // namespace

TEST(Jpeg, AFileFarTooSmallForItsDeclaredSizeIsRefusedBeforeDecoding) {
  JpegSample grey;
  grey.Grey = true;
  const std::vector<std::uint8_t> good = WriteJpegSample(Card(64, 64), grey);
  // Headers, the scan header and three bytes of its data, then the end marker,
  // declaring 4000 x 4000 (libjpeg would make 16 megapixels of grey of it).
  const std::size_t sos = FindMarker(good, 0xDA);
  ASSERT_GT(sos, 0u);
  const std::size_t data = sos + 2 + (static_cast<std::size_t>(good[sos + 2]) << 8 | good[sos + 3]);
  std::vector<std::uint8_t> tiny(good.begin(), good.begin() + static_cast<long>(data + 3));
  tiny.insert(tiny.end(), {0xFF, 0xD9});
  EXPECT_EQ(DetailOf(Declaring(tiny, 4000, 4000)), "4000 x 4000 pixels declared with only 3 bytes of coded data");

  // A progressive file of many scans that hold no data at all.
  JpegSample progressive = grey;
  progressive.Progressive = true;
  const std::vector<std::uint8_t> p = WriteJpegSample(Card(64, 64), progressive);
  const std::size_t first = FindMarker(p, 0xDA);
  ASSERT_GT(first, 0u);
  std::vector<std::uint8_t> empty(p.begin(), p.begin() + static_cast<long>(first));
  for (int scan = 0; scan < 300; ++scan)  // SOS: one component, DC first scan, no data after it
    empty.insert(empty.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00});
  empty.insert(empty.end(), {0xFF, 0xD9});
  EXPECT_EQ(DetailOf(Declaring(empty, 3000, 3000)), "3000 x 3000 pixels declared with only 0 bytes of coded data");
  // Padding of metadata before the frame is no coded data.
  std::vector<std::uint8_t> padded(empty.begin(), empty.begin() + 2);
  for (int block = 0; block < 40; ++block) {
    padded.insert(padded.end(), {0xFF, 0xEE, 0xFF, 0xFF});  // an APP14 segment of 65533 bytes
    padded.insert(padded.end(), 65533, 0x20);
  }
  padded.insert(padded.end(), empty.begin() + 2, empty.end());
  EXPECT_EQ(DetailOf(Declaring(padded, 3000, 3000)), "3000 x 3000 pixels declared with only 0 bytes of coded data");
}

TEST(Jpeg, DataThatStopsAtAMarkerIsRefusedNotFilledWithGrey) {
  for (const bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    JpegSample s;
    s.Progressive = progressive;
    const std::vector<std::uint8_t> good = WriteJpegSample(Card(96, 96), s);
    // The first scan's data cut in half and the file ended properly after it.
    const std::size_t sos = FindMarker(good, 0xDA);
    ASSERT_GT(sos, 0u);
    std::size_t end = sos + 2;
    while (end + 1 < good.size() &&
           !(good[end] == 0xFF && good[end + 1] != 0 && (good[end + 1] < 0xD0 || good[end + 1] > 0xD7)))
      ++end;
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>((sos + end) / 2));
    cut.insert(cut.end(), {0xFF, 0xD9});
    const std::string detail = DetailOf(cut);
    EXPECT_NE(detail.find("Corrupt JPEG data"), std::string::npos) << detail;
  }
}

TEST(Jpeg, TheFlattestLargePicturesStillDecode) {
  // All white, which codes every block in the fewest bits libjpeg can: every
  // kind of file must stay within the bound of pixels a byte.
  Picture white;
  white.Width = 2048;
  white.Height = 1024;
  white.Rgb.assign(static_cast<std::size_t>(white.Width) * white.Height * 3, 255);
  for (const bool progressive : {false, true}) {
    for (const bool grey : {false, true}) {
      for (const int quality : {1, 100}) {
        JpegSample s;
        s.Progressive = progressive;
        s.Grey = grey;
        s.Subsampled = !grey;
        s.Quality = quality;
        const Picture p = Decode(WriteJpegSample(white, s));
        ASSERT_EQ(p.Width, white.Width);
        EXPECT_EQ(MaxDifference(p, white), 0) << progressive << grey << quality;
      }
    }
  }
}

}  // namespace anamorfosi
