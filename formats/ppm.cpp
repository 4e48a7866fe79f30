#include "formats/ppm.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "core/errors.h"
#include "picture/picture_error.h"
#include "picture/png_file.h"

namespace anamorfosi {

namespace {
constexpr std::size_t kWriteBlock = std::size_t{1} << 20;
}  // namespace

namespace {

// "0 " .. "255 ", four bytes each, and the length of each.
struct SampleText {
  std::array<std::array<char, 4>, 256> text{};
  std::array<std::uint8_t, 256> length{};
  SampleText() {
    for (int v = 0; v < 256; ++v) {
      char digits[8];
      const int n = std::snprintf(digits, sizeof digits, "%d ", v);
      std::memcpy(text[v].data(), digits, static_cast<std::size_t>(n));
      length[v] = static_cast<std::uint8_t>(n);
    }
  }
};
const SampleText kSampleText;

constexpr int kPixelsPerLine = 11;

int CreateFailureCode(int err) {
  // A missing folder on the way to the output is a missing path.
  if (err == ENOENT) return kPathNotFound;
  return RuntimeCodeFromErrno(err);
}

}  // namespace

namespace {
bool EndsInPng(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".png";
}
}  // namespace

OutputPicture::OutputPicture(std::string fileName)
    : png_(EndsInPng(fileName)), finalName_(std::move(fileName)), buffer_(kWriteBlock) {
  // An empty name, or one with a NUL byte that would create another file.
  if (finalName_.empty() || finalName_.find('\0') != std::string::npos) {
    throw RuntimeFailure(kFileNotFound, finalName_);
  }
  std::error_code ec;
  if (std::filesystem::is_directory(finalName_, ec)) throw RuntimeFailure(kAccessDenied, finalName_);
  // An existing file that may not be overwritten stays protected.
  if (std::filesystem::exists(finalName_, ec) && ::access(finalName_.c_str(), W_OK) != 0)
    throw RuntimeFailure(kAccessDenied, finalName_);
  // The folder must take a new file; the file itself is created only when the
  // picture is written, so that a run stopped before then leaves nothing.
  const std::filesystem::path folder = std::filesystem::path(finalName_).parent_path();
  if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
    throw RuntimeFailure(CreateFailureCode(errno), finalName_);
}

void OutputPicture::Open() {
  if (file_ != nullptr) return;
  // A name of its own beside the final one; a name taken (a file left by a
  // run that was killed, or a link) is passed over, never opened.
  const std::string base = finalName_ + ".tmp" + std::to_string(::getpid()) + "_";
  int err = EEXIST;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = base + std::to_string(attempt);
    file_ = std::fopen(name.c_str(), "wbx");
    if (file_ != nullptr) {
      tempName_ = std::move(name);
      return;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  throw RuntimeFailure(CreateFailureCode(err), finalName_);
}

OutputPicture::~OutputPicture() {
  if (file_ != nullptr) std::fclose(file_);
  if (!tempName_.empty()) std::remove(tempName_.c_str());
}

void OutputPicture::Flush() {
  if (used_ == 0) return;
  Open();
  if (std::fwrite(buffer_.data(), 1, used_, file_) != used_) throw RuntimeFailure(kDiskWriteError, finalName_);
  used_ = 0;
}

void OutputPicture::WriteHeader(const InputPicture& input, int width, int height) {
  if (png_) return;
  std::string header = "P3\n";
  if (input.HasComment) header += input.Comment.substr(0, kPpmCommentLimit) + "\n";
  header += std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(input.MaxValue) + "\n";
  if (used_ + header.size() > buffer_.size()) Flush();
  if (header.size() > buffer_.size()) buffer_.resize(header.size());
  std::memcpy(buffer_.data() + used_, header.data(), header.size());
  used_ += header.size();
}

void OutputPicture::WritePixelsAndCommit(const OutputRaster& raster) {
  Open();
  if (png_)
    WritePngPixels(raster);
  else
    WritePlainPixels(raster);

  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!flushed || !closed) throw RuntimeFailure(kDiskWriteError, finalName_);

  std::error_code ec;
  std::filesystem::rename(tempName_, finalName_, ec);
  if (ec) {
    const int err = ec.value();
    throw RuntimeFailure(err == EACCES || err == EPERM || err == EISDIR || err == EROFS ? kAccessDenied : kDiskWriteError,
                         finalName_);
  }
  tempName_.clear();
}

void OutputPicture::WritePngPixels(const OutputRaster& raster) {
  const std::size_t w = static_cast<std::size_t>(std::max(raster.Width, 0));
  const std::size_t h = static_cast<std::size_t>(std::max(raster.Height, 0));
  if (raster.Cells.size() < w * h * 3) throw std::invalid_argument("raster smaller than its size");
  const PngRowSource rows = [&](int row, std::uint8_t* out) {
    std::memcpy(out, raster.Cells.data() + static_cast<std::size_t>(row) * w * 3, w * 3);
  };
  std::FILE* f = file_;
  const PngSink sink = [f](const std::uint8_t* data, std::size_t size) {
    return std::fwrite(data, 1, size, f) == size;
  };
  try {
    EncodePng(raster.Width, raster.Height, 3, rows, PngWriteOptions{}, sink, finalName_);
  } catch (const PictureError&) {
    throw RuntimeFailure(kDiskWriteError, finalName_);
  }
}

void OutputPicture::WritePlainPixels(const OutputRaster& raster) {
  const int width = raster.Width;
  const int height = raster.Height;
  const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
  const std::size_t h = static_cast<std::size_t>(std::max(height, 0));
  if (raster.Cells.size() < w * h * 3) throw std::invalid_argument("raster smaller than its size");

  // One row of text takes at most 12 bytes a pixel plus its line feeds, with
  // 3 bytes of slack for the last 4-byte copy.
  const std::size_t rowBytes = w * 12 + w / kPixelsPerLine + 8;
  if (buffer_.size() < rowBytes) {
    Flush();
    buffer_.resize(rowBytes);
  }
  int counter = 0;
  for (std::size_t r = 0; r < h; ++r) {
    if (used_ + rowBytes > buffer_.size()) Flush();
    char* out = buffer_.data() + used_;
    const std::uint8_t* px = raster.Cells.data() + r * w * 3;
    for (std::size_t col = 0; col < w; ++col, px += 3) {
      for (int k = 0; k < 3; ++k) {
        std::memcpy(out, kSampleText.text[px[k]].data(), 4);
        out += kSampleText.length[px[k]];
      }
      if (++counter == kPixelsPerLine) {
        *out++ = '\n';
        counter = 0;
      }
    }
    used_ = static_cast<std::size_t>(out - buffer_.data());
  }
  Flush();
}

}  // namespace anamorfosi
