#include "formats/text_file.h"

#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cmath>
#include <utility>

#include "core/errors.h"

namespace anamorfosi {

namespace {

// Files are read in blocks of this size; nothing is read one character at a time.
constexpr std::size_t kBlockSize = 64 * 1024;
// A number token longer than this is not a number.
constexpr std::size_t kMaxToken = 64;
constexpr int kCtrlZ = 26;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

TextFile::TextFile(std::string name) : name_(std::move(name)), buffer_(kBlockSize) {
  file_ = OpenForReading(name_);
}

TextFile::~TextFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int TextFile::Peek() {
  if (ended_) return -1;
  if (pos_ >= size_) {
    pos_ = 0;
    size_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (size_ == 0) {
      // A read that fails is not the end of the file.
      if (std::ferror(file_)) throw RuntimeFailure(kDiskReadError, name_, line_);
      ended_ = true;
      return -1;
    }
  }
  const int c = static_cast<unsigned char>(buffer_[pos_]);
  if (c == kCtrlZ) {
    ended_ = true;
    return -1;
  }
  return c;
}

// Consumes the character that Peek answered; counts lines so that CR LF, bare
// LF and bare CR each end exactly one line.
void TextFile::Advance() {
  const char c = buffer_[pos_++];
  if (c == '\r') {
    ++line_;
    lastWasCr_ = true;
  } else {
    if (c == '\n' && !lastWasCr_) ++line_;
    lastWasCr_ = false;
  }
}

bool TextFile::AtEnd() { return Peek() < 0; }

std::string TextFile::ReadName(std::size_t maxChars) {
  std::string text;
  text.reserve(maxChars < 256 ? maxChars : 256);
  for (int c = Peek(); c >= 0 && c != '\r' && c != '\n'; c = Peek()) {
    if (text.size() < maxChars) text.push_back(static_cast<char>(c));
    Advance();
  }
  SkipLine();
  return text;
}

void TextFile::SkipLine() {
  int c = Peek();
  while (c >= 0 && c != '\r' && c != '\n') {
    Advance();
    c = Peek();
  }
  if (c < 0) return;
  Advance();
  // The LF of a CR LF pair belongs to the same line end.
  if (c == '\r' && Peek() == '\n') Advance();
}

std::string TextFile::ReadToken(bool& tooLong) {
  tooLong = false;
  int c = Peek();
  while (c >= 0 && c <= ' ') {
    Advance();
    c = Peek();
  }
  std::string token;
  while (c > ' ') {
    if (token.size() < kMaxToken) {
      token.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
    Advance();
    c = Peek();
  }
  return token;
}

Real TextFile::ReadReal() {
  bool tooLong = false;
  const std::string token = ReadToken(tooLong);
  if (token.empty()) return 0;
  Real value = 0;
  if (tooLong || !ParseReal(token, value)) throw RuntimeFailure(kInvalidNumber, name_, line_);
  return value;
}

long TextFile::ReadInteger() {
  bool tooLong = false;
  const std::string token = ReadToken(tooLong);
  long value = 0;
  if (!token.empty() && (tooLong || !ParseInteger(token, value))) throw RuntimeFailure(kInvalidNumber, name_, line_);
  SkipLine();
  return value;
}

bool ParseReal(const std::string& token, Real& value) {
  // Accepted: [sign] digits [. digits] [e|E [sign] digits], with at least one
  // digit before or after the point. Checked here because the converter below
  // also takes "inf", "nan" and hexadecimal forms.
  const char* p = token.data();
  const char* const end = p + token.size();
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
  const char* const mantissa = p;
  long intDigits = 0;  // significant digits before the point
  long leadingFractionZeros = 0;
  bool anyNonZero = false, anyDigit = false;
  for (; p < end && IsDigit(*p); ++p) {
    anyDigit = true;
    if (*p != '0') anyNonZero = true;
    if (anyNonZero) ++intDigits;
  }
  if (p < end && *p == '.') {
    for (++p; p < end && IsDigit(*p); ++p) {
      anyDigit = true;
      if (*p != '0') anyNonZero = true;
      if (!anyNonZero) ++leadingFractionZeros;
    }
  }
  if (!anyDigit) return false;
  long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negativeExp = false;
    if (p < end && (*p == '+' || *p == '-')) negativeExp = (*p++ == '-');
    if (p == end || !IsDigit(*p)) return false;
    for (; p < end && IsDigit(*p); ++p) {
      // Only the order of magnitude matters past this point.
      if (exponent < 1000000) exponent = exponent * 10 + (*p - '0');
    }
    if (negativeExp) exponent = -exponent;
  }
  if (p != end) return false;

  Real v = 0;
#if defined(__EMSCRIPTEN__)
  // emscripten's C++ library has no from_chars for floating point: strtod
  // (its only locale is "C") reads the token checked above, which ends the
  // string, and tells a value out of range the same way.
  errno = 0;
  char* stop = nullptr;
  v = std::strtod(mantissa, &stop);
  const std::from_chars_result result{stop, errno == ERANGE ? std::errc::result_out_of_range : std::errc()};
#else
  const auto result = std::from_chars(mantissa, end, v, std::chars_format::general);
#endif
  if (result.ptr != end) return false;
  if (result.ec == std::errc::result_out_of_range) {
    // Too large is not a number; too small to represent reads as zero.
    const long magnitude = exponent + (intDigits > 0 ? intDigits : -leadingFractionZeros);
    if (anyNonZero && magnitude > 0) return false;
    v = 0;
  } else if (result.ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(v)) return false;
  value = negative ? -v : v;
  return true;
}

bool ParseInteger(const std::string& token, long& value) {
  const char* p = token.data();
  const char* const end = p + token.size();
  // from_chars takes a minus sign but not a plus sign.
  if (p < end && *p == '+') {
    ++p;
    if (p < end && *p == '-') return false;
  }
  if (p == end) return false;
  for (const char* q = (*p == '-' ? p + 1 : p); q < end; ++q) {
    if (!IsDigit(*q)) return false;
  }
  long long v = 0;
  const auto result = std::from_chars(p, end, v);
  if (result.ec != std::errc() || result.ptr != end) return false;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<long>(v);
  return true;
}

}  // namespace anamorfosi
