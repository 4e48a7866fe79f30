#include "picture/png_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "picture/picture_error.h"
#include "testing/picture_samples.h"

namespace anamorfosi {

namespace {

PictureProblem ProblemOf(const std::vector<std::uint8_t>& bytes, const PictureLimits& limits = {}) {
  try {
    DecodePng(bytes.data(), bytes.size(), "t.png", limits);
  } catch (const PictureError& e) {
    return e.Problem;
  }
  ADD_FAILURE() << "decoded";
  return PictureProblem::kEmpty;
}

// Samples 0 .. 2^depth - 1 in a pattern that uses every value.
std::vector<std::uint16_t> Ramp(std::size_t count, int depth, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint16_t> v(count);
  const unsigned top = (1u << depth) - 1;
  for (std::size_t i = 0; i < count; ++i) v[i] = static_cast<std::uint16_t>(i < top + 1 ? i : rng() & top);
  return v;
}

// What a sample of the given depth reads as in 8 bits: low depths repeat their
// bits, 16 bits round to the nearest level.
std::uint8_t Expanded(unsigned v, int depth) {
  if (depth == 16) return static_cast<std::uint8_t>((v * 255 + 32767) / 65535);
  return static_cast<std::uint8_t>(v * 255 / ((1u << depth) - 1));
}

// Replaces the CRC of the first chunk of this type by its complement.
void SpoilCrc(std::vector<std::uint8_t>& png, const char* type) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::size_t length = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::memcmp(&png[at + 4], type, 4) == 0) {
      png[at + 8 + length] ^= 0xFF;
      return;
    }
    at += 12 + length;
  }
  ADD_FAILURE() << "no chunk " << type;
}

}  // namespace

TEST(Png, EveryGreyAndColourDepthReadsAsItsExpandedSamples) {
  const int w = 37, h = 23;  // rows that do not end on a byte
  struct Case {
    PngColour colour;
    int channels;
    std::vector<int> depths;
  };
  const Case cases[] = {{PngColour::kGrey, 1, {1, 2, 4, 8, 16}},
                        {PngColour::kGreyAlpha, 2, {8, 16}},
                        {PngColour::kRgb, 3, {8, 16}},
                        {PngColour::kRgba, 4, {8, 16}}};
  for (const Case& c : cases) {
    for (const int depth : c.depths) {
      for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "colour " << static_cast<int>(c.colour) << " depth " << depth
                                          << (interlaced ? " interlaced" : ""));
        PngSample s{w, h, c.colour, depth, interlaced, Ramp(std::size_t{w} * h * c.channels, depth, depth), {}, {}};
        const std::vector<std::uint8_t> file = WritePngSample(s);
        const Picture p = DecodePng(file.data(), file.size(), "t.png");
        ASSERT_EQ(p.Width, w);
        ASSERT_EQ(p.Height, h);
        const bool alpha = c.channels == 2 || c.channels == 4;
        ASSERT_EQ(p.Alpha.size(), alpha ? std::size_t{w} * h : 0);
        for (std::size_t i = 0; i < std::size_t{w} * h; ++i) {
          const std::uint16_t* px = &s.Samples[i * c.channels];
          for (int k = 0; k < 3; ++k) {
            const unsigned v = c.channels <= 2 ? px[0] : px[k];
            ASSERT_EQ(p.Rgb[i * 3 + k], Expanded(v, depth)) << "pixel " << i;
          }
          if (alpha) {
            ASSERT_EQ(p.Alpha[i], Expanded(px[c.channels - 1], depth)) << "pixel " << i;
          }
        }
      }
    }
  }
}

TEST(Png, PalettesWithAndWithoutTransparency) {
  for (const int depth : {1, 2, 4, 8}) {
    for (const bool trns : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "depth " << depth << (trns ? " tRNS" : ""));
      const int entries = 1 << depth;
      PngSample s{19, 7, PngColour::kPalette, depth, depth == 4, Ramp(19 * 7, depth, 3), {}, {}};
      for (int i = 0; i < entries; ++i) {
        s.Palette.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                             static_cast<std::uint8_t>(i * 13 % 256)});
      }
      // tRNS may be shorter than the palette: the entries after it are opaque.
      if (trns) {
        for (int i = 0; i < (entries + 1) / 2; ++i) s.PaletteAlpha.push_back(static_cast<std::uint8_t>(i * 37 % 256));
      }
      const std::vector<std::uint8_t> file = WritePngSample(s);
      const Picture p = DecodePng(file.data(), file.size(), "t.png");
      ASSERT_EQ(p.Alpha.size(), trns ? std::size_t{19 * 7} : 0);
      for (std::size_t i = 0; i < s.Samples.size(); ++i) {
        const auto& c = s.Palette[s.Samples[i]];
        ASSERT_EQ(p.Rgb[i * 3], c[0]);
        ASSERT_EQ(p.Rgb[i * 3 + 1], c[1]);
        ASSERT_EQ(p.Rgb[i * 3 + 2], c[2]);
        if (trns) {
          const std::size_t e = s.Samples[i];
          ASSERT_EQ(p.Alpha[i], e < s.PaletteAlpha.size() ? s.PaletteAlpha[e] : 255);
        }
      }
    }
  }
}

TEST(Png, KeyColourOfGreyAndRgbBecomesTransparent) {
  PngSample grey{4, 1, PngColour::kGrey, 16, false, {0, 1000, 65535, 1000}, {}, {}, true, {1000, 0, 0}};
  std::vector<std::uint8_t> file = WritePngSample(grey);
  Picture p = DecodePng(file.data(), file.size(), "t.png");
  EXPECT_EQ(p.Alpha, (std::vector<std::uint8_t>{255, 0, 255, 0}));
  EXPECT_EQ(p.Rgb[3], Expanded(1000, 16));

  PngSample rgb{2, 1, PngColour::kRgb, 8, false, {10, 20, 30, 10, 20, 31}, {}, {}, true, {10, 20, 30}};
  file = WritePngSample(rgb);
  p = DecodePng(file.data(), file.size(), "t.png");
  EXPECT_EQ(p.Alpha, (std::vector<std::uint8_t>{0, 255}));
}

TEST(Png, SixteenBitSamplesRoundToTheNearestLevel) {
  // Each 8-bit level v stands for v * 257; halfway values and their neighbours
  // decide the rounding.
  std::vector<std::uint16_t> v;
  for (unsigned level = 0; level < 255; ++level) {
    const unsigned mid = level * 257 + 128;  // just above the midpoint to level + 1
    for (const unsigned x : {level * 257, mid - 1, mid, mid + 1}) v.push_back(static_cast<std::uint16_t>(x));
  }
  v.push_back(65535);
  PngSample s{static_cast<int>(v.size()), 1, PngColour::kGrey, 16, false, v, {}, {}};
  const std::vector<std::uint8_t> file = WritePngSample(s);
  const Picture p = DecodePng(file.data(), file.size(), "t.png");
  for (std::size_t i = 0; i < v.size(); ++i) ASSERT_EQ(p.Rgb[i * 3], Expanded(v[i], 16)) << v[i];
}

TEST(Png, EncodedPicturesReadBackAndCarryTheirChunks) {
  Picture p;
  p.Width = 5;
  p.Height = 3;
  for (int i = 0; i < 15 * 3; ++i) p.Rgb.push_back(static_cast<std::uint8_t>(i * 11));
  PngWriteOptions options;
  options.CompressionLevel = 9;
  options.CellSizeMetres = 0.0254 / 300;  // 300 cells an inch
  options.Texts = {{"Software", "anamorfosi"}, {"Parametri", "raggio 25 mm, occhio 0 -300 250"},
                   {"Sorgente", "foto d'estate \xc3\xa8 bella"}};
  const std::vector<std::uint8_t> a = EncodePng(p, options);
  EXPECT_EQ(a, EncodePng(p, options));  // nothing of the moment in the file
  const Picture back = DecodePng(a.data(), a.size(), "t.png");
  EXPECT_EQ(back.Rgb, p.Rgb);
  EXPECT_TRUE(back.Alpha.empty());

  // The chunks, read back with libpng itself.
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  struct Cursor {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos;
  } cursor{&a, 0};
  png_set_read_fn(png, &cursor, [](png_structp s, png_bytep out, png_size_t n) {
    auto* c = static_cast<Cursor*>(png_get_io_ptr(s));
    std::memcpy(out, c->bytes->data() + c->pos, n);
    c->pos += n;
  });
  png_read_info(png, info);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  ASSERT_TRUE(png_get_pHYs(png, info, &x, &y, &unit));
  EXPECT_EQ(x, 11811u);  // 300 / 0.0254, rounded
  EXPECT_EQ(y, 11811u);
  EXPECT_EQ(unit, PNG_RESOLUTION_METER);
  png_textp texts = nullptr;
  int count = 0;
  png_get_text(png, info, &texts, &count);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(texts[1].key, "Parametri");
  EXPECT_STREQ(texts[1].text, "raggio 25 mm, occhio 0 -300 250");
  EXPECT_EQ(texts[1].compression, PNG_TEXT_COMPRESSION_NONE);
  EXPECT_EQ(texts[2].compression, PNG_ITXT_COMPRESSION_NONE);  // not Latin-1 safe: UTF-8 iTXt
  EXPECT_STREQ(texts[2].text, "foto d'estate \xc3\xa8 bella");
  png_destroy_read_struct(&png, &info, nullptr);

  // Alpha goes out as RGBA and comes back.
  p.Alpha = {0, 1, 127, 128, 255, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  const std::vector<std::uint8_t> b = EncodePng(p);
  EXPECT_EQ(DecodePng(b.data(), b.size(), "t.png").Alpha, p.Alpha);
}

TEST(Png, WritingRefusesBadArgumentsAndReportsARefusingSink) {
  Picture p;
  p.Width = 2;
  p.Height = 2;
  p.Rgb.assign(12, 0);
  PngWriteOptions bad;
  bad.CompressionLevel = 10;
  EXPECT_THROW(EncodePng(p, bad), std::invalid_argument);
  bad = {};
  bad.Texts = {{"", "x"}};
  EXPECT_THROW(EncodePng(p, bad), std::invalid_argument);
  bad.Texts = {{std::string(80, 'k'), "x"}};
  EXPECT_THROW(EncodePng(p, bad), std::invalid_argument);
  try {
    EncodePng(
        2, 2, 3, [](int, std::uint8_t* out) { std::memset(out, 0, 6); }, {},
        [](const std::uint8_t*, std::size_t) { return false; }, "out.png");
    ADD_FAILURE() << "no error";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Problem, PictureProblem::kWriteFailed);
    EXPECT_EQ(e.File, "out.png");
  }
  // What the caller's rows throw comes through as it was.
  EXPECT_THROW(EncodePng(
                   2, 2, 3, [](int row, std::uint8_t*) { if (row == 1) throw std::out_of_range("row"); }, {},
                   [](const std::uint8_t*, std::size_t) { return true; }, "out.png"),
               std::out_of_range);
}

TEST(Png, BrokenFilesAreRefusedWithWhatIsWrong) {
  PngSample s{8, 8, PngColour::kRgb, 8, false, Ramp(8 * 8 * 3, 8, 1), {}, {}};
  const std::vector<std::uint8_t> good = WritePngSample(s);
  // Cut anywhere after the signature: nothing short of the whole file decodes.
  for (std::size_t n = 8; n < good.size(); ++n) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    ASSERT_EQ(ProblemOf(cut), PictureProblem::kTruncated) << n << " bytes";
  }
  for (const char* chunk : {"IHDR", "IDAT", "IEND"}) {
    std::vector<std::uint8_t> bad = good;
    SpoilCrc(bad, chunk);
    try {
      DecodePng(bad.data(), bad.size(), "t.png");
      ADD_FAILURE() << chunk;
    } catch (const PictureError& e) {
      EXPECT_EQ(e.Problem, PictureProblem::kBadCrc) << chunk << ": " << e.what();
      EXPECT_EQ(e.Detail, chunk);
    }
  }
  // A damaged ancillary chunk is skipped, as viewers do.
  Picture p;
  p.Width = p.Height = 2;
  p.Rgb.assign(12, 200);
  PngWriteOptions withText;
  withText.Texts = {{"Comment", "x"}};
  std::vector<std::uint8_t> text = EncodePng(p, withText);
  SpoilCrc(text, "tEXt");
  EXPECT_EQ(DecodePng(text.data(), text.size(), "t.png").Rgb, p.Rgb);

  // IHDR width at bytes 16..19, height at 20..23; its CRC must then be made again.
  auto withSize = [&](std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> b = good;
    for (int i = 0; i < 4; ++i) {
      b[16 + i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
      b[20 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
    }
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &b[12], 17));
    for (int i = 0; i < 4; ++i) b[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return b;
  };
  EXPECT_EQ(ProblemOf(withSize(0, 8)), PictureProblem::kCorrupt);
  EXPECT_EQ(ProblemOf(withSize(65536, 1)), PictureProblem::kTooLarge);
  EXPECT_EQ(ProblemOf(withSize(10001, 10000)), PictureProblem::kTooLarge);
  EXPECT_EQ(ProblemOf(withSize(0x7fffffff, 0x7fffffff)), PictureProblem::kTooLarge);
  EXPECT_EQ(ProblemOf(withSize(9, 8), PictureLimits{71, 100}), PictureProblem::kTooLarge);
  // Within the limits, but far more pixels than its few bytes can inflate to:
  // refused before the 300 MB would be allocated.
  EXPECT_EQ(ProblemOf(withSize(10000, 10000)), PictureProblem::kTruncated);
  EXPECT_EQ(ProblemOf(std::vector<std::uint8_t>(good.begin(), good.begin() + 8)), PictureProblem::kTruncated);

  // Found by fuzzing: a text chunk declaring 2 GB in a 61-byte file made libpng
  // take (and zero) the 2 GB before it found the data missing. It is refused as
  // cut short, in a child process whose peak memory tells what was taken.
  for (const std::string type : {"tEXt", "zTXt", "iTXt", "sPLT", "eXIf"}) {
    std::string bytes(good.begin(), good.begin() + 33);  // signature and IHDR
    bytes += std::string("\x77\x35\x94\x00", 4) + type + std::string(20, 'x');  // 2000000000 bytes declared
    const std::vector<std::uint8_t> bomb(bytes.begin(), bytes.end());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(ProblemOf(bomb) == PictureProblem::kTruncated ? 0 : 1);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << type;
    EXPECT_LT(usage.ru_maxrss, 400 * 1024) << type << ": peak kB";
  }
}

}  // namespace anamorfosi
