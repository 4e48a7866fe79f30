// Shared by the picture fuzz targets. libpng, libjpeg-turbo and libexif come
// from the system, built without coverage, so the fuzzer would see only our
// thin wrappers: what can be seen of the libraries' work (the chunks and markers
// a file holds, the message of a refusal, the kind of picture decoded) is
// counted as coverage of its own, in classes coarse enough that random bytes
// do not make every input new; a PNG mutator keeps the checksums right so that
// mutations get past libpng's first check; and the largest single allocation
// of a decoding is watched.
#pragma once

#include <sanitizer/allocator_interface.h>

#include <zlib.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_error.h"

// Small enough that the fuzzer spends its time decoding, not allocating.

using namespace anamorfosi;
inline PictureLimits FuzzLimits() {
  PictureLimits limits;
  limits.MaxSide = 4096;
  limits.MaxPixels = 4'000'000;
  return limits;
}
// Worked out here rather than by the library's WithinLimits, which is under test too.
inline bool Fits(long long width, long long height, const PictureLimits& limits) {
  return width >= 1 && height >= 1 && width <= limits.MaxSide && height <= limits.MaxSide &&
         width * height <= limits.MaxPixels;
}
// Four times the largest buffer those limits need (4 million RGBA pixels).
inline constexpr std::size_t kMostAllocation = std::size_t{64} << 20;

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// libFuzzer reads this section as extra coverage counters, cleared before every input.
constexpr std::size_t kFeatureCounters = std::size_t{1} << 15;
extern "C" {
__attribute__((section("__libfuzzer_extra_counters"))) inline std::uint8_t gPictureFeatures[kFeatureCounters];
}

inline std::uint32_t FeatureHash(std::uint32_t h, std::uint32_t v) {
  h ^= v + 0x9e3779b9u + (h << 6) + (h >> 2);
  return h * 0x85ebca6bu;
}
inline void CountFeature(std::uint32_t h) {
  std::uint8_t& c = gPictureFeatures[(h ^ h >> 15) % kFeatureCounters];
  if (c < 255) ++c;
}

// A refusal by its kind and its message, so that each path of the library that
// gives up counts once: the numbers it names (in decimal, or 0x and hex) and
// the chunk libpng names before ": " are left out.
inline void CountMessage(std::uint32_t tag, std::uint32_t kind, const std::string& message) {
  std::uint32_t h = FeatureHash(tag, kind);
  std::size_t i = message.size() > 6 && message.compare(4, 2, ": ") == 0 ? 6 : 0;
  for (; i < message.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(message[i]);
    if (c == '0' && i + 1 < message.size() && message[i + 1] == 'x') {
      for (i += 2; i < message.size() && std::isxdigit(static_cast<unsigned char>(message[i]));) ++i;
      --i;
      continue;
    }
    if (!std::isdigit(c)) h = FeatureHash(h, c);
  }
  CountFeature(h);
}
inline void CountRefusal(std::uint32_t tag, const PictureError& e) {
  CountMessage(tag, static_cast<std::uint32_t>(e.Problem), e.Detail);
}

// The largest single allocation since the watch began; sanitizer hooks see
// every malloc and operator new, the libraries' included.
inline bool gWatchingAllocations = false;
inline std::size_t gLargestAllocation = 0;
inline void OnAllocation(const volatile void*, std::size_t size) {
  if (gWatchingAllocations && size > gLargestAllocation) gLargestAllocation = size;
}
inline void OnRelease(const volatile void*) {}
inline void InstallAllocationWatch() { __sanitizer_install_malloc_and_free_hooks(OnAllocation, OnRelease); }
struct AllocationWatch {
  AllocationWatch() {
    gLargestAllocation = 0;
    gWatchingAllocations = true;
  }
  ~AllocationWatch() { gWatchingAllocations = false; }
  AllocationWatch(const AllocationWatch&) = delete;
  AllocationWatch& operator=(const AllocationWatch&) = delete;
  std::size_t Largest() const { return gLargestAllocation; }
};

inline int Log2Bucket(long long v) {
  int b = 0;
  while (v > 1 && b < 40) v >>= 1, ++b;
  return b;
}
inline void CountPicture(std::uint32_t tag, const Picture& p) {
  CountFeature(FeatureHash(FeatureHash(tag, 1000 + Log2Bucket(p.Width) * 64 + Log2Bucket(p.Height)),
                           p.Alpha.empty() ? 0 : 1));
}

inline std::uint32_t BigEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
}
inline void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
inline bool HasPngSignature(const std::uint8_t* data, std::size_t size) {
  return size >= 8 && std::memcmp(data, kPngSignature, 8) == 0;
}

// Calls f(offset, length, type) for each whole chunk after the signature; the
// return value is where the chunks stopped (size when they fill the file).
template <typename F>
std::size_t ForEachPngChunk(const std::uint8_t* data, std::size_t size, F f) {
  std::size_t at = 8;
  if (size < at) return size;
  while (size - at >= 12) {
    const std::uint32_t length = BigEndian32(data + at);
    if (length > size - at - 12) break;
    f(at, static_cast<std::size_t>(length), BigEndian32(data + at + 4));
    at += 12 + length;
  }
  return at;
}

inline std::uint32_t ChunkCrc(const std::uint8_t* data, std::size_t at, std::size_t length) {
  return static_cast<std::uint32_t>(crc32(0, data + at + 4, static_cast<uInt>(length + 4)));
}

// A chunk type libpng knows stands for itself; any other only by the case of
// its four letters (critical or ancillary, public or private, ...) and whether
// they are letters at all.
inline std::uint32_t ChunkClass(std::uint32_t type) {
  static constexpr const char* kKnown[] = {"IHDR", "PLTE", "IDAT", "IEND", "tRNS", "cHRM", "gAMA", "iCCP",
                                           "sBIT", "sRGB", "tEXt", "zTXt", "iTXt", "bKGD", "hIST", "pHYs",
                                           "sPLT", "tIME", "oFFs", "pCAL", "sCAL", "eXIf", "acTL", "fcTL"};
  for (const char* k : kKnown) {
    if (BigEndian32(reinterpret_cast<const std::uint8_t*>(k)) == type) return type;
  }
  std::uint32_t c = 1;
  for (int b = 0; b < 4; ++b) {
    const unsigned char x = static_cast<unsigned char>(type >> (24 - 8 * b));
    c = c << 2 | (std::isalpha(x) ? 0u : 2u) | (x & 0x20 ? 1u : 0u);
  }
  return c;
}

inline std::uint32_t OneOf(unsigned v, std::initializer_list<unsigned> valid) {
  std::uint32_t i = 0;
  for (const unsigned x : valid) {
    if (x == v) return i;
    ++i;
  }
  return i;
}

// The chunks of a PNG in order and in pairs, the header's colour type, depth and
// interlacing, a wrong checksum and where the chunks stop short.
inline void CountPngChunks(std::uint32_t tag, const std::uint8_t* data, std::size_t size) {
  if (!HasPngSignature(data, size)) return;
  std::uint32_t previous = 0;
  int count = 0;
  const std::size_t end = ForEachPngChunk(data, size, [&](std::size_t at, std::size_t length, std::uint32_t type) {
    if (++count > 64) return;
    const std::uint32_t kind = ChunkClass(type);
    CountFeature(FeatureHash(tag, kind));
    CountFeature(FeatureHash(FeatureHash(tag, previous), kind));
    if (ChunkCrc(data, at, length) != BigEndian32(data + at + 8 + length)) CountFeature(FeatureHash(tag + 1, kind));
    if (type == 0x49484452u && length == 13) {  // IHDR
      const std::uint8_t* h = data + at + 8;
      CountFeature(FeatureHash(tag + 2, OneOf(h[9], {0, 2, 3, 4, 6}) << 8 | OneOf(h[8], {1, 2, 4, 8, 16}) << 4 |
                                            OneOf(h[12], {0, 1}) << 2 | (h[10] | h[11] ? 1 : 0)));
    }
    previous = kind;
  });
  if (end != size) {
    const std::size_t left = size - end;
    // Where the chunks stop: a header cut short, or a chunk longer than the file.
    const std::uint32_t over =
        left >= 8 ? Log2Bucket(static_cast<long long>(BigEndian32(data + end)) + 12 - static_cast<long long>(left)) : 100;
    CountFeature(FeatureHash(FeatureHash(tag + 3, previous), over));
  }
}

// Each frame and table marker stands for itself, the application blocks by
// the few that decoders read, and the rest by their range.
inline std::uint32_t MarkerClass(std::uint8_t m) {
  if ((m >= 0xC0 && m <= 0xCF) || (m >= 0xD8 && m <= 0xDF) || m == 0xE0 || m == 0xE1 || m == 0xE2 || m == 0xEE ||
      m == 0xFE)
    return m;
  if (m >= 0xE0 && m <= 0xEF) return 0x1E0;  // other application blocks
  if (m >= 0xF0) return 0x1F0;               // JPEG extensions
  return 0x100;                              // reserved
}

// Calls f(marker, segment, bytes of it in the file, whole) for the first 64
// markers of a JPEG the way a decoder meets them: each segment skipped by its
// length, the entropy-coded data after a scan searched for the next marker;
// standalone markers come with no segment. Stops at a segment that runs past
// the end of the data.
template <typename F>
void ForEachJpegMarker(const std::uint8_t* data, std::size_t size, F f) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) return;
  std::size_t at = 2;
  f(std::uint8_t{0xD8}, data + 2, std::size_t{0}, true);
  for (int count = 0; count < 64; ++count) {
    while (at < size && data[at] != 0xFF) ++at;
    while (at < size && data[at] == 0xFF) ++at;
    if (at >= size) break;
    const std::uint8_t m = data[at++];
    if (m == 0x00 || (m >= 0xD0 && m <= 0xD7)) continue;  // stuffed byte or restart inside the scan data
    if (m == 0xD8 || m == 0xD9 || m == 0x01) {
      f(m, data + at, std::size_t{0}, true);
      continue;
    }
    const std::size_t length = size - at >= 2 ? static_cast<std::size_t>(data[at]) << 8 | data[at + 1] : 0;
    const bool whole = length >= 2 && length <= size - at;
    f(m, data + at + 2, whole ? length - 2 : 0, whole);
    if (!whole) break;
    at += length;
  }
}

inline bool IsJpegFrame(std::uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// The markers of a JPEG in order and in pairs, each frame's precision,
// components and sampling factors, each scan's kind, and a segment cut short.
inline void CountJpegMarkers(std::uint32_t tag, const std::uint8_t* data, std::size_t size) {
  std::uint32_t previous = 0;
  ForEachJpegMarker(data, size, [&](std::uint8_t m, const std::uint8_t* s, std::size_t have, bool whole) {
    const std::uint32_t kind = MarkerClass(m);
    CountFeature(FeatureHash(tag, kind));
    CountFeature(FeatureHash(FeatureHash(tag, previous), kind));
    previous = kind;
    if (!whole) CountFeature(FeatureHash(tag + 3, kind));
    if (IsJpegFrame(m) && have >= 6) {
      // The largest sampling factors and whether all components share them.
      unsigned hMax = 0, vMax = 0, mixed = 0;
      for (std::size_t c = 0; c < s[5] && 8 + c * 3 <= have; ++c) {
        const unsigned f = s[7 + c * 3];
        if (c > 0 && f != s[7]) mixed = 1;
        hMax = f >> 4 > hMax ? f >> 4 : hMax;
        vMax = (f & 15) > vMax ? f & 15 : vMax;
      }
      CountFeature(FeatureHash(tag + 1, m << 16 | OneOf(s[0], {8, 12, 16}) << 12 | OneOf(s[5], {1, 3, 4}) << 9 |
                                            mixed << 8 | OneOf(hMax, {1, 2, 4}) << 4 | OneOf(vMax, {1, 2, 4})));
    }
    if (m == 0xDA && have >= 1) {
      // Scans by their kind: DC or AC, first or refining, one component or more.
      const std::size_t n = s[0];
      std::uint32_t h = FeatureHash(tag + 2, OneOf(static_cast<unsigned>(n), {1, 2, 3, 4}));
      if (have >= 1 + 2 * n + 3) {
        const unsigned ss = s[1 + 2 * n], se = s[2 + 2 * n], ah = s[3 + 2 * n] >> 4;
        h = FeatureHash(h, (ss == 0) << 3 | OneOf(se, {0, 63}) << 1 | (ah != 0));
      }
      CountFeature(h);
    }
  });
}

// The most pixels the header of a PNG or any frame of a JPEG declares; 0 when none is seen.
inline unsigned long long DeclaredPixels(const std::uint8_t* data, std::size_t size) {
  if (HasPngSignature(data, size)) {
    return size >= 24 ? static_cast<unsigned long long>(BigEndian32(data + 16)) * BigEndian32(data + 20) : 0;
  }
  unsigned long long most = 0;
  ForEachJpegMarker(data, size, [&](std::uint8_t m, const std::uint8_t* s, std::size_t have, bool) {
    if (!IsJpegFrame(m) || have < 5) return;
    const unsigned long long pixels = static_cast<unsigned long long>(s[1] << 8 | s[2]) * (s[3] << 8 | s[4]);
    if (pixels > most) most = pixels;
  });
  return most;
}

// The image data of a PNG, all its IDAT chunks inflated; empty when it does not inflate.
inline std::vector<std::uint8_t> InflateIdat(const std::uint8_t* data, std::size_t size, std::size_t most) {
  std::vector<std::uint8_t> packed;
  ForEachPngChunk(data, size, [&](std::size_t at, std::size_t length, std::uint32_t type) {
    if (type == 0x49444154u) packed.insert(packed.end(), data + at + 8, data + at + 8 + length);
  });
  std::vector<std::uint8_t> raw(most);
  z_stream z{};
  if (packed.empty() || inflateInit(&z) != Z_OK) return {};
  z.next_in = packed.data();
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = raw.data();
  z.avail_out = static_cast<uInt>(raw.size());
  const int r = inflate(&z, Z_FINISH);
  raw.resize(z.total_out);
  inflateEnd(&z);
  return r == Z_STREAM_END ? raw : std::vector<std::uint8_t>{};
}

// Puts the right checksum on every whole chunk.
inline void FixPngCrcs(std::uint8_t* data, std::size_t size) {
  ForEachPngChunk(data, size, [&](std::size_t at, std::size_t length, std::uint32_t) {
    PutBigEndian32(data + at + 8 + length, ChunkCrc(data, at, length));
  });
}

// The PNG again with raw as its image data, packed as one IDAT in place of the
// first, and ihdr (13 bytes) as its header when given; 0 when it would not fit.
inline std::size_t RepackPng(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                             const std::vector<std::uint8_t>& raw, const std::uint8_t* ihdr) {
  std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(raw.size())));
  uLongf packedSize = static_cast<uLongf>(packed.size());
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return 0;
  std::vector<std::uint8_t> out(data, data + 8);
  auto append = [&](const char* type, const std::uint8_t* body, std::size_t length) {
    const std::size_t start = out.size();
    out.resize(start + 12 + length);
    PutBigEndian32(&out[start], static_cast<std::uint32_t>(length));
    std::memcpy(&out[start + 4], type, 4);
    if (length != 0) std::memcpy(&out[start + 8], body, length);
    PutBigEndian32(&out[start + 8 + length], ChunkCrc(out.data(), start, length));
  };
  bool placed = false;
  const std::size_t end = ForEachPngChunk(data, size, [&](std::size_t at, std::size_t length, std::uint32_t type) {
    if (type == 0x49484452u && ihdr != nullptr) {
      append("IHDR", ihdr, 13);
    } else if (type != 0x49444154u) {
      out.insert(out.end(), data + at, data + at + 12 + length);
    } else if (!placed) {
      placed = true;
      append("IDAT", packed.data(), packedSize);
    }
  });
  out.insert(out.end(), data + end, data + size);
  if (out.size() > maxSize) return 0;
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

// Mutates the inflated image data of a PNG; 0 when it has none that inflates.
inline std::size_t MutatePngImageData(std::uint8_t* data, std::size_t size, std::size_t maxSize) {
  std::vector<std::uint8_t> raw = InflateIdat(data, size, std::size_t{1} << 17);
  if (raw.empty()) return 0;
  const std::size_t used = raw.size();
  raw.resize(used + 64 + used / 8);
  raw.resize(LLVMFuzzerMutate(raw.data(), used, raw.size()));
  return RepackPng(data, size, maxSize, raw, nullptr);
}

// Gives a PNG another size, colour type or depth, with image data of the length
// the new header asks for (zeros, or the old data first), so that the sizes
// around the limits are reached with files that decode; sides are the ones to
// try besides small ones. 0 when the file has no header first or the data
// would be too long to pack.
inline std::size_t ReshapePng(std::uint8_t* data, std::size_t size, std::size_t maxSize, std::minstd_rand& random,
                              std::initializer_list<std::uint32_t> sides) {
  if (size < 33 || BigEndian32(data + 8) != 13 || BigEndian32(data + 12) != 0x49484452u) return 0;
  std::uint8_t ihdr[13];
  std::memcpy(ihdr, data + 16, 13);
  auto side = [&](std::uint32_t old) -> std::uint32_t {
    switch (random() % 4) {
      case 0: return old + static_cast<std::uint32_t>(random() % 3) - 1;
      case 1: return 1 + static_cast<std::uint32_t>(random() % 64);
      default: return *(sides.begin() + random() % sides.size());
    }
  };
  const std::uint32_t width = side(BigEndian32(ihdr)), height = side(BigEndian32(ihdr + 4));
  static constexpr std::uint8_t kKinds[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  if (random() % 2 == 0) {
    const auto& kind = kKinds[random() % (sizeof kKinds / sizeof kKinds[0])];
    ihdr[9] = kind[0];
    ihdr[8] = kind[1];
  }
  static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
  const int channels = ihdr[9] <= 6 ? kChannels[ihdr[9]] : 0;
  if (channels == 0 || width == 0 || height == 0) return 0;
  PutBigEndian32(ihdr, width);
  PutBigEndian32(ihdr + 4, height);
  ihdr[12] = 0;  // the length below is that of rows not interlaced
  const unsigned long long rowBytes = (static_cast<unsigned long long>(width) * channels * ihdr[8] + 7) / 8;
  const unsigned long long rawSize = (rowBytes + 1) * height;
  if (rawSize > (std::size_t{16} << 20)) return 0;
  // Zero rows (each filter byte 0) half the time, so that most of them decode.
  std::vector<std::uint8_t> raw;
  if (random() % 2 == 0) raw = InflateIdat(data, size, std::size_t{1} << 17);
  raw.resize(static_cast<std::size_t>(rawSize));
  return RepackPng(data, size, maxSize, raw, ihdr);
}

// libFuzzer's own mutations, then for a PNG most of the time the checksums
// made right again (the rest, wrong checksums stay to be tried); now and then
// a mutation of the image data itself, or of the size and kind of picture.
inline std::size_t MutatePictureInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed,
                                      std::initializer_list<std::uint32_t> sides) {
  std::minstd_rand random(seed);
  if (HasPngSignature(data, size)) {
    const unsigned choice = random() % 16;
    std::size_t n = 0;
    if (choice == 0) n = ReshapePng(data, size, maxSize, random, sides);
    if (choice >= 1 && choice <= 4) n = MutatePngImageData(data, size, maxSize);
    if (n != 0) return n;
  }
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (HasPngSignature(data, size) && random() % 8 != 0) FixPngCrcs(data, size);
  return size;
}
