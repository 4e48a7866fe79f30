// The page's own files and the test card, compiled into the program.
#pragma once

#include <cstddef>
#include <vector>

namespace anamorfosi {

struct PageFile {
  const char* Name;  // "index.html", "app.js", ...
  const char* Type;  // its content type
  const unsigned char* Data;
  std::size_t Size;
};
const std::vector<PageFile>& PageFiles();
PageFile TestCard();

}  // namespace anamorfosi
