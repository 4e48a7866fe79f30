#include "testing/test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iomanip>
#include <random>
#include <unistd.h>

namespace anamorfosi {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  // Short, because names in parameter files are cut at 80 characters.
  const std::string name = "anam-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  path_ = fs::temp_directory_path() / name;
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Folders made read-only by a test must be writable again to be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const fs::path p = path_ / name;
  std::ofstream f(p, std::ios::binary);
  f << content;
  return p.string();
}

std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::vector<std::string> ListDir(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
void Group(std::ostringstream& s, int code, const std::string& value) {
  s << std::setw(3) << code << "\r\n" << value << "\r\n";
}
std::string Num(Real v) {
  std::ostringstream s;
  s << std::setprecision(17) << static_cast<double>(v);
  return s.str();
}
}  // namespace

std::string DxfWithFaces(const std::vector<Face>& faces) {
  std::ostringstream s;
  Group(s, 0, "SECTION");
  Group(s, 2, "HEADER");
  Group(s, 9, "$ACADVER");
  Group(s, 1, "AC1009");
  Group(s, 0, "ENDSEC");
  Group(s, 0, "SECTION");
  Group(s, 2, "TABLES");
  Group(s, 0, "TABLE");
  Group(s, 2, "LAYER");
  Group(s, 70, "1");
  Group(s, 0, "LAYER");
  Group(s, 2, "0");
  Group(s, 70, "0");
  Group(s, 62, "7");
  Group(s, 6, "CONTINUOUS");
  Group(s, 0, "ENDTAB");
  Group(s, 0, "ENDSEC");
  Group(s, 0, "SECTION");
  Group(s, 2, "ENTITIES");
  for (const Face& f : faces) {
    Group(s, 0, "3DFACE");
    Group(s, 8, "0");
    Group(s, 62, "10");
    const Point3 c[4] = {f.C1, f.C2, f.C3, f.C4};
    for (int i = 0; i < 4; ++i) {
      Group(s, 10 + i, Num(c[i].x));
      Group(s, 20 + i, Num(c[i].y));
      Group(s, 30 + i, Num(c[i].z));
    }
  }
  Group(s, 0, "ENDSEC");
  Group(s, 0, "EOF");
  return s.str();
}

std::string PlainPpm(int width, int height, const std::vector<int>& rgb, int maxValue) {
  std::ostringstream s;
  s << "P3\n# test picture\n" << width << " " << height << "\n" << maxValue << "\n";
  for (std::size_t i = 0; i < rgb.size(); ++i) s << rgb[i] << ((i % 12 == 11) ? "\n" : " ");
  s << "\n";
  return s.str();
}

std::vector<int> DistinctColours(int width, int height) {
  std::vector<int> rgb;
  rgb.reserve(static_cast<std::size_t>(width) * height * 3);
  // Pixel index i + 1 spread over the three bytes; 0 stays for black.
  for (int i = 0; i < width * height; ++i) {
    const int v = i + 1;
    rgb.push_back((v >> 16) & 255);
    rgb.push_back((v >> 8) & 255);
    rgb.push_back(v & 255);
  }
  return rgb;
}

int PixelOfColour(int r, int g, int b) { return ((r << 16) | (g << 8) | b) - 1; }

PlainPicture ParsePlainPicture(const std::string& text) {
  PlainPicture p;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  p.HeaderLines.push_back(line);
  std::getline(in, line);
  if (!line.empty() && line[0] == '#') {
    p.HeaderLines.push_back(line);
    std::getline(in, line);
  }
  p.HeaderLines.push_back(line);
  std::istringstream size(line);
  size >> p.Width >> p.Height;
  std::getline(in, line);
  p.HeaderLines.push_back(line);
  p.MaxValue = std::stoi(line);
  int v;
  while (in >> v) p.Rgb.push_back(v);
  return p;
}

std::vector<std::string> ConsoleLines(const std::string& transcript) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = transcript.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(transcript.substr(start));
      return lines;
    }
    lines.push_back(transcript.substr(start, end - start));
    start = end + 2;
  }
}

}  // namespace anamorfosi
