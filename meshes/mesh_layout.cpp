// The layout checks of the PLY and OFF mesh files (mesh_file.h), apart from
// the reader so that they build without Assimp: the page in the browser, whose
// meshes another build of Assimp reads, checks its files with them too.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "meshes/mesh_file.h"

namespace anamorfosi {

namespace {

// Whether the word is a decimal number, all of it, within a double's range.
bool WholeNumber(std::string_view w) {
  if (w.empty()) return false;
#if defined(__EMSCRIPTEN__)
  // The browser's C++ library parses no floating point in from_chars: strtod,
  // without the hexadecimal numbers from_chars refuses.
  if (w.find_first_of("xX") != std::string_view::npos) return false;
  const std::string word(w);
  char* end = nullptr;
  errno = 0;
  std::strtod(word.c_str(), &end);
  return end == word.c_str() + word.size() && errno != ERANGE;
#else
  double value = 0;
  const auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), value);
  return end == w.data() + w.size() && error == std::errc();
#endif
}

}  // namespace

std::string PlyCountProblem(const char* data, std::size_t size) {
  struct Property {
    int Size = 0;       // a scalar's bytes, or a list item's
    int CountSize = 0;  // a list's count's bytes; 0 for a scalar
  };
  struct Element {
    std::string Name;
    unsigned long long Count = 0;
    std::vector<Property> Properties;
  };
  auto typeSize = [](const std::string& t) -> int {
    if (t == "char" || t == "uchar" || t == "int8" || t == "uint8") return 1;
    if (t == "short" || t == "ushort" || t == "int16" || t == "uint16") return 2;
    if (t == "int" || t == "uint" || t == "int32" || t == "uint32" || t == "float" || t == "float32") return 4;
    if (t == "double" || t == "float64") return 8;
    return 0;
  };
  std::vector<Element> elements;
  std::string format;
  std::size_t at = 0;
  bool ended = false;
  // The header is made of these lines only: Assimp's reading of others runs
  // astray (one such file kept it busy for minutes).
  for (unsigned long long number = 1; at < size && !ended; ++number) {
    std::size_t eol = at;
    while (eol < size && data[eol] != '\n') ++eol;
    const std::string text(data + at, eol - at);
    std::istringstream line(text);
    at = eol < size ? eol + 1 : size;
    std::string word;
    line >> word;
    if (text.find('\0') != std::string::npos) return "its header line " + std::to_string(number) + " holds a NUL byte";
    if (number == 1) {
      if (word != "ply") return "its first line is not ply";
    } else if (word == "end_header") {
      ended = true;
    } else if (word == "format") {
      if (!format.empty()) return "its header has two format lines";
      line >> format;
      if (format != "ascii" && format != "binary_little_endian" && format != "binary_big_endian")
        return "its header names no known format";
    } else if (word.empty() || word == "comment" || word == "obj_info") {
      continue;
    } else if (word == "element") {
      Element e;
      long long count = -1;
      line >> e.Name >> count;
      if (!line || count < 0) return "its header has an element without a count";
      e.Count = static_cast<unsigned long long>(count);
      elements.push_back(e);
    } else if (word == "property") {
      if (elements.empty()) return "its header has a property before any element";
      std::string type;
      line >> type;
      Property p;
      if (type == "list") {
        std::string countType, itemType;
        line >> countType >> itemType;
        p.CountSize = typeSize(countType);
        p.Size = typeSize(itemType);
        if (p.CountSize == 0 || p.Size == 0) return "its header has a list property of an unknown type";
      } else {
        p.Size = typeSize(type);
        if (p.Size == 0) return "its header has a property of an unknown type \"" + type + "\"";
      }
      elements.back().Properties.push_back(p);
    } else {
      return "its header line " + std::to_string(number) + " is not a format, comment, element or property";
    }
  }
  if (!ended) return "its header has no end_header line";
  unsigned long long declared = 0;
  for (const Element& e : elements) declared += e.Count;
  std::ostringstream counts;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    counts << (i ? ", " : "") << elements[i].Count << " " << elements[i].Name;
  }
  if (format == "ascii") {
    // One element a line.
    unsigned long long lines = 0;
    bool blank = true;
    for (std::size_t k = at; k < size; ++k) {
      if (data[k] == '\n') {
        if (!blank) ++lines;
        blank = true;
      } else if (!std::isspace(static_cast<unsigned char>(data[k]))) {
        blank = false;
      }
    }
    if (!blank) ++lines;
    if (lines != declared) {
      return "its header declares " + counts.str() + " (" + std::to_string(declared) + " lines of data) but " +
             std::to_string(lines) + " lines follow it";
    }
    return {};
  }
  const bool big = format == "binary_big_endian";
  if (!big && format != "binary_little_endian") return "its header names no known format";
  auto readCount = [&](std::size_t pos, int bytes) {
    unsigned long long v = 0;
    for (int k = 0; k < bytes; ++k) {
      const unsigned long long b = static_cast<unsigned char>(data[pos + k]);
      v |= big ? b << (8 * (bytes - 1 - k)) : b << (8 * k);
    }
    return v;
  };
  std::size_t pos = at;
  for (const Element& e : elements) {
    if (e.Properties.empty()) continue;
    for (unsigned long long i = 0; i < e.Count; ++i) {
      for (const Property& p : e.Properties) {
        if (p.CountSize == 0) {
          pos += static_cast<std::size_t>(p.Size);
        } else {
          if (pos + static_cast<std::size_t>(p.CountSize) > size) pos = size + 1;
          if (pos > size) break;
          const unsigned long long n = readCount(pos, p.CountSize);
          pos += static_cast<std::size_t>(p.CountSize);
          if (n > (size - std::min(size, pos)) / static_cast<unsigned long long>(p.Size) + 1) pos = size + 1;
          else pos += static_cast<std::size_t>(n * static_cast<unsigned long long>(p.Size));
        }
        if (pos > size) break;
      }
      if (pos > size) return "its data ends before the " + counts.str() + " its header declares";
    }
  }
  for (std::size_t k = pos; k < size; ++k) {
    if (!std::isspace(static_cast<unsigned char>(data[k])))
      return "its data goes on past the " + counts.str() + " its header declares";
  }
  return {};
}

std::string OffLayoutProblem(const char* data, std::size_t size) {
  // Assimp's own reading: words are parted by spaces and tabs, lines by
  // \r, \n and \f; blank lines are skipped, and comment lines only before the
  // first vertex; a line is read into 4096 bytes.
  constexpr std::size_t kLongestLine = 4000;
  auto space = [](char c) { return c == ' ' || c == '\t'; };
  auto lineEnd = [](char c) { return c == '\r' || c == '\n' || c == '\f'; };
  if (std::memchr(data, '\0', size)) return "it holds a NUL byte: not a text OFF file";
  std::size_t at = 0;
  if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) at = 3;
  // Past spaces, line ends and comment lines.
  auto skip = [&]() {
    for (;;) {
      while (at < size && (space(data[at]) || lineEnd(data[at]))) ++at;
      if (at >= size || data[at] != '#') return;
      while (at < size && !lineEnd(data[at])) ++at;
    }
  };
  auto nextWord = [&]() {
    skip();
    const std::size_t from = at;
    while (at < size && !space(data[at]) && !lineEnd(data[at])) ++at;
    return std::string_view(data + from, at - from);
  };
  auto count = [](std::string_view word, unsigned long long& n) {
    if (word.empty() || word.size() > 9) return false;
    n = 0;
    for (char c : word) {
      if (c < '0' || c > '9') return false;
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
  };
  std::string_view header = nextWord();
  bool homogeneous = false, dimensioned = false;
  {
    std::string_view h = header;
    if (h.substr(0, 2) == "ST") h.remove_prefix(2);
    if (h.substr(0, 1) == "C") h.remove_prefix(1);
    if (h.substr(0, 1) == "N") h.remove_prefix(1);
    if (h.substr(0, 1) == "4") homogeneous = true, h.remove_prefix(1);
    if (h.substr(0, 1) == "n") dimensioned = true, h.remove_prefix(1);
    if (h != "OFF") return "it does not begin with the word OFF";
  }
  unsigned long long dimensions = 3;
  if (dimensioned && (!count(nextWord(), dimensions) || dimensions < 1 || dimensions > 3))
    return "its header's dimension is not 1, 2 or 3";
  unsigned long long vertices = 0, faces = 0, edges = 0;
  if (!count(nextWord(), vertices) || !count(nextWord(), faces) || !count(nextWord(), edges))
    return "its header does not give the counts of vertices, faces and edges as whole numbers";
  if (vertices == 0 || faces == 0) return "its header counts no vertex or no face";
  const std::string counts = std::to_string(vertices) + (vertices == 1 ? " vertex and " : " vertices and ") +
                             std::to_string(faces) + (faces == 1 ? " face" : " faces");
  // The data lines start at the word after the counts.
  skip();
  unsigned long long line = 0;
  for (; at < size && line < vertices + faces; ++line) {
    std::size_t end = at;
    while (end < size && !lineEnd(data[end])) ++end;
    if (end - at > kLongestLine) return "its data line " + std::to_string(line + 1) + " is longer than 4000 characters";
    std::string_view text(data + at, end - at);
    at = end;
    while (at < size && lineEnd(data[at])) ++at;
    std::size_t k = 0;
    auto word = [&]() {
      while (k < text.size() && space(text[k])) ++k;
      const std::size_t from = k;
      while (k < text.size() && !space(text[k])) ++k;
      return text.substr(from, k - from);
    };
    if (line < vertices) {
      const unsigned long long numbers = dimensions + (homogeneous ? 1 : 0);
      for (unsigned long long n = 0; n < numbers; ++n) {
        std::string_view w = word();
        if (!w.empty() && w[0] == '+') w.remove_prefix(1);
        if (!WholeNumber(w))
          return "vertex " + std::to_string(line) + " does not start with " + std::to_string(numbers) + " numbers";
      }
    } else {
      const unsigned long long face = line - vertices;
      unsigned long long corners = 0;
      if (!count(word(), corners) || corners < 1 || corners > 9)
        return "face " + std::to_string(face) + " does not start with a count of corners from 1 to 9";
      for (unsigned long long n = 0; n < corners; ++n) {
        unsigned long long index = 0;
        if (!count(word(), index)) return "face " + std::to_string(face) + " has fewer vertex numbers than its count";
        if (index >= vertices) {
          return "face " + std::to_string(face) + " names vertex " + std::to_string(index) + " of " +
                 std::to_string(vertices);
        }
      }
    }
  }
  if (line < vertices + faces) return "its data ends before the " + counts + " its header declares";
  // Only comments after the last face.
  skip();
  if (at < size) return "its data goes on past the " + counts + " its header declares";
  return {};
}

}  // namespace anamorfosi
