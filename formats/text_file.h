// Sequential reading of the text files written by people and CAD programs: the
// parameter file and the DXF files.
//
// Line model: a line ends at CR LF, at a bare LF or at a bare CR. A Ctrl-Z
// character or the physical end ends the file; nothing after a Ctrl-Z is read.
// The file is read in large blocks; no line is ever stored beyond the number of
// characters the caller asks for, so a line of any length is safe.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "core/geometry.h"

namespace anamorfosi {

class TextFile {
 public:
  // Throws RuntimeFailure (2, 3 or 5) when the file cannot be opened.
  explicit TextFile(std::string name);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  const std::string& name() const { return name_; }
  // 1-based number of the line the next character belongs to.
  long line() const { return line_; }
  bool AtEnd();

  // The characters up to the end of the line, at most maxChars of them (blanks
  // kept, nothing trimmed); the rest of the line and its line end are skipped.
  // At the end of the file: an empty text.
  std::string ReadName(std::size_t maxChars = 80);

  // Skips everything up to and including the next line end.
  void SkipLine();

  // Skips characters with codes of 32 or less (line ends included), then takes
  // the token up to the next such character, which is left unread. A real in
  // decimal notation (sign, digits, point, fraction, exponent). End of file
  // before any token: 0. A token that is not a finite number: RuntimeFailure 106.
  Real ReadReal();

  // As ReadReal for a decimal integer that fits in 32 bits; then the rest of
  // the line is skipped.
  long ReadInteger();

 private:
  int Peek();  // next character, or -1 at the end of the file
  void Advance();
  // The next blank-delimited token (at most 64 characters; a longer one is
  // not a number). Empty at the end of the file.
  std::string ReadToken(bool& tooLong);

  std::string name_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, size_ = 0;
  bool ended_ = false;  // physical end or Ctrl-Z seen
  long line_ = 1;
  bool lastWasCr_ = false;
};

// Strict conversions of a whole token, used by the text and DXF readers.
// false when the text is not a finite decimal number or an integer of 32 bits.
bool ParseReal(const std::string& token, Real& value);
bool ParseInteger(const std::string& token, long& value);

}  // namespace anamorfosi
