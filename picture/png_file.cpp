#include "picture/png_file.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "picture/picture_error.h"

namespace anamorfosi {

namespace {

// What the callbacks of one libpng run share with the code that started it.
struct PngContext {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  bool truncated = false;
  bool sinkRefused = false;
  const PngSink* sink = nullptr;
  std::exception_ptr rowFailure;
  char message[200] = {};
};

// libpng's errors do not return: they come back to the setjmp of the caller.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
  std::snprintf(ctx->message, sizeof ctx->message, "%s", message ? message : "");
  png_longjmp(png, 1);
}

// Warnings (a damaged ancillary chunk, which libpng skips) are not errors.
void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
  if (ctx->size - ctx->pos < length) {
    ctx->truncated = true;
    png_error(png, "unexpected end of file");
  }
  std::memcpy(out, ctx->data + ctx->pos, length);
  ctx->pos += length;
}

PictureError DecodeError(const PngContext& ctx, const std::string& name) {
  if (ctx.truncated) return PictureError(PictureProblem::kTruncated, name, PictureFormat::kPng);
  const char* crc = std::strstr(ctx.message, ": CRC error");
  if (crc != nullptr) {
    return PictureError(PictureProblem::kBadCrc, name, PictureFormat::kPng,
                        std::string(ctx.message, static_cast<std::size_t>(crc - ctx.message)));
  }
  return PictureError(PictureProblem::kCorrupt, name, PictureFormat::kPng, ctx.message);
}

// libpng's read and write structures, freed however the coding ends.
struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  explicit ReadStructs(PngContext& ctx) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, OnError, OnWarning);
    if (png != nullptr) info = png_create_info_struct(png);
    if (info == nullptr) {
      png_destroy_read_struct(&png, nullptr, nullptr);
      throw std::bad_alloc();
    }
  }
  ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
  ReadStructs(const ReadStructs&) = delete;
  ReadStructs& operator=(const ReadStructs&) = delete;
};
struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  explicit WriteStructs(PngContext& ctx) {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, OnError, OnWarning);
    if (png != nullptr) info = png_create_info_struct(png);
    if (info == nullptr) {
      png_destroy_write_struct(&png, nullptr);
      throw std::bad_alloc();
    }
  }
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
  WriteStructs(const WriteStructs&) = delete;
  WriteStructs& operator=(const WriteStructs&) = delete;
};

// Out of line, so that no object of its own is in the frame of the setjmp.
[[gnu::noinline]] void AppendText(std::vector<PngText>& out, const char* key, const char* text) {
  out.push_back({key ? key : "", text ? text : ""});
}

// The deflate stream of a PNG cannot expand its input more than about 1032
// times; a declared size needing more than that is cut short, whatever it says.
constexpr unsigned long long kMostInflation = 1100;

// The largest chunk libpng may allocate on its own (text, profiles, palettes):
// far above what any picture carries, far below what a declared length can ask.
constexpr png_alloc_size_t kMostChunkBytes = png_alloc_size_t{64} << 20;

// Every chunk's declared length must fit in the bytes that follow it: libpng
// allocates an ancillary chunk's declared length before it reads the data, so
// a few bytes declaring 2 GB of text would take the memory first. Answers
// false (a file cut short) at the first chunk that does not fit.
bool ChunksFit(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 8;
  while (size - at >= 8) {
    const std::uint32_t length = static_cast<std::uint32_t>(data[at]) << 24 | static_cast<std::uint32_t>(data[at + 1]) << 16 |
                                 static_cast<std::uint32_t>(data[at + 2]) << 8 | data[at + 3];
    // Length, type, data and CRC.
    if (size - at < 12 || length > size - at - 12) return false;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
    at += 12 + static_cast<std::size_t>(length);
  }
  return true;  // what is left is shorter than a chunk header: libpng says so
}

// What the decoding produces, kept outside the frame that libpng jumps back to.
struct DecodeJob {
  png_uint_32 width = 0, height = 0;
  int channels = 3;
  bool tooLarge = false;
  std::vector<std::uint8_t> pixels;
  std::vector<png_bytep> rows;
};

// Out of line, so that no object of the vector's own is in the frame of the setjmp.
[[gnu::noinline]] void AllocateRows(DecodeJob& job, std::size_t rowBytes) {
  job.pixels.resize(rowBytes * job.height);
  job.rows.resize(job.height);
  for (png_uint_32 y = 0; y < job.height; ++y) job.rows[y] = job.pixels.data() + y * rowBytes;
}

// The libpng calls of a decoding; false when libpng gave up (ctx says why).
bool DecodeRows(png_structp png, png_infop info, PngContext& ctx, const PictureLimits& limits, DecodeJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &ctx, ReadBytes);
  // The limits are ours, checked below with a message of their own.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kMostChunkBytes);
  png_read_info(png, info);
  job.width = png_get_image_width(png, info);
  job.height = png_get_image_height(png, info);
  if (!WithinLimits(job.width, job.height, limits)) {
    job.tooLarge = true;
    return true;
  }
  // The stored rows, a filter byte each, before any expansion.
  const unsigned long long stored = (static_cast<unsigned long long>(png_get_rowbytes(png, info)) + 1) * job.height;
  if (stored > kMostInflation * ctx.size) {
    ctx.truncated = true;
    png_error(png, "too little data for the declared size");
  }
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  job.channels = png_get_channels(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  if ((job.channels != 3 && job.channels != 4) || rowBytes != static_cast<std::size_t>(job.width) * job.channels)
    png_error(png, "unexpected layout after the transformations");
  AllocateRows(job, rowBytes);
  png_read_image(png, job.rows.data());
  // The rest of the file up to IEND: its chunks' checksums and its end.
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

Picture DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, const PictureLimits& limits) {
  PngContext ctx;
  ctx.data = data;
  ctx.size = size;
  DecodeJob job;
  if (size >= 8 && !ChunksFit(data, size)) throw PictureError(PictureProblem::kTruncated, name, PictureFormat::kPng);
  {
    ReadStructs s(ctx);
    if (!DecodeRows(s.png, s.info, ctx, limits, job)) throw DecodeError(ctx, name);
  }
  const png_uint_32 width = job.width, height = job.height;
  if (job.tooLarge) {
    PictureError e(PictureProblem::kTooLarge, name, PictureFormat::kPng,
                   std::to_string(width) + " x " + std::to_string(height));
    e.Width = width;
    e.Height = height;
    throw e;
  }
  job.rows = {};
  std::vector<std::uint8_t>& pixels = job.pixels;
  const int channels = job.channels;
  Picture picture;
  picture.Width = static_cast<int>(width);
  picture.Height = static_cast<int>(height);
  const std::size_t n = static_cast<std::size_t>(width) * height;
  if (channels == 4) {
    // RGBA to RGB in place (every write lands at or before its read), alpha apart.
    picture.Alpha.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* px = &pixels[i * 4];
      picture.Alpha[i] = px[3];
      std::memmove(&pixels[i * 3], px, 3);
    }
    pixels.resize(n * 3);
    pixels.shrink_to_fit();
  }
  picture.Rgb = std::move(pixels);
  return picture;
}

namespace {

// The libpng calls that read the chunks before the image; false when libpng gave up.
bool ReadTexts(png_structp png, png_infop info, PngContext& ctx, std::vector<PngText>& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &ctx, ReadBytes);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kMostChunkBytes);
  png_read_info(png, info);
  png_textp texts = nullptr;
  int count = 0;
  png_get_text(png, info, &texts, &count);
  for (int i = 0; i < count; ++i) AppendText(out, texts[i].key, texts[i].text);
  return true;
}

}  // namespace

std::vector<PngText> ReadPngTexts(const std::uint8_t* data, std::size_t size) {
  std::vector<PngText> texts;
  if (size < 8 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0 || !ChunksFit(data, size)) return texts;
  PngContext ctx;
  ctx.data = data;
  ctx.size = size;
  ReadStructs s(ctx);
  if (!ReadTexts(s.png, s.info, ctx, texts)) texts.clear();
  return texts;
}

namespace {

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
  bool taken = false;
  // Nothing may be thrown through libpng: a failing sink is a refusal.
  try {
    taken = (*ctx->sink)(data, length);
  } catch (...) {
  }
  if (!taken) {
    ctx->sinkRefused = true;
    png_error(png, "write failed");
  }
}
void FlushNothing(png_structp) {}

bool ValidKey(const std::string& key) {
  if (key.empty() || key.size() > 79 || key.front() == ' ' || key.back() == ' ') return false;
  for (const unsigned char c : key) {
    if (c < 32 || (c > 126 && c < 161)) return false;
  }
  return key.find("  ") == std::string::npos;
}

bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 128 && c != 0; });
}

struct EncodeJob;
bool FillRow(EncodeJob& job, int y, PngContext& ctx);

struct EncodeJob {
  int width, height, channels;
  const PngRowSource* rows;
  const PngWriteOptions* options;
  png_uint_32 perMetre;
  std::vector<std::uint8_t> row;
  std::vector<png_text> texts;
};

// The caller's rows, out of the frame libpng jumps back to; what they throw is
// kept and thrown again once libpng is done.
[[gnu::noinline]] bool FillRow(EncodeJob& job, int y, PngContext& ctx) {
  try {
    (*job.rows)(y, job.row.data());
    return true;
  } catch (...) {
    ctx.rowFailure = std::current_exception();
    return false;
  }
}

// The libpng calls of an encoding; false when libpng gave up (ctx says why).
bool EncodeRows(png_structp png, png_infop info, PngContext& ctx, EncodeJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &ctx, WriteBytes, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(job.width), static_cast<png_uint_32>(job.height), 8,
               job.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, job.options->CompressionLevel);
  if (job.options->Filters != 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, job.options->Filters);
  if (job.perMetre > 0) png_set_pHYs(png, info, job.perMetre, job.perMetre, PNG_RESOLUTION_METER);
  if (!job.texts.empty()) png_set_text(png, info, job.texts.data(), static_cast<int>(job.texts.size()));
  png_write_info(png, info);
  for (int y = 0; y < job.height; ++y) {
    if (!FillRow(job, y, ctx)) return false;
    png_write_row(png, job.row.data());
  }
  png_write_end(png, info);
  return true;
}

}  // namespace

PngWriteOptions PngWriteOptions::Fast() {
  PngWriteOptions o;
  o.CompressionLevel = 1;
  o.Filters = PNG_FILTER_UP;
  return o;
}

void EncodePng(int width, int height, int channels, const PngRowSource& rowSource, const PngWriteOptions& options,
               const PngSink& sink, const std::string& name) {
  if (width < 1 || height < 1 || (channels != 3 && channels != 4))
    throw std::invalid_argument("EncodePng: bad size or channel count");
  if (options.CompressionLevel < 0 || options.CompressionLevel > 9)
    throw std::invalid_argument("EncodePng: compression level outside 0..9");
  for (const PngText& t : options.Texts) {
    if (!ValidKey(t.Key)) throw std::invalid_argument("EncodePng: bad text key \"" + t.Key + "\"");
    if (t.Value.find('\0') != std::string::npos) throw std::invalid_argument("EncodePng: NUL in text " + t.Key);
  }
  // Cells per metre, rounded; a cell too large or too small for the field gives no pHYs.
  png_uint_32 perMetre = 0;
  if (options.CellSizeMetres > 0) {
    const double v = std::round(1.0 / options.CellSizeMetres);
    if (v >= 1 && v <= PNG_UINT_31_MAX) perMetre = static_cast<png_uint_32>(v);
  }

  PngContext ctx;
  ctx.sink = &sink;
  EncodeJob job{width, height, channels, &rowSource, &options, perMetre, {}, {}};
  job.row.resize(static_cast<std::size_t>(width) * channels);
  job.texts.resize(options.Texts.size());
  for (std::size_t i = 0; i < job.texts.size(); ++i) {
    const PngText& t = options.Texts[i];
    png_text& out = job.texts[i];
    std::memset(&out, 0, sizeof out);
    out.key = const_cast<char*>(t.Key.c_str());
    out.text = const_cast<char*>(t.Value.c_str());
    if (Ascii(t.Value)) {
      out.compression = PNG_TEXT_COMPRESSION_NONE;
      out.text_length = t.Value.size();
    } else {
      out.compression = PNG_ITXT_COMPRESSION_NONE;
      out.itxt_length = t.Value.size();
    }
  }
  WriteStructs s(ctx);
  if (!EncodeRows(s.png, s.info, ctx, job)) {
    if (ctx.rowFailure) std::rethrow_exception(ctx.rowFailure);
    throw PictureError(PictureProblem::kWriteFailed, name, PictureFormat::kPng, ctx.sinkRefused ? "" : ctx.message);
  }
}

std::vector<std::uint8_t> EncodePng(const Picture& picture, const PngWriteOptions& options) {
  std::vector<std::uint8_t> bytes;
  const bool alpha = !picture.Alpha.empty();
  const int channels = alpha ? 4 : 3;
  const std::size_t w = static_cast<std::size_t>(picture.Width);
  EncodePng(
      picture.Width, picture.Height, channels,
      [&](int y, std::uint8_t* out) {
        const std::uint8_t* rgb = &picture.Rgb[static_cast<std::size_t>(y) * w * 3];
        if (!alpha) {
          std::memcpy(out, rgb, w * 3);
          return;
        }
        const std::uint8_t* a = &picture.Alpha[static_cast<std::size_t>(y) * w];
        for (std::size_t x = 0; x < w; ++x) {
          std::memcpy(out + x * 4, rgb + x * 3, 3);
          out[x * 4 + 3] = a[x];
        }
      },
      options,
      [&](const std::uint8_t* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
      },
      "PNG");
  return bytes;
}

}  // namespace anamorfosi
