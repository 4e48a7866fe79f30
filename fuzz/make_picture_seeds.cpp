// Writes the seed files of the picture fuzz targets: small PNGs of every colour
// type and bit depth, plain and interlaced, with and without transparency, one
// of our own encoder's with pHYs and text, and JPEGs of every kind the decoder
// reads. Usage: make_picture_seeds CORPUS_ROOT (fills png/, jpeg/ and picture/).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "testing/picture_samples.h"
#include "picture/png_file.h"

using namespace anamorfosi;

namespace {

constexpr int kWidth = 16, kHeight = 12;
// libFuzzer's -max_len of scripts/fuzz.sh: a longer seed would be cut short.
constexpr std::size_t kMostBytes = 16384;

std::filesystem::path root;
int written = 0;

void Put(const std::string& target, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() >= kMostBytes) {
    std::fprintf(stderr, "make_picture_seeds: %s is %zu bytes\n", name.c_str(), bytes.size());
    std::exit(1);
  }
  for (const std::string& folder : {target, std::string("picture")}) {
    const std::filesystem::path dir = root / folder;
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "make_picture_seeds: cannot write %s\n", path.c_str());
      std::exit(1);
    }
    ++written;
  }
}

// Samples that sweep the whole range of the bit depth, different in every channel.
std::vector<std::uint16_t> Sweep(int channels, int depth) {
  const unsigned top = (1u << depth) - 1;
  std::vector<std::uint16_t> v(static_cast<std::size_t>(kWidth) * kHeight * channels);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::size_t pixel = i / channels, c = i % channels;
    v[i] = static_cast<std::uint16_t>((pixel * (c + 1) * 2654435761u >> 7) % (top + 1));
  }
  return v;
}

int Channels(PngColour c) {
  switch (c) {
    case PngColour::kGrey:
    case PngColour::kPalette: return 1;
    case PngColour::kGreyAlpha: return 2;
    case PngColour::kRgb: return 3;
    case PngColour::kRgba: return 4;
  }
  return 0;
}

void PngSeeds() {
  struct Kind {
    PngColour colour;
    const char* name;
    std::vector<int> depths;
  };
  const Kind kinds[] = {{PngColour::kGrey, "grey", {1, 2, 4, 8, 16}},
                        {PngColour::kGreyAlpha, "grey_alpha", {8, 16}},
                        {PngColour::kRgb, "rgb", {8, 16}},
                        {PngColour::kRgba, "rgba", {8, 16}},
                        {PngColour::kPalette, "palette", {1, 2, 4, 8}}};
  for (const Kind& k : kinds) {
    for (const int depth : k.depths) {
      for (const bool interlaced : {false, true}) {
        const bool palette = k.colour == PngColour::kPalette;
        const bool keyed = k.colour == PngColour::kGrey || k.colour == PngColour::kRgb;
        // Palettes and key colours come with and without their tRNS.
        for (const bool trns : {false, true}) {
          if (trns && !palette && !keyed) continue;
          PngSample s;
          s.Width = kWidth;
          s.Height = kHeight;
          s.Colour = k.colour;
          s.BitDepth = depth;
          s.Interlaced = interlaced;
          s.Samples = Sweep(Channels(k.colour), depth);
          if (palette) {
            const int entries = 1 << depth;
            for (int i = 0; i < entries; ++i) {
              s.Palette.push_back({static_cast<std::uint8_t>(i * 255 / (entries - 1)),
                                   static_cast<std::uint8_t>(255 - i * 255 / (entries - 1)),
                                   static_cast<std::uint8_t>(i * 97 % 256)});
            }
            // Shorter than the palette: the entries after it stay opaque.
            if (trns) {
              for (int i = 0; i < (entries + 1) / 2; ++i) s.PaletteAlpha.push_back(static_cast<std::uint8_t>(i * 91));
            }
          } else if (trns) {
            // The colour of the first pixel, so that the key is really used.
            s.HasKeyColour = true;
            for (int c = 0; c < Channels(k.colour); ++c) s.KeyColour[c] = s.Samples[c];
          }
          const std::string name = std::string(k.name) + "_" + std::to_string(depth) + (trns ? "_trns" : "") +
                                   (interlaced ? "_adam7" : "") + ".png";
          Put("png", name, WritePngSample(s));
        }
      }
    }
  }
}

Picture Card(int width, int height, bool alpha) {
  Picture p;
  p.Width = width;
  p.Height = height;
  p.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
  if (alpha) p.Alpha.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * width + x;
      p.Rgb[i * 3] = static_cast<std::uint8_t>(x * 255 / (width - 1));
      p.Rgb[i * 3 + 1] = static_cast<std::uint8_t>(y * 255 / (height - 1));
      p.Rgb[i * 3 + 2] = static_cast<std::uint8_t>((x + y) % 2 ? 200 : 30);
      if (alpha) p.Alpha[i] = static_cast<std::uint8_t>((x * 37 + y * 11) % 256);
    }
  }
  return p;
}

void EncodedSeeds() {
  PngWriteOptions options;
  options.CellSizeMetres = 0.0005;
  options.Texts = {{"Title", "anamorfosi"}, {"Comment", "vista dall'alto \xc3\xa8"}};
  Put("png", "encoded_rgb_phys_text.png", EncodePng(Card(kWidth, kHeight, false), options));
  options.CompressionLevel = 0;
  Put("png", "encoded_rgba_phys_text_stored.png", EncodePng(Card(kWidth, kHeight, true), options));
}

void JpegSeeds() {
  const Picture card = Card(kWidth, kHeight, false);
  struct Kind {
    const char* name;
    JpegSample sample;
  };
  auto make = [](auto change) {
    JpegSample s;
    change(s);
    return s;
  };
  const Kind kinds[] = {
      {"baseline_q100", make([](JpegSample&) {})},
      {"baseline_q50_subsampled", make([](JpegSample& s) { s.Quality = 50; s.Subsampled = true; })},
      {"progressive", make([](JpegSample& s) { s.Progressive = true; })},
      {"progressive_subsampled", make([](JpegSample& s) { s.Progressive = true; s.Subsampled = true; s.Quality = 75; })},
      {"grey", make([](JpegSample& s) { s.Grey = true; })},
      {"grey_progressive", make([](JpegSample& s) { s.Grey = true; s.Progressive = true; })},
      {"cmyk_adobe", make([](JpegSample& s) { s.Cmyk = true; })},
      {"cmyk_plain", make([](JpegSample& s) { s.Cmyk = true; s.AdobeMarker = false; })},
      {"cmyk_adobe_progressive", make([](JpegSample& s) { s.Cmyk = true; s.Progressive = true; })},
  };
  for (const Kind& k : kinds) Put("jpeg", std::string(k.name) + ".jpg", WriteJpegSample(card, k.sample));
  // Not square, so that every turn shows in the decoded size and rows.
  const Picture small = Card(8, 5, false);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (const bool big : {false, true}) {
      JpegSample s;
      s.Orientation = orientation;
      s.BigEndianExif = big;
      Put("jpeg", "exif_" + std::to_string(orientation) + (big ? "_mm" : "_ii") + ".jpg", WriteJpegSample(small, s));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_picture_seeds CORPUS_ROOT\n");
    return 2;
  }
  root = argv[1];
  PngSeeds();
  EncodedSeeds();
  JpegSeeds();
  std::printf("make_picture_seeds: %d files under %s\n", written, root.string().c_str());
  return 0;
}
