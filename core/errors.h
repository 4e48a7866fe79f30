// Errors that end a run. Readers throw them to their caller; only the program's
// entry point decides to stop, prints the report and picks the exit status.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

// Runtime error codes of failed file and number operations.

namespace anamorfosi {
enum RuntimeCode : int {
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  kDiskReadError = 100,
  kDiskWriteError = 101,
  kInvalidNumber = 106,
};

// A failed file operation or a number that does not read as a number: reported
// as "Runtime error <code>" followed by the file concerned (and its line when
// the fault is inside the file).
class RuntimeFailure : public std::runtime_error {
 public:
  RuntimeFailure(int code, std::string file, long line = 0)
      : std::runtime_error("Runtime error " + std::to_string(code)), code_(code), file_(std::move(file)), line_(line) {}
  int code() const { return code_; }
  const std::string& file() const { return file_; }
  long line() const { return line_; }
  // The console line: "Runtime error 106: parametri.txt (riga 5)".
  std::string Report() const {
    std::string s = "Runtime error " + std::to_string(code_) + ": " + file_;
    if (line_ > 0) s += " (riga " + std::to_string(line_) + ")";
    return s;
  }

 private:
  int code_;
  std::string file_;
  long line_;
};

// A problem with the user's data that the program detects itself and that makes
// the run impossible; the message is printed as it stands, in Italian.
class RunStopped : public std::runtime_error {
 public:
  explicit RunStopped(const std::string& message) : std::runtime_error(message) {}
};

// Maps the errno of a failed open or create to a runtime code.
int RuntimeCodeFromErrno(int err);

// Opens a file for reading, with the runtime codes of a failure (a directory is
// access denied). Never returns null.
std::FILE* OpenForReading(const std::string& name);

}  // namespace anamorfosi
