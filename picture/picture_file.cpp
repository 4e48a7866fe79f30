#include "picture/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "picture/jpeg_file.h"
#include "picture/picture_error.h"

namespace anamorfosi {

namespace {

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::size_t maxBytes) {
  Descriptor file;
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) throw PictureError(PictureProblem::kCannotOpen, path, PictureFormat::kUnknown, {}, errno);
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) throw PictureError(PictureProblem::kReadFailed, path, PictureFormat::kUnknown, {}, errno);
  if (S_ISDIR(st.st_mode)) throw PictureError(PictureProblem::kCannotOpen, path, PictureFormat::kUnknown, {}, EISDIR);
  if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > maxBytes)
    throw PictureError(PictureProblem::kFileTooLarge, path, PictureFormat::kUnknown);
  std::vector<std::uint8_t> bytes;
  // A regular file is read into a block of its size; a pipe grows as it arrives.
  bytes.resize(S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : std::size_t{1} << 16);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (bytes.size() > maxBytes) throw PictureError(PictureProblem::kFileTooLarge, path, PictureFormat::kUnknown);
      bytes.resize(bytes.size() * 2);
    }
    const ssize_t n = ::read(file.fd, bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw PictureError(PictureProblem::kReadFailed, path, PictureFormat::kUnknown, {}, errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > maxBytes) throw PictureError(PictureProblem::kFileTooLarge, path, PictureFormat::kUnknown);
  bytes.resize(used);
  return bytes;
}

std::size_t MostPictureFileBytes(const PictureLimits& limits) {
  return static_cast<std::size_t>(limits.MaxPixels) * 8 + (std::size_t{1} << 24);
}

Picture DecodePicture(const std::uint8_t* data, std::size_t size, const std::string& name,
                      const PictureLimits& limits, PictureReduction* reduction) {
  if (size == 0) throw PictureError(PictureProblem::kEmpty, name, PictureFormat::kUnknown);
  const PictureFormat format = SniffPictureFormat(data, size);
  switch (format) {
    case PictureFormat::kPng: {
      Picture p = DecodePng(data, size, name, limits);
      if (reduction != nullptr) {
        reduction->FullWidth = p.Width;
        reduction->FullHeight = p.Height;
        reduction->Wanted = reduction->Choose ? reduction->Choose(p.Width, p.Height) : PictureFactors{};
        reduction->Done = 1;
      }
      return p;
    }
    case PictureFormat::kJpeg:
      return DecodeJpeg(data, size, name, limits, reduction);
    case PictureFormat::kUnknown:
      throw PictureError(PictureProblem::kUnknown, name, format);
    default:
      throw PictureError(PictureProblem::kUnsupported, name, format);
  }
}

Picture ReadPictureFile(const std::string& path, const PictureLimits& limits, PictureReduction* reduction) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path, MostPictureFileBytes(limits));
  return DecodePicture(bytes.data(), bytes.size(), path, limits, reduction);
}

PictureFormat SniffPictureFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return PictureFormat::kUnknown;
  std::uint8_t head[32];
  const std::size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return SniffPictureFormat(head, n);
}

void WritePngFile(const std::string& path, const Picture& picture, const PngWriteOptions& options) {
  const std::vector<std::uint8_t> bytes = EncodePng(picture, options);
  // A name of its own for every writer, in this process or another.
  static std::atomic<unsigned> serial{0};
  const std::string temp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
  std::FILE* f = std::fopen(temp.c_str(), "wbx");
  if (f == nullptr) throw PictureError(PictureProblem::kWriteFailed, path, PictureFormat::kPng, {}, errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int err = errno;
  const bool flushed = std::fflush(f) == 0;
  if (written && !flushed) err = errno;
  const bool closed = std::fclose(f) == 0;
  if (written && flushed && !closed) err = errno;
  std::error_code ec;
  if (written && flushed && closed) {
    std::filesystem::rename(temp, path, ec);
    if (!ec) return;
    err = ec.value();
  }
  std::remove(temp.c_str());
  throw PictureError(PictureProblem::kWriteFailed, path, PictureFormat::kPng, {}, err);
}

}  // namespace anamorfosi
