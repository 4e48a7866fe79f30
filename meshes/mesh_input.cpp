#include "meshes/mesh_input.h"

#include <assimp/MemoryIOWrapper.h>
#include <unzip.h>

#include <algorithm>
#include <cstring>

namespace anamorfosi {

OwnBytesIOSystem::OwnBytesIOSystem(std::string name, const std::uint8_t* data, std::size_t size)
    : name_(std::move(name)), data_(data), size_(size) {}

void OwnBytesIOSystem::Refuse(const char* file) const {
  const std::string name = file ? file : "";
  if (std::find(refused_.begin(), refused_.end(), name) == refused_.end()) refused_.push_back(name);
}

bool OwnBytesIOSystem::Exists(const char* file) const {
  if (file && name_ == file) return true;
  Refuse(file);
  return false;
}

Assimp::IOStream* OwnBytesIOSystem::Open(const char* file, const char* mode) {
  const bool reading = !mode || (std::strchr(mode, 'w') == nullptr && std::strchr(mode, 'a') == nullptr &&
                                 std::strchr(mode, '+') == nullptr);
  if (!file || name_ != file || !reading) {
    Refuse(file);
    return nullptr;
  }
  // Not owned: the bytes stay the caller's.
  return new Assimp::MemoryIOStream(data_, size_, false);
}

void OwnBytesIOSystem::Close(Assimp::IOStream* stream) { delete stream; }

std::string JsonNestingProblem(const char* data, std::size_t size, bool binary) {
  std::size_t at = 0, end = size;
  if (binary) {
    // 12 bytes of header, then the first chunk's length, its type and its JSON.
    if (size < 20) return {};
    const auto* u = reinterpret_cast<const unsigned char*>(data);
    const std::size_t length = static_cast<std::size_t>(u[12]) | static_cast<std::size_t>(u[13]) << 8 |
                               static_cast<std::size_t>(u[14]) << 16 | static_cast<std::size_t>(u[15]) << 24;
    at = 20;
    end = std::min(size, at + length);
  }
  long depth = 0, deepest = 0;
  bool inString = false;
  for (; at < end; ++at) {
    const char c = data[at];
    if (inString) {
      if (c == '\\') ++at;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  if (deepest <= kMostJsonNesting) return {};
  return "its JSON nests " + std::to_string(deepest) + " levels deep, and a glTF is read to " +
         std::to_string(kMostJsonNesting) + " levels";
}

namespace {

// The zip's bytes as minizip's file: reads and seeks within them.
struct MemoryZip {
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t At;
};

voidpf ZipOpen(voidpf opaque, const void*, int) {
  static_cast<MemoryZip*>(opaque)->At = 0;
  return opaque;
}
uLong ZipRead(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* z = static_cast<MemoryZip*>(stream);
  const std::size_t n = std::min<std::size_t>(size, z->Size - z->At);
  std::memcpy(buffer, z->Data + z->At, n);
  z->At += n;
  return static_cast<uLong>(n);
}
uLong ZipWrite(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZipTell(voidpf, voidpf stream) { return static_cast<MemoryZip*>(stream)->At; }
long ZipSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* z = static_cast<MemoryZip*>(stream);
  const std::size_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? z->At : origin == ZLIB_FILEFUNC_SEEK_END ? z->Size : 0;
  if (offset > z->Size - base) return -1;
  z->At = base + static_cast<std::size_t>(offset);
  return 0;
}
int ZipClose(voidpf, voidpf) { return 0; }
int ZipError(voidpf, voidpf) { return 0; }

}  // namespace

std::string ZipExpansionProblem(const std::uint8_t* data, std::size_t size, unsigned long long bound,
                                unsigned long long& expanded) {
  expanded = 0;
  MemoryZip memory{data, size, 0};
  zlib_filefunc64_def calls{ZipOpen, ZipRead, ZipWrite, ZipTell, ZipSeek, ZipClose, ZipError, &memory};
  unzFile zip = unzOpen2_64("", &calls);
  if (!zip) return "its zip directory cannot be read";
  std::string problem;
  int step = unzGoToFirstFile(zip);
  for (; step == UNZ_OK; step = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      step = UNZ_BADZIPFILE;
      break;
    }
    expanded += info.uncompressed_size;
    if (info.uncompressed_size > bound || expanded > bound) {
      problem = "its zip entries expand to more than " + std::to_string(bound >> 20) + " MiB";
      break;
    }
  }
  if (problem.empty() && step != UNZ_END_OF_LIST_OF_FILE) problem = "its zip directory cannot be read";
  std::vector<std::string> names;
  // Every entry inflated once, through a small buffer: Assimp stops on an
  // assertion at an entry whose check sum or length is wrong.
  for (step = problem.empty() ? unzGoToFirstFile(zip) : UNZ_END_OF_LIST_OF_FILE; step == UNZ_OK;
       step = unzGoToNextFile(zip)) {
    char name[256];
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
      problem = "its zip directory cannot be read";
      break;
    }
    names.push_back(name);
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      problem = "its zip entry \"" + PrintableName(name) + "\" is damaged";
      break;
    }
    char buffer[1 << 14];
    unsigned long long inflated = 0;
    int n = 0;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0 && inflated <= info.uncompressed_size) inflated += n;
    const bool whole = n == 0 && inflated == info.uncompressed_size;
    if (unzCloseCurrentFile(zip) != UNZ_OK || !whole) {
      problem = "its zip entry \"" + PrintableName(name) + "\" is damaged";
      break;
    }
  }
  unzClose(zip);
  if (!problem.empty()) return problem;
  // The model part that _rels/.rels names: Assimp stops on an assertion
  // when it is not in the file.
  const std::string rels = ZipEntryHead(data, size, "_rels/.rels", 1 << 16);
  for (std::size_t at = rels.find("<Relationship "); at != std::string::npos; at = rels.find("<Relationship ", at + 1)) {
    const std::string element = rels.substr(at, rels.find('>', at) - at);
    auto attribute = [&](const std::string& key) {
      const std::size_t k = element.find(" " + key + "=\"");
      if (k == std::string::npos) return std::string();
      const std::size_t from = k + key.size() + 3;
      return element.substr(from, element.find('"', from) - from);
    };
    const std::string type = attribute("Type");
    if (type.size() < 8 || type.compare(type.size() - 8, 8, "/3dmodel") != 0) continue;
    std::string target = attribute("Target");
    if (!target.empty() && target[0] == '/') target.erase(0, 1);
    if (std::find(names.begin(), names.end(), target) == names.end())
      return "its model part \"" + PrintableName(target) + "\", named in _rels/.rels, is not in it";
    return {};
  }
  return "its _rels/.rels names no model part";
}

std::string ZipEntryHead(const std::uint8_t* data, std::size_t size, const std::string& suffix, std::size_t most) {
  MemoryZip memory{data, size, 0};
  zlib_filefunc64_def calls{ZipOpen, ZipRead, ZipWrite, ZipTell, ZipSeek, ZipClose, ZipError, &memory};
  unzFile zip = unzOpen2_64("", &calls);
  if (!zip) return {};
  std::string head;
  for (int step = unzGoToFirstFile(zip); step == UNZ_OK; step = unzGoToNextFile(zip)) {
    char name[512];
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    const std::string entry = name;
    if (entry.size() < suffix.size() || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    if (unzOpenCurrentFile(zip) != UNZ_OK) break;
    head.resize(most);
    const int n = unzReadCurrentFile(zip, head.data(), static_cast<unsigned>(most));
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    unzCloseCurrentFile(zip);
    break;
  }
  unzClose(zip);
  return head;
}

Real ThreeMfUnitMm(const std::string& model) {
  std::size_t tag = model.find("<model");
  while (tag != std::string::npos && tag + 6 < model.size() && !std::strchr(" \t\r\n>", model[tag + 6]))
    tag = model.find("<model", tag + 6);
  if (tag == std::string::npos) return 1;
  const std::size_t close = model.find('>', tag);
  const std::string attributes = model.substr(tag + 6, close == std::string::npos ? std::string::npos : close - tag - 6);
  for (std::size_t at = attributes.find("unit"); at != std::string::npos; at = attributes.find("unit", at + 4)) {
    if (at == 0 || !std::strchr(" \t\r\n", attributes[at - 1])) continue;
    std::size_t k = at + 4;
    while (k < attributes.size() && std::strchr(" \t\r\n", attributes[k])) ++k;
    if (k >= attributes.size() || attributes[k] != '=') continue;
    ++k;
    while (k < attributes.size() && std::strchr(" \t\r\n", attributes[k])) ++k;
    if (k >= attributes.size() || (attributes[k] != '"' && attributes[k] != '\'')) continue;
    const std::size_t endQuote = attributes.find(attributes[k], k + 1);
    if (endQuote == std::string::npos) return 0;
    const std::string unit = attributes.substr(k + 1, endQuote - k - 1);
    if (unit == "micron") return 0.001_r;
    if (unit == "millimeter") return 1;
    if (unit == "centimeter") return 10;
    if (unit == "inch") return 25.4_r;
    if (unit == "foot") return 304.8_r;
    if (unit == "meter") return 1000;
    return 0;
  }
  return 1;
}

std::string PrintableName(const std::string& name) {
  std::string out = name.substr(0, 80);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  if (name.size() > 80) out += "...";
  return out;
}

}  // namespace anamorfosi
