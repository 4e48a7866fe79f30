// Two prints compared cell by cell: how many cells differ and by how much, for
// the prints of two builds of the same scene.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "picture/picture.h"

namespace anamorfosi {

struct CellDifference {
  bool SameSize = false;
  long Cells = 0;      // cells of each print (when they have the same size)
  long Differing = 0;  // cells whose colour differs in any channel
  int MaxLevels = 0;   // the largest difference of one channel, in levels (0 to 255)
  long Painted = 0;    // differing cells that are paper (white or black) in one print and not in the other
};

inline bool IsPaper(const std::uint8_t* rgb) {
  return (rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255) || (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0);
}

// Alpha is left aside: the prints are opaque.
inline CellDifference CompareCells(const Picture& a, const Picture& b) {
  CellDifference d;
  d.SameSize = a.Width == b.Width && a.Height == b.Height;
  if (!d.SameSize) return d;
  d.Cells = static_cast<long>(a.Width) * a.Height;
  for (long cell = 0; cell < d.Cells; ++cell) {
    const std::uint8_t* p = &a.Rgb[3 * cell];
    const std::uint8_t* q = &b.Rgb[3 * cell];
    int most = 0;
    for (int k = 0; k < 3; ++k) most = std::max(most, std::abs(p[k] - q[k]));
    if (most == 0) continue;
    ++d.Differing;
    d.MaxLevels = std::max(d.MaxLevels, most);
    if (IsPaper(p) != IsPaper(q)) ++d.Painted;
  }
  return d;
}

}  // namespace anamorfosi
