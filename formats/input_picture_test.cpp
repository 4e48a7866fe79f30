#include "formats/input_picture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "core/errors.h"
#include "testing/picture_samples.h"
#include "picture/png_file.h"

namespace anamorfosi {

namespace {

// The files of these tests, in a folder of the process removed at its end.
const std::string& ScratchDir() {
  static const std::string dir = [] {
    const std::string d = ::testing::TempDir() + "/input_picture_" + std::to_string(::getpid());
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}
struct RemoveScratch : ::testing::Environment {
  void TearDown() override { std::filesystem::remove_all(ScratchDir()); }
};
[[maybe_unused]] const auto* const kRemoveScratch = ::testing::AddGlobalTestEnvironment(new RemoveScratch);

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = Scratch(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// A plain P3 file of the picture, with a comment line.
std::string WritePpm(const std::string& name, const Picture& p) {
  std::string text = "P3\n# test card\n" + std::to_string(p.Width) + " " + std::to_string(p.Height) + "\n255\n";
  for (const std::uint8_t v : p.Rgb) text += std::to_string(v) + "\n";
  return Write(name, {text.begin(), text.end()});
}

const InputPicture& Card() {
  static const InputPicture card = ReadPicture(EXAMPLES_DIR "/cartello.ppm");
  return card;
}

// The card through a PNG of the given layout, next to the card as the layout
// can hold it, written as PPM: both must read the same.
void ExpectSameAsPpm(const PngSample& sample, const Picture& held, const std::string& what) {
  SCOPED_TRACE(what);
  const InputPicture fromPng = ReadInputPicture(Write(what + ".png", WritePngSample(sample)));
  const InputPicture fromPpm = ReadInputPicture(WritePpm(what + ".ppm", held));
  EXPECT_EQ(fromPng.Width, fromPpm.Width);
  EXPECT_EQ(fromPng.Height, fromPpm.Height);
  EXPECT_EQ(fromPng.Rgb, fromPpm.Rgb);
  EXPECT_EQ(fromPng.Comment, "# convertita da PNG");
  EXPECT_EQ(fromPng.MaxValue, 255);
}

std::string StopMessage(const std::string& path) {
  try {
    ReadInputPicture(path);
  } catch (const RunStopped& e) {
    return e.what();
  }
  return "(read)";
}

}  // namespace

TEST(InputPicture, TestCardReadsTheSameFromEveryPngLayoutAsFromPpm) {
  const Picture& card = Card();
  const std::size_t n = static_cast<std::size_t>(card.Width) * card.Height;
  // Colour layouts hold the card itself.
  for (const int depth : {8, 16}) {
    for (const bool alpha : {false, true}) {
      PngSample s{card.Width, card.Height, alpha ? PngColour::kRgba : PngColour::kRgb, depth, depth == 16, {}, {}, {}};
      for (std::size_t i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) s.Samples.push_back(static_cast<std::uint16_t>(card.Rgb[i * 3 + k] * (depth == 16 ? 257 : 1)));
        if (alpha) s.Samples.push_back(depth == 16 ? 65535 : 255);
      }
      ExpectSameAsPpm(s, card, "rgb" + std::to_string(depth) + (alpha ? "a" : ""));
    }
  }
  // A palette of the card's colours, at 8 bits and at the fewest bits that hold it.
  std::map<std::array<std::uint8_t, 3>, int> index;
  std::vector<std::array<std::uint8_t, 3>> palette;
  std::vector<std::uint16_t> indices;
  for (std::size_t i = 0; i < n; ++i) {
    const std::array<std::uint8_t, 3> c{card.Rgb[i * 3], card.Rgb[i * 3 + 1], card.Rgb[i * 3 + 2]};
    if (!index.count(c)) {
      index[c] = static_cast<int>(palette.size());
      palette.push_back(c);
    }
    indices.push_back(static_cast<std::uint16_t>(index[c]));
  }
  ASSERT_LE(palette.size(), 16u) << "the card has few colours";
  for (const int depth : {4, 8}) {
    PngSample s{card.Width, card.Height, PngColour::kPalette, depth, depth == 4, indices, palette, {}};
    ExpectSameAsPpm(s, card, "palette" + std::to_string(depth));
  }
  // Grey layouts hold the card's green samples at their own depth.
  for (const int depth : {1, 2, 4, 8, 16}) {
    for (const bool alpha : {false, true}) {
      if (alpha && depth < 8) continue;
      PngSample s{card.Width, card.Height, alpha ? PngColour::kGreyAlpha : PngColour::kGrey, depth, depth == 2, {}, {}, {}};
      Picture held = card;
      const unsigned top = (1u << depth) - 1;
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned v = (card.Rgb[i * 3 + 1] * top + 127) / 255;
        s.Samples.push_back(static_cast<std::uint16_t>(v));
        if (alpha) s.Samples.push_back(static_cast<std::uint16_t>(top));
        const auto level = static_cast<std::uint8_t>(depth == 16 ? (v * 255 + 32767) / 65535 : v * 255 / top);
        for (int k = 0; k < 3; ++k) held.Rgb[i * 3 + k] = level;
      }
      ExpectSameAsPpm(s, held, "grey" + std::to_string(depth) + (alpha ? "a" : ""));
    }
  }
}

TEST(InputPicture, TestCardThroughJpegAtQuality100StaysClose) {
  const Picture& card = Card();
  const InputPicture jpeg = ReadInputPicture(Write("card.jpg", WriteJpegSample(card, {})));
  ASSERT_EQ(jpeg.Width, card.Width);
  ASSERT_EQ(jpeg.Height, card.Height);
  EXPECT_EQ(jpeg.Comment, "# convertita da JPEG");
  long total = 0;
  int most = 0;
  for (std::size_t i = 0; i < card.Rgb.size(); ++i) {
    const int d = std::abs(jpeg.Rgb[i] - card.Rgb[i]);
    total += d;
    most = std::max(most, d);
  }
  // Quality 100 with full chroma: a few levels at the card's sharp edges, well
  // under one level on average.
  EXPECT_LE(most, 12);
  EXPECT_LT(static_cast<double>(total) / card.Rgb.size(), 1.0);
}

TEST(InputPicture, PpmGoesThroughItsOwnReaderUnchanged) {
  const InputPicture direct = ReadPicture(EXAMPLES_DIR "/cartello.ppm");
  const InputPicture chosen = ReadInputPicture(EXAMPLES_DIR "/cartello.ppm");
  EXPECT_EQ(chosen.Rgb, direct.Rgb);
  EXPECT_EQ(chosen.Comment, direct.Comment);
  EXPECT_EQ(chosen.HasComment, direct.HasComment);
  EXPECT_EQ(chosen.MaxValue, direct.MaxValue);
  EXPECT_TRUE(chosen.Alpha.empty());
  // Its messages stay its own.
  const std::string p3 = Write("short.ppm", {'P', '3', '\n', '2', ' ', '2', '\n', '2', '5', '5', '\n', '1'});
  EXPECT_EQ(StopMessage(p3), "Errore: il file " + p3 + " ha dati dei pixel incompleti");
}

TEST(InputPicture, WhatIsNotAPictureOfOursIsNamed) {
  const std::string empty = Write("empty.png", {});
  EXPECT_EQ(StopMessage(empty), "Errore: il file " + empty + " e' vuoto");
  const std::string text = Write("notes.png", {'c', 'i', 'a', 'o'});
  EXPECT_EQ(StopMessage(text), "Errore: il file " + text + " non e' un'immagine PPM (P3 o P6), PNG o JPEG");
  const std::string webp = Write("photo.webp", {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'E', 'B', 'P', 'V', 'P', '8'});
  EXPECT_EQ(StopMessage(webp),
            "Errore: il file " + webp + " e' un'immagine WebP: formato non letto (usare PPM, PNG o JPEG)");
  // A missing file or a folder is the runtime report, as for every other input.
  try {
    ReadInputPicture(Scratch("missing.png"));
    ADD_FAILURE();
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kFileNotFound);
  }
}

TEST(InputPicture, ReadSmallerAfterTheBlendOntoWhite) {
  // A 4 x 2 RGBA picture: a black pixel half transparent beside an opaque
  // black one, and a red pair of which one is transparent. Blended onto white
  // first, then averaged: the left pixel is mid grey, the right one pink.
  PngSample sample;
  sample.Width = 4;
  sample.Height = 2;
  sample.Colour = PngColour::kRgba;
  sample.Samples = {0, 0, 0, 128, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 0,  //
                    0, 0, 0, 128, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 0};
  const std::string file = Write("blend.png", WritePngSample(sample));
  PictureReduction r;
  r.Choose = [](int w, int h) { return w == 4 && h == 2 ? PictureFactors{2, 2} : PictureFactors{}; };
  const InputPicture p = ReadAnyPicture(file, &r);
  EXPECT_EQ(r.Wanted.Down, 2);
  EXPECT_EQ(r.FullWidth, 4);
  ASSERT_EQ(p.Width, 2);
  ASSERT_EQ(p.Height, 1);
  // Left: (127 + 0) / 2 in every channel; right: red and white averaged.
  EXPECT_NEAR(p.Rgb[0], 64, 1);
  EXPECT_NEAR(p.Rgb[2], 64, 1);
  EXPECT_NEAR(p.Rgb[3], 255, 1);
  EXPECT_NEAR(p.Rgb[4], 128, 1);
  EXPECT_NEAR(p.Rgb[5], 128, 1);
  ASSERT_EQ(p.Alpha.size(), 2u);
  EXPECT_NEAR(p.Alpha[0], 192, 1);
  EXPECT_NEAR(p.Alpha[1], 128, 1);
  // A PPM is read by the programs' reader, then made smaller alike.
  const std::string ppm = Write("plain.ppm", std::vector<std::uint8_t>{'P', '3', '\n', '4', ' ', '2', '\n', '9', '\n',
                                                                       '0', ' ', '0', ' ', '0', ' ', '9', ' ', '9', ' ', '9', ' ',
                                                                       '0', ' ', '0', ' ', '0', ' ', '9', ' ', '9', ' ', '9', ' ',
                                                                       '0', ' ', '0', ' ', '0', ' ', '9', ' ', '9', ' ', '9', ' ',
                                                                       '0', ' ', '0', ' ', '0', ' ', '9', ' ', '9', ' ', '9', '\n'});
  PictureReduction half;
  half.Choose = [](int, int) { return PictureFactors{2, 1}; };
  const InputPicture q = ReadAnyPicture(ppm, &half);
  ASSERT_EQ(q.Width, 2);
  ASSERT_EQ(q.Height, 2);
  EXPECT_EQ(q.MaxValue, 9);
  EXPECT_NEAR(q.Rgb[0], 4.5, 0.6);
}

}  // namespace anamorfosi
