// The anamorfosi command: options in, a print out. main only hands it the
// arguments and the standard streams; the tests drive it the same way.
#pragma once

#include <ostream>
#include <string>

// What `anamorfosi serve` was asked for: where the site's server listens.

namespace anamorfosi {
struct ServeOptions {
  std::string Host;  // empty: 127.0.0.1 and ::1 only
  int Port = 8765;   // 0: any free port
  bool Open = false; // open the page in the desktop's browser
  long MaxRequestMb = 50;
};
// The site's server lives in web/, which links this library; the program's
// main hands it in, so that the command library does not depend on it.
using ServeFunction = int (*)(const ServeOptions&, std::ostream& out, std::ostream& err);

// Runs the command; answers the exit status: 0 done, 1 a run that cannot be
// done, 2 a usage error. isTerminal: whether err is a terminal (for the
// progress bar).
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool isTerminal,
               ServeFunction serve = nullptr);

}  // namespace anamorfosi
