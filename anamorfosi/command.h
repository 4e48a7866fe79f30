// The anamorfosi command: options in, a print out. main only hands it the
// arguments and the standard streams; the tests drive it the same way.
#pragma once

#include <ostream>

// Runs the command; answers the exit status: 0 done, 1 a run that cannot be
// done, 2 a usage error. isTerminal: whether err is a terminal (for the
// progress bar).
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool isTerminal);
