#include "picture/picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "picture/large_pages.h"
#include "picture/picture_error.h"
#include "stb_image_resize.h"

namespace anamorfosi {

void CompositeOntoWhite(Picture& picture) {
  if (picture.Alpha.empty()) return;
  const std::size_t n = picture.Alpha.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned a = picture.Alpha[i];
    if (a == 255) continue;
    // c * a / 255 + 255 * (255 - a) / 255, rounded once.
    for (int k = 0; k < 3; ++k) {
      std::uint8_t& c = picture.Rgb[i * 3 + k];
      c = static_cast<std::uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
    }
  }
}

Picture Orient(const Picture& picture, int orientation) {
  if (orientation < 2 || orientation > 8) return picture;
  const int w = picture.Width, h = picture.Height;
  // Orientations 5 to 8 turn the picture a quarter: its sides swap.
  const bool swap = orientation >= 5;
  Picture out;
  out.Width = swap ? h : w;
  out.Height = swap ? w : h;
  ReserveOnLargePages(out.Rgb, picture.Rgb.size());
  out.Rgb.resize(picture.Rgb.size());
  if (!picture.Alpha.empty()) out.Alpha.resize(picture.Alpha.size());
  for (int y = 0; y < out.Height; ++y) {
    for (int x = 0; x < out.Width; ++x) {
      // The stored pixel (sx, sy) that shows at (x, y) once upright.
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;                  // mirrored left to right
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;  // turned half round
        case 4: sy = h - 1 - y; break;                  // mirrored top to bottom
        case 5: sx = y; sy = x; break;                  // transposed
        case 6: sx = y; sy = h - 1 - x; break;          // stored a quarter counter-clockwise
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;  // transversed
        case 8: sx = w - 1 - y; sy = x; break;          // stored a quarter clockwise
      }
      const std::size_t to = static_cast<std::size_t>(y) * out.Width + x;
      const std::size_t from = static_cast<std::size_t>(sy) * w + sx;
      std::memcpy(&out.Rgb[to * 3], &picture.Rgb[from * 3], 3);
      if (!out.Alpha.empty()) out.Alpha[to] = picture.Alpha[from];
    }
  }
  return out;
}

bool WithinLimits(long long width, long long height, const PictureLimits& limits) {
  return width >= 1 && height >= 1 && width <= limits.MaxSide && height <= limits.MaxSide &&
         width * height <= limits.MaxPixels;
}

namespace {

// For each new index along one side of n old pixels reduced to m: the old
// pixels it covers and the share of each (the shares of one new pixel sum to 1).
struct Cover {
  int First = 0;
  std::vector<double> Weights;
};
std::vector<Cover> Covers(int n, int m) {
  std::vector<Cover> out(m);
  const double step = static_cast<double>(n) / m;
  for (int i = 0; i < m; ++i) {
    const double from = i * step, to = std::min<double>(n, (i + 1) * step);
    Cover& c = out[i];
    c.First = static_cast<int>(std::floor(from));
    for (int k = c.First; k < n && k < to; ++k)
      c.Weights.push_back((std::min<double>(k + 1, to) - std::max<double>(k, from)) / step);
  }
  return out;
}

}  // namespace

Picture Reduced(const Picture& picture, int maxSide) {
  if (maxSide < 1) throw std::invalid_argument("Reduced: the side must be at least 1");
  const int longer = std::max(picture.Width, picture.Height);
  if (longer <= maxSide) return picture;
  const double scale = static_cast<double>(maxSide) / longer;
  Picture out;
  out.Width = std::max(1, static_cast<int>(std::lround(picture.Width * scale)));
  out.Height = std::max(1, static_cast<int>(std::lround(picture.Height * scale)));
  const bool alpha = !picture.Alpha.empty();
  const int channels = alpha ? 4 : 3;
  const std::vector<Cover> across = Covers(picture.Width, out.Width), down = Covers(picture.Height, out.Height);
  // Rows first: each old row reduced across, then the new rows down.
  std::vector<double> rows(static_cast<std::size_t>(picture.Height) * out.Width * channels, 0.0);
  for (int y = 0; y < picture.Height; ++y)
    for (int x = 0; x < out.Width; ++x) {
      double* to = &rows[(static_cast<std::size_t>(y) * out.Width + x) * channels];
      const Cover& c = across[x];
      for (std::size_t k = 0; k < c.Weights.size(); ++k) {
        const std::size_t from = static_cast<std::size_t>(y) * picture.Width + c.First + k;
        for (int ch = 0; ch < 3; ++ch) to[ch] += c.Weights[k] * picture.Rgb[from * 3 + ch];
        if (alpha) to[3] += c.Weights[k] * picture.Alpha[from];
      }
    }
  out.Rgb.resize(static_cast<std::size_t>(out.Width) * out.Height * 3);
  if (alpha) out.Alpha.resize(static_cast<std::size_t>(out.Width) * out.Height);
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x) {
      double sum[4] = {0, 0, 0, 0};
      const Cover& c = down[y];
      for (std::size_t k = 0; k < c.Weights.size(); ++k) {
        const double* from = &rows[((c.First + k) * out.Width + x) * channels];
        for (int ch = 0; ch < channels; ++ch) sum[ch] += c.Weights[k] * from[ch];
      }
      const std::size_t at = static_cast<std::size_t>(y) * out.Width + x;
      auto level = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
      for (int ch = 0; ch < 3; ++ch) out.Rgb[at * 3 + ch] = level(sum[ch]);
      if (alpha) out.Alpha[at] = level(sum[3]);
    }
  return out;
}

Picture Shrunk(const Picture& picture, int across, int down) {
  if (across < 1 || down < 1) throw std::invalid_argument("Shrunk: the factors must be at least 1");
  if (across == 1 && down == 1) return picture;
  Picture out;
  out.Width = (picture.Width + across - 1) / across;
  out.Height = (picture.Height + down - 1) / down;
  if (picture.Width < 1 || picture.Height < 1) return out;
  // Box filter over the whole picture, edges clamped, samples averaged as they are.
  auto resize = [&](const std::uint8_t* from, std::uint8_t* to, int channels) {
    if (!stbir_resize_uint8_generic(from, picture.Width, picture.Height, 0, to, out.Width, out.Height, 0, channels,
                                    STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_BOX,
                                    STBIR_COLORSPACE_LINEAR, nullptr))
      throw std::bad_alloc();
  };
  ReserveOnLargePages(out.Rgb, static_cast<std::size_t>(out.Width) * out.Height * 3);
  out.Rgb.resize(static_cast<std::size_t>(out.Width) * out.Height * 3);
  resize(picture.Rgb.data(), out.Rgb.data(), 3);
  if (!picture.Alpha.empty()) {
    out.Alpha.resize(static_cast<std::size_t>(out.Width) * out.Height);
    resize(picture.Alpha.data(), out.Alpha.data(), 1);
  }
  return out;
}

PictureFormat SniffPictureFormat(const std::uint8_t* d, std::size_t n) {
  auto starts = [&](const char* magic, std::size_t at = 0) {
    const std::size_t len = std::strlen(magic);
    return n >= at + len && std::memcmp(d + at, magic, len) == 0;
  };
  if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return PictureFormat::kPng;
  if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return PictureFormat::kJpeg;
  if (starts("P3") || starts("P6")) return PictureFormat::kPpm;
  if (starts("GIF87a") || starts("GIF89a")) return PictureFormat::kGif;
  if (starts("II*") && n >= 4 && d[3] == 0) return PictureFormat::kTiff;
  if (n >= 4 && std::memcmp(d, "MM\0*", 4) == 0) return PictureFormat::kTiff;
  if (starts("RIFF") && starts("WEBP", 8)) return PictureFormat::kWebp;
  if (starts("ftyp", 4) && (starts("heic", 8) || starts("heix", 8) || starts("mif1", 8) || starts("avif", 8)))
    return PictureFormat::kHeif;
  // "BM" alone is too common a start of text: the size of the header after it must be one of BMP's.
  if (starts("BM") && n >= 18) {
    const unsigned dib = d[14] | d[15] << 8 | d[16] << 16 | static_cast<unsigned>(d[17]) << 24;
    if (dib == 12 || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124)
      return PictureFormat::kBmp;
  }
  return PictureFormat::kUnknown;
}

const char* FormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPpm: return "PPM";
    case PictureFormat::kPng: return "PNG";
    case PictureFormat::kJpeg: return "JPEG";
    case PictureFormat::kGif: return "GIF";
    case PictureFormat::kBmp: return "BMP";
    case PictureFormat::kTiff: return "TIFF";
    case PictureFormat::kWebp: return "WebP";
    case PictureFormat::kHeif: return "HEIF";
    case PictureFormat::kUnknown: break;
  }
  return "unknown";
}

std::string PictureError::Describe(PictureProblem problem, const std::string& file, PictureFormat format,
                                   const std::string& detail) {
  const std::string kind = FormatName(format);
  std::string what;
  switch (problem) {
    case PictureProblem::kCannotOpen: what = "cannot be opened"; break;
    case PictureProblem::kReadFailed: what = "cannot be read"; break;
    case PictureProblem::kEmpty: what = "is empty"; break;
    case PictureProblem::kFileTooLarge: what = "is too large a file for a picture"; break;
    case PictureProblem::kUnsupported: what = "is a " + kind + " picture, a format not read here (use PNG, JPEG or PPM)"; break;
    case PictureProblem::kUnknown: what = "is not a PNG, JPEG or PPM picture"; break;
    case PictureProblem::kTruncated: what = "is a " + kind + " picture that ends early"; break;
    case PictureProblem::kBadCrc: what = "is a damaged PNG picture: bad CRC in chunk " + detail; break;
    case PictureProblem::kCorrupt: what = "is a damaged " + kind + " picture (" + detail + ")"; break;
    case PictureProblem::kTooLarge: what = "declares " + detail + " pixels, over the limit"; break;
    case PictureProblem::kWriteFailed: what = "cannot be written"; break;
  }
  return file + ": " + what;
}

}  // namespace anamorfosi
