#include "formats/ppm.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "core/errors.h"
#include "picture/picture_error.h"
#include "picture/png_file.h"

namespace anamorfosi {

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
constexpr std::size_t kWriteBlock = std::size_t{1} << 20;
constexpr std::size_t kCommentLimit = 72;
constexpr unsigned kMaxSample = 65535;
// Sample tokens saturate here, so any larger number still clamps to the maximum.
constexpr unsigned kSaturated = kMaxSample + 1;
// Header numbers above this are not valid sizes.
constexpr unsigned long long kMaxHeaderNumber = 0x7fffffffULL;

constexpr std::array<bool, 256> kIsSpace = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : {' ', '\t', '\n', '\r', '\v', '\f'}) t[c] = true;
  return t;
}();
bool IsSpace(unsigned char c) { return kIsSpace[c]; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

[[noreturn]] void Stop(const std::string& fileName, PpmProblem problem) { throw PpmError(problem, fileName); }

// A sequential reader over one file, refilled one large block at a time. The
// byte after the last one read is always 0, which is neither a digit nor white
// space, so scans over digits or blanks stop at the end of a block by themselves.
class BlockReader {
 public:
  // block: bytes read at a time; a small file needs no more than its size.
  BlockReader(std::FILE* file, const std::string& name, std::size_t block)
      : file_(file), name_(name), block_(block), buffer_(block + 1) {
    pos_ = end_ = buffer_.data();
    *end_ = 0;
  }

  // Loads the next block; false at the end of the file.
  bool Refill() {
    if (eof_) return false;
    const std::size_t n = std::fread(buffer_.data(), 1, block_, file_);
    if (n < block_) {
      if (std::ferror(file_)) throw RuntimeFailure(kDiskReadError, name_);
      eof_ = true;
    }
    pos_ = buffer_.data();
    end_ = pos_ + n;
    *end_ = 0;
    return n > 0;
  }

  // The next byte without taking it, or -1 at the end of the file.
  int Peek() {
    if (pos_ == end_ && !Refill()) return -1;
    return *pos_;
  }
  int Get() {
    const int c = Peek();
    if (c >= 0) ++pos_;
    return c;
  }

  unsigned char*& pos() { return pos_; }
  unsigned char* end() const { return end_; }

 private:
  std::FILE* file_;
  const std::string& name_;
  std::size_t block_;
  std::vector<unsigned char> buffer_;
  unsigned char* pos_;
  unsigned char* end_;
  bool eof_ = false;
};

// A comment from its '#' up to the line end, which is left in place; the first
// comment of the header is kept as it stands, cut to its limit.
void ReadComment(BlockReader& in, InputPicture& picture) {
  std::string line;
  int c;
  while ((c = in.Peek()) >= 0 && c != '\n' && c != '\r') {
    if (line.size() < kCommentLimit) line.push_back(static_cast<char>(c));
    in.Get();
  }
  if (!picture.HasComment) {
    picture.HasComment = true;
    picture.Comment = std::move(line);
  }
}

// The header between its tokens: any white space and comments.
void SkipHeaderGap(BlockReader& in, InputPicture& picture) {
  for (;;) {
    const int c = in.Peek();
    if (c < 0) return;
    if (IsSpace(static_cast<unsigned char>(c)))
      in.Get();
    else if (c == '#')
      ReadComment(in, picture);
    else
      return;
  }
}

// One header number, 1 up to `limit`; 0 when missing or not valid. The byte that
// ends it is left in place.
unsigned long long ReadHeaderNumber(BlockReader& in, InputPicture& picture, unsigned long long limit) {
  SkipHeaderGap(in, picture);
  unsigned long long value = 0;
  int c = in.Peek();
  if (c < 0 || !IsDigit(static_cast<unsigned char>(c))) return 0;
  while ((c = in.Peek()) >= 0 && IsDigit(static_cast<unsigned char>(c))) {
    value = std::min(value * 10 + static_cast<unsigned>(c - '0'), limit + 1);
    in.Get();
  }
  if (c >= 0 && !IsSpace(static_cast<unsigned char>(c)) && c != '#') return 0;
  return value <= limit ? value : 0;
}

// Maps a sample of the file (already saturated at kSaturated) to its output value.
std::vector<std::uint8_t> SampleTable(unsigned maxValue) {
  std::vector<std::uint8_t> table(kSaturated + 1);
  for (unsigned v = 0; v <= kSaturated; ++v) {
    const unsigned clamped = std::min(v, maxValue);
    // Above 255 the range is scaled to 0..255 with rounding to the nearest.
    table[v] = static_cast<std::uint8_t>(maxValue <= 255 ? clamped : (clamped * 255u + maxValue / 2) / maxValue);
  }
  return table;
}

// The plain samples: numbers separated by any run of white space.
void ReadPlainSamples(BlockReader& in, const std::string& name, const std::uint8_t* table, std::uint8_t* out,
                      std::size_t count) {
  unsigned char*& p = in.pos();
  for (std::size_t i = 0; i < count; ++i) {
    for (;;) {
      while (kIsSpace[*p]) ++p;
      if (p < in.end()) break;
      if (!in.Refill()) Stop(name, PpmProblem::kIncomplete);
    }
    unsigned digit = static_cast<unsigned>(*p) - '0';
    if (digit > 9) Stop(name, PpmProblem::kSampleNotANumber);
    unsigned v = 0;
    for (;;) {
      do {
        v = v * 10 + digit;
        if (v > kSaturated) v = kSaturated;
        digit = static_cast<unsigned>(*++p) - '0';
      } while (digit <= 9);
      if (p < in.end() || !in.Refill()) break;
      digit = static_cast<unsigned>(*p) - '0';
      if (digit > 9) break;
    }
    if (p < in.end() && !kIsSpace[*p]) Stop(name, PpmProblem::kSampleNotANumber);
    out[i] = table[v];
  }
}

// The binary samples: one byte each below 256, else two bytes, high byte first.
void ReadBinarySamples(BlockReader& in, const std::string& name, const std::uint8_t* table, bool wide,
                       std::uint8_t* out, std::size_t count) {
  unsigned char*& p = in.pos();
  std::size_t i = 0;
  while (i < count) {
    if (p == in.end() && !in.Refill()) Stop(name, PpmProblem::kIncomplete);
    if (!wide) {
      const std::size_t n = std::min(count - i, static_cast<std::size_t>(in.end() - p));
      for (std::size_t k = 0; k < n; ++k) out[i + k] = table[p[k]];
      p += n;
      i += n;
      continue;
    }
    while (i < count && in.end() - p >= 2) {
      out[i++] = table[(static_cast<unsigned>(p[0]) << 8) | p[1]];
      p += 2;
    }
    // A sample split between two blocks.
    if (i < count && in.end() - p == 1) {
      const unsigned high = *p++;
      const int low = in.Get();
      if (low < 0) Stop(name, PpmProblem::kIncomplete);
      out[i++] = table[(high << 8) | static_cast<unsigned>(low)];
    }
  }
}

// Bytes left in the file from its current position, or -1 when it has no fixed size.
long long BytesLeft(std::FILE* f) {
  const long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(f);
  if (std::fseek(f, here, SEEK_SET) != 0 || size < here) return -1;
  return size - here;
}

}  // namespace

std::string PpmError::ItalianText(PpmProblem problem, const std::string& file) {
  const char* what = "";
  switch (problem) {
    case PpmProblem::kNotPpm: what = "non e' un'immagine PPM (P3 o P6)"; break;
    case PpmProblem::kBadWidth: what = "ha larghezza mancante o non valida"; break;
    case PpmProblem::kBadHeight: what = "ha altezza mancante o non valida"; break;
    case PpmProblem::kBadMaximum: what = "ha valore massimo mancante o non valido (da 1 a 65535)"; break;
    case PpmProblem::kSampleNotANumber: what = "ha un valore di un pixel non numerico"; break;
    case PpmProblem::kIncomplete: what = "ha dati dei pixel incompleti"; break;
  }
  return "Errore: il file " + file + " " + what;
}

InputPicture ReadPicture(const std::string& fileName, const PictureLimits* limits) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(fileName));
  const long long fileSize = BytesLeft(file.get());
  const std::size_t block =
      fileSize >= 0 && static_cast<unsigned long long>(fileSize) < kReadBlock ? static_cast<std::size_t>(fileSize) + 1
                                                                             : kReadBlock;
  BlockReader in(file.get(), fileName, block);
  InputPicture picture;

  const int m0 = in.Get();
  const int m1 = in.Get();
  const int m2 = in.Peek();
  const bool binary = m1 == '6';
  if (m0 != 'P' || (m1 != '3' && m1 != '6') || (m2 >= 0 && !IsSpace(static_cast<unsigned char>(m2)) && m2 != '#'))
    Stop(fileName, PpmProblem::kNotPpm);

  const auto width = ReadHeaderNumber(in, picture, kMaxHeaderNumber);
  if (width == 0) Stop(fileName, PpmProblem::kBadWidth);
  const auto height = ReadHeaderNumber(in, picture, kMaxHeaderNumber);
  if (height == 0) Stop(fileName, PpmProblem::kBadHeight);
  const auto maxValue = static_cast<unsigned>(ReadHeaderNumber(in, picture, kMaxSample));
  if (maxValue == 0) Stop(fileName, PpmProblem::kBadMaximum);
  if (binary) {
    // Exactly one white-space byte before the binary samples; a comment there ends at its line end.
    if (in.Peek() == '#') ReadComment(in, picture);
    in.Get();
  }

  if (limits != nullptr && !WithinLimits(static_cast<long long>(width), static_cast<long long>(height), *limits)) {
    PictureError e(PictureProblem::kTooLarge, fileName, PictureFormat::kPpm,
                   std::to_string(width) + " x " + std::to_string(height));
    e.Width = static_cast<long long>(width);
    e.Height = static_cast<long long>(height);
    throw e;
  }
  picture.Width = static_cast<int>(width);
  picture.Height = static_cast<int>(height);
  picture.MaxValue = maxValue <= 255 ? static_cast<int>(maxValue) : 255;
  // Both sides are below 2^31, so the count of samples fits in 64 bits.
  const unsigned long long samples = width * height * 3;
  const bool wide = maxValue > 255;
  // A file too short to hold the samples fails before anything is allocated:
  // a binary sample takes 1 or 2 bytes, a plain one at least a digit and a separator.
  if (fileSize >= 0) {
    const auto size = static_cast<unsigned long long>(fileSize);
    const unsigned long long most = binary ? size / (wide ? 2 : 1) : (size + 1) / 2;
    if (samples > most) Stop(fileName, PpmProblem::kIncomplete);
  }
  if (samples > picture.Rgb.max_size()) Stop(fileName, PpmProblem::kIncomplete);

  const std::vector<std::uint8_t> table = SampleTable(maxValue);
  // Without a known size (a pipe) the picture grows as its data arrives.
  const std::size_t total = static_cast<std::size_t>(samples);
  const std::size_t chunk = fileSize >= 0 ? total : std::size_t{1} << 24;
  std::size_t done = 0;
  while (done < total) {
    const std::size_t n = std::min(chunk, total - done);
    picture.Rgb.resize(done + n);
    if (binary)
      ReadBinarySamples(in, fileName, table.data(), wide, picture.Rgb.data() + done, n);
    else
      ReadPlainSamples(in, fileName, table.data(), picture.Rgb.data() + done, n);
    done += n;
  }
  return picture;
}

namespace {

// "0 " .. "255 ", four bytes each, and the length of each.
struct SampleText {
  std::array<std::array<char, 4>, 256> text{};
  std::array<std::uint8_t, 256> length{};
  SampleText() {
    for (int v = 0; v < 256; ++v) {
      char digits[8];
      const int n = std::snprintf(digits, sizeof digits, "%d ", v);
      std::memcpy(text[v].data(), digits, static_cast<std::size_t>(n));
      length[v] = static_cast<std::uint8_t>(n);
    }
  }
};
const SampleText kSampleText;

constexpr int kPixelsPerLine = 11;

int CreateFailureCode(int err) {
  // A missing folder on the way to the output is a missing path.
  if (err == ENOENT) return kPathNotFound;
  return RuntimeCodeFromErrno(err);
}

}  // namespace

namespace {
bool EndsInPng(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".png";
}
}  // namespace

OutputPicture::OutputPicture(std::string fileName)
    : png_(EndsInPng(fileName)), finalName_(std::move(fileName)), buffer_(kWriteBlock) {
  // An empty name, or one with a NUL byte that would create another file.
  if (finalName_.empty() || finalName_.find('\0') != std::string::npos) {
    throw RuntimeFailure(kFileNotFound, finalName_);
  }
  std::error_code ec;
  if (std::filesystem::is_directory(finalName_, ec)) throw RuntimeFailure(kAccessDenied, finalName_);
  // An existing file that may not be overwritten stays protected.
  if (std::filesystem::exists(finalName_, ec) && ::access(finalName_.c_str(), W_OK) != 0)
    throw RuntimeFailure(kAccessDenied, finalName_);
  // The folder must take a new file; the file itself is created only when the
  // picture is written, so that a run stopped before then leaves nothing.
  const std::filesystem::path folder = std::filesystem::path(finalName_).parent_path();
  if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
    throw RuntimeFailure(CreateFailureCode(errno), finalName_);
}

void OutputPicture::Open() {
  if (file_ != nullptr) return;
  // A name of its own beside the final one; a name taken (a file left by a
  // run that was killed, or a link) is passed over, never opened.
  const std::string base = finalName_ + ".tmp" + std::to_string(::getpid()) + "_";
  int err = EEXIST;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = base + std::to_string(attempt);
    file_ = std::fopen(name.c_str(), "wbx");
    if (file_ != nullptr) {
      tempName_ = std::move(name);
      return;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  throw RuntimeFailure(CreateFailureCode(err), finalName_);
}

OutputPicture::~OutputPicture() {
  if (file_ != nullptr) std::fclose(file_);
  if (!tempName_.empty()) std::remove(tempName_.c_str());
}

void OutputPicture::Flush() {
  if (used_ == 0) return;
  Open();
  if (std::fwrite(buffer_.data(), 1, used_, file_) != used_) throw RuntimeFailure(kDiskWriteError, finalName_);
  used_ = 0;
}

void OutputPicture::WriteHeader(const InputPicture& input, int width, int height) {
  if (png_) return;
  std::string header = "P3\n";
  if (input.HasComment) header += input.Comment.substr(0, kCommentLimit) + "\n";
  header += std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(input.MaxValue) + "\n";
  if (used_ + header.size() > buffer_.size()) Flush();
  if (header.size() > buffer_.size()) buffer_.resize(header.size());
  std::memcpy(buffer_.data() + used_, header.data(), header.size());
  used_ += header.size();
}

void OutputPicture::WritePixelsAndCommit(const OutputRaster& raster) {
  Open();
  if (png_)
    WritePngPixels(raster);
  else
    WritePlainPixels(raster);

  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!flushed || !closed) throw RuntimeFailure(kDiskWriteError, finalName_);

  std::error_code ec;
  std::filesystem::rename(tempName_, finalName_, ec);
  if (ec) {
    const int err = ec.value();
    throw RuntimeFailure(err == EACCES || err == EPERM || err == EISDIR || err == EROFS ? kAccessDenied : kDiskWriteError,
                         finalName_);
  }
  tempName_.clear();
}

void OutputPicture::WritePngPixels(const OutputRaster& raster) {
  const std::size_t w = static_cast<std::size_t>(std::max(raster.Width, 0));
  const std::size_t h = static_cast<std::size_t>(std::max(raster.Height, 0));
  if (raster.Cells.size() < w * h * 3) throw std::invalid_argument("raster smaller than its size");
  const PngRowSource rows = [&](int row, std::uint8_t* out) {
    std::memcpy(out, raster.Cells.data() + static_cast<std::size_t>(row) * w * 3, w * 3);
  };
  std::FILE* f = file_;
  const PngSink sink = [f](const std::uint8_t* data, std::size_t size) {
    return std::fwrite(data, 1, size, f) == size;
  };
  try {
    EncodePng(raster.Width, raster.Height, 3, rows, PngWriteOptions{}, sink, finalName_);
  } catch (const PictureError&) {
    throw RuntimeFailure(kDiskWriteError, finalName_);
  }
}

void OutputPicture::WritePlainPixels(const OutputRaster& raster) {
  const int width = raster.Width;
  const int height = raster.Height;
  const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
  const std::size_t h = static_cast<std::size_t>(std::max(height, 0));
  if (raster.Cells.size() < w * h * 3) throw std::invalid_argument("raster smaller than its size");

  // One row of text takes at most 12 bytes a pixel plus its line feeds, with
  // 3 bytes of slack for the last 4-byte copy.
  const std::size_t rowBytes = w * 12 + w / kPixelsPerLine + 8;
  if (buffer_.size() < rowBytes) {
    Flush();
    buffer_.resize(rowBytes);
  }
  int counter = 0;
  for (std::size_t r = 0; r < h; ++r) {
    if (used_ + rowBytes > buffer_.size()) Flush();
    char* out = buffer_.data() + used_;
    const std::uint8_t* px = raster.Cells.data() + r * w * 3;
    for (std::size_t col = 0; col < w; ++col, px += 3) {
      for (int k = 0; k < 3; ++k) {
        std::memcpy(out, kSampleText.text[px[k]].data(), 4);
        out += kSampleText.length[px[k]];
      }
      if (++counter == kPixelsPerLine) {
        *out++ = '\n';
        counter = 0;
      }
    }
    used_ = static_cast<std::size_t>(out - buffer_.data());
  }
  Flush();
}

}  // namespace anamorfosi
