// Helpers shared by the test suites: scratch folders, scene files, whole runs
// driven in-process through string consoles, and an independent reader of the
// plain pictures the programs write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "programs/run.h"

// A fresh folder under the system's temporary folder, removed afterwards.

namespace anamorfosi {
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes content (bytes as given) and answers the file's full path.
  std::string Write(const std::string& name, const std::string& content) const;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> ListDir(const std::filesystem::path& dir);

// A DXF file with one 3DFACE per face, laid out as an R12 CAD export: header
// and tables sections, layer and colour groups, CR LF line ends.
std::string DxfWithFaces(const std::vector<Face>& faces);

// A plain P3 picture with a comment line; rgb holds width * height * 3 values.
std::string PlainPpm(int width, int height, const std::vector<int>& rgb, int maxValue = 255);

// A picture whose every pixel has its own colour, so that the painted colour
// of a cell tells which input pixel it came from (width * height <= 2^24).
std::vector<int> DistinctColours(int width, int height);
int PixelOfColour(int r, int g, int b);

struct PlainPicture {
  int Width = 0, Height = 0, MaxValue = 0;
  std::vector<std::string> HeaderLines;
  std::vector<int> Rgb;
  int R(int col, int row) const { return Rgb[((row - 1) * Width + (col - 1)) * 3]; }
  int G(int col, int row) const { return Rgb[((row - 1) * Width + (col - 1)) * 3 + 1]; }
  int B(int col, int row) const { return Rgb[((row - 1) * Width + (col - 1)) * 3 + 2]; }
};
// Reads a plain picture as the programs write it (comment line optional).
PlainPicture ParsePlainPicture(const std::string& text);

// Console lines of a transcript, split at CR LF; the text after the last
// CR LF (a pause prompt waiting for Enter) is the last element.
std::vector<std::string> ConsoleLines(const std::string& transcript);

struct RunResult {
  int Status = 0;
  std::string Transcript;
};

// One whole run with the given standard input, on the given number of threads.
template <class Mirror>
RunResult RunInProcess(const Program<Mirror>& program, Mirror mirror, const std::string& input, int threads = 1) {
  std::istringstream in(input);
  std::ostringstream out;
  Console console{&in, &out};
  RunResult result;
  result.Status = RunAnamorphosis(program, mirror, console, RunOptions{threads});
  result.Transcript = out.str();
  return result;
}

}  // namespace anamorfosi
