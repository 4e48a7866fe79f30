// Shared by the fuzz targets: the readers take file names, so every input is
// written to a scratch file first. The file lives in memory-backed /dev/shm
// when it exists, one per process, and is rewritten for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace anamorfosi {

inline const std::string& FuzzScratchFile(const char* tag) {
  static const std::string name = [tag] {
    const char* dir = std::getenv("ANAMORFOSI_FUZZ_DIR");
    std::string base = dir ? dir : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    return base + "/anamorfosi_fuzz_" + tag + "_" + std::to_string(getpid());
  }();
  return name;
}

inline const std::string& WriteFuzzInput(const char* tag, const std::uint8_t* data, std::size_t size) {
  const std::string& name = FuzzScratchFile(tag);
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return name;
}

// A property the reader promises was broken: stop as a crash would.
#define FUZZ_CHECK(cond)                                                          \
  do {                                                                            \
    if (!(cond)) {                                                                \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                               \
    }                                                                             \
  } while (0)

}  // namespace anamorfosi
