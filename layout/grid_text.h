// The text of a grid for drawing by hand, "12x8": read by the scene and the
// command without drawing anything, so that it needs no cairo.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace anamorfosi {

inline constexpr int kMaxGridCells = 200;  // columns or rows

// "12x8" (any case of x, no spaces, no sign, no leading zero): columns and
// rows, each 1 to kMaxGridCells; nothing otherwise.
std::optional<std::pair<int, int>> ParseGrid(const std::string& text);

}  // namespace anamorfosi
