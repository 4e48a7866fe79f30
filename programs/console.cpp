#include "programs/console.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>

namespace anamorfosi {

void Write(Console& console, std::string_view text) { console.out->write(text.data(), static_cast<std::streamsize>(text.size())); }

void WriteLine(Console& console, std::string_view text) {
  Write(console, text);
  Write(console, "\r\n");
}

std::string ReadConsoleLine(Console& console) {
  // What was written so far must be on the screen before the user answers.
  console.out->flush();
  std::string line;
  if (!std::getline(*console.in, line)) return {};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void Pause(Console& console, std::string_view text) {
  Write(console, text);
  ReadConsoleLine(console);
}

void WriteBanner(Console& console, std::string_view mirrorLine) {
  WriteLine(console, "Programma per la generazione di anamorfosi speculari di immagini bitmap");
  WriteLine(console, mirrorLine);
  WriteLine(console, "Gruppo Anamorfosi Speculari - anamorfosi@example.org - V MMI");
  WriteLine(console, "www.anamorfosi.example.org");
  WriteLine(console);
}

std::string AskParameterFileName(Console& console, std::string_view prompt) {
  Write(console, prompt);
  std::string name = ReadConsoleLine(console);
  if (name.size() > 80) name.resize(80);
  return name;
}

std::string FormatReal(Real value) {
  // The size is asked first: a huge value has thousands of digits.
  const int length = std::snprintf(nullptr, 0, "%12.4Lf", static_cast<long double>(value));
  if (length <= 0) return std::string(12, '?');
  std::string text(static_cast<std::size_t>(length), ' ');
  std::snprintf(text.data(), text.size() + 1, "%12.4Lf", static_cast<long double>(value));
  return text;
}

std::string FormatInteger(long value) { return FormatWhole(value, 7); }

std::string FormatWhole(long long value, int width) {
  std::string digits = std::to_string(value);
  if (width > 0 && digits.size() < static_cast<std::size_t>(width)) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), ' ');
  }
  return digits;
}

long long RoundHalfEven(Real value) {
  if (std::isnan(value)) return 0;
  Real whole = std::floor(value);
  const Real fraction = value - whole;
  // Halves go to the even neighbour; written out so that the result does not
  // depend on the floating-point rounding mode.
  if (fraction > 0.5_r || (fraction == 0.5_r && std::fmod(whole, 2.0_r) != 0)) whole += 1;
  // 2^63 is exact in extended precision; anything from there on saturates.
  constexpr Real kLimit = 9223372036854775808.0_r;
  if (whole >= kLimit) return LLONG_MAX;
  if (whole < -kLimit) return LLONG_MIN;
  return static_cast<long long>(whole);
}

}  // namespace anamorfosi
