#include "core/errors.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace anamorfosi {

int RuntimeCodeFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return kAccessDenied;
    default:
      return kDiskReadError;
  }
}

std::FILE* OpenForReading(const std::string& name) {
  // A name with a NUL byte would open the file named by its first part.
  if (name.find('\0') != std::string::npos) throw RuntimeFailure(kFileNotFound, name);
  std::error_code ec;
  // A directory opens for reading on this system but cannot be read as a file.
  if (!name.empty() && std::filesystem::is_directory(name, ec)) throw RuntimeFailure(kAccessDenied, name);
  std::FILE* f = name.empty() ? nullptr : std::fopen(name.c_str(), "rb");
  if (f == nullptr) {
    int code = name.empty() ? kFileNotFound : RuntimeCodeFromErrno(errno);
    // A missing file in a missing folder is a missing path.
    if (code == kFileNotFound && !name.empty()) {
      const auto parent = std::filesystem::path(name).parent_path();
      if (!parent.empty() && !std::filesystem::exists(parent, ec)) code = kPathNotFound;
    }
    throw RuntimeFailure(code, name);
  }
  return f;
}

}  // namespace anamorfosi
