// The console dialogue shared by the programs: banner, prompt, echoes, pauses.
// Console lines end with CR LF. A console line read from standard input ends at
// LF or CR LF; the end of standard input counts as an empty line, so a whole
// run can be driven unattended with the parameter file name piped in.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "core/geometry.h"

namespace anamorfosi {

struct Console {
  std::istream* in;
  std::ostream* out;
};

inline constexpr std::string_view kPauseText = "Premere tasto Invio...";
inline constexpr std::string_view kFinalPauseText = "FINE ELABORAZIONE. Premere tasto Invio...";

void Write(Console& console, std::string_view text);
void WriteLine(Console& console, std::string_view text = {});
std::string ReadConsoleLine(Console& console);
// Writes text without a line end and waits for one console line.
void Pause(Console& console, std::string_view text = kPauseText);

// The five banner lines; mirrorLine is the whole second line.
void WriteBanner(Console& console, std::string_view mirrorLine);
// Writes the prompt and reads the parameter file name (first 80 characters).
std::string AskParameterFileName(Console& console, std::string_view prompt);

inline constexpr std::string_view kPrompt = "Immetti il nome del file di testo contenente i parametri : ";
inline constexpr std::string_view kCompactPrompt = "Immetti il nome del file di testo contenente i parametri: ";

// Echo formats: a real fixed with 4 decimals right-aligned in 12 characters
// (wider when needed); an integer right-aligned in 7.
std::string FormatReal(Real value);
std::string FormatInteger(long value);
// Right-aligned in width characters (no padding for width 0).
std::string FormatWhole(long long value, int width = 0);
// Nearest integer, halves to the even neighbour; saturates far outside the
// range of long long so that a report line never overflows.
long long RoundHalfEven(Real value);

}  // namespace anamorfosi
