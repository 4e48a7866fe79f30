// Reading the PPM input picture, plain P3 or binary P6, in large blocks; apart
// from the writer so that a build without the picture files (the browser's)
// reads the programs' pictures with the same code.
#include "formats/ppm.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "core/errors.h"
#include "picture/picture_error.h"

namespace anamorfosi {

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
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
    if (line.size() < kPpmCommentLimit) line.push_back(static_cast<char>(c));
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

std::string PpmEnglishText(const PpmError& e) {
  switch (e.Problem) {
    case PpmProblem::kNotPpm: return e.File + ": not a PNG, JPEG or PPM picture";
    case PpmProblem::kBadWidth: return e.File + ": PPM picture without a valid width";
    case PpmProblem::kBadHeight: return e.File + ": PPM picture without a valid height";
    case PpmProblem::kBadMaximum: return e.File + ": PPM picture without a valid maximum (1 to 65535)";
    case PpmProblem::kSampleNotANumber: return e.File + ": PPM picture with a sample that is not a number";
    case PpmProblem::kIncomplete: return e.File + ": PPM picture whose pixels end early";
  }
  return e.File + ": not a picture";
}


}  // namespace anamorfosi
