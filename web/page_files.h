// The site's files (build/site/www), or the page saying it was not built,
// compiled into the program (embed.cmake).
#pragma once

#include <cstddef>
#include <vector>

namespace anamorfosi {

struct PageFile {
  const char* Name;  // "index.html", "app.js", ...
  const char* Type;  // its content type
  const unsigned char* Data;
  std::size_t Size;
  const char* Tag;  // its entity tag: the start of its SHA-256, quoted
};
const std::vector<PageFile>& PageFiles();

}  // namespace anamorfosi
