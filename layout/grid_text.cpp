#include "layout/grid_text.h"

namespace anamorfosi {

std::optional<std::pair<int, int>> ParseGrid(const std::string& text) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto number = [](const std::string& digits) -> std::optional<int> {
    if (digits.empty() || digits.size() > 3 || digits[0] == '0') return std::nullopt;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (value > kMaxGridCells) return std::nullopt;
    return value;
  };
  const auto columns = number(text.substr(0, x));
  const auto rows = number(text.substr(x + 1));
  if (!columns || !rows) return std::nullopt;
  return std::make_pair(*columns, *rows);
}

}  // namespace anamorfosi
