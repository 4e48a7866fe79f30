#include "layout/grid_layout.h"

#include <algorithm>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace anamorfosi {

namespace {

// 24 letters: I and O look like 1 and 0 once a print stretches them.
constexpr char kColumnLetters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
constexpr int kLetterCount = sizeof(kColumnLetters) - 1;

struct Span {
  int Begin = 0, End = 0;  // pixels [Begin, End)
};

struct Lines {
  std::vector<Span> Spans;  // one per boundary, 0 .. cells
  std::vector<bool> IsHeavy;
};

// The pixels of the line on every boundary along one side; the border lines lie
// wholly inside the picture, the inner ones straddle their boundary.
Lines LinesAlong(int cells, int cellPixels) {
  Lines lines;
  const int thin = std::max(1, (cellPixels + 20) / 40), heavyWidth = 3 * thin;
  for (int k = 0; k <= cells; ++k) {
    const bool heavy = k == 0 || k == cells || k % kHeavyGridEvery == 0;
    const int width = heavy ? heavyWidth : thin;
    Span span;
    if (k == 0) {
      span = {0, width};
    } else if (k == cells) {
      span = {cells * cellPixels - width, cells * cellPixels};
    } else {
      span.Begin = k * cellPixels - width / 2;
      span.End = span.Begin + width;
    }
    lines.Spans.push_back(span);
    lines.IsHeavy.push_back(heavy);
  }
  return lines;
}

// The narrowest paper between two lines along one side.
int NarrowestGap(const Lines& lines) {
  int narrowest = 1 << 30;
  for (std::size_t k = 0; k + 1 < lines.Spans.size(); ++k)
    narrowest = std::min(narrowest, lines.Spans[k + 1].Begin - lines.Spans[k].End);
  return narrowest;
}

}  // namespace

std::string GridCellLabel(int column, int row) {
  if (column < 0 || column >= kMaxGridCells || row < 0 || row >= kMaxGridCells)
    throw std::invalid_argument("grid cell out of range");
  std::string label;
  if (column < kLetterCount) {
    label = kColumnLetters[column];
  } else {
    const int pair = column - kLetterCount;
    label = {kColumnLetters[pair / kLetterCount], kColumnLetters[pair % kLetterCount]};
  }
  return label + std::to_string(row + 1);
}

GridLayout LayOutGrid(int columns, int rows, int cellPixels, long long maxSide) {
  if (columns < 1 || columns > kMaxGridCells || rows < 1 || rows > kMaxGridCells)
    throw std::invalid_argument("grid picture: columns and rows must be 1 to " + std::to_string(kMaxGridCells));
  if (cellPixels < kMinGridCellPixels)
    throw std::invalid_argument("grid picture: cells must be at least " + std::to_string(kMinGridCellPixels) +
                                " pixels");
  const long long width = static_cast<long long>(columns) * cellPixels;
  const long long height = static_cast<long long>(rows) * cellPixels;
  if (width > maxSide || height > maxSide) throw std::invalid_argument("grid picture: too large");

  GridLayout layout;
  layout.Width = static_cast<int>(width);
  layout.Height = static_cast<int>(height);
  const Lines across = LinesAlong(columns, cellPixels);
  const Lines down = LinesAlong(rows, cellPixels);
  for (bool heavy : {false, true}) {
    for (std::size_t k = 0; k < across.Spans.size(); ++k)
      if (across.IsHeavy[k] == heavy)
        layout.Lines.push_back({across.Spans[k].Begin, 0, across.Spans[k].End - across.Spans[k].Begin,
                                layout.Height, heavy});
    for (std::size_t k = 0; k < down.Spans.size(); ++k)
      if (down.IsHeavy[k] == heavy)
        layout.Lines.push_back({0, down.Spans[k].Begin, layout.Width, down.Spans[k].End - down.Spans[k].Begin,
                                heavy});
  }

  // One size for every label, the largest at which all fit the narrowest cell
  // with a margin of paper.
  const int gapX = NarrowestGap(across), gapY = NarrowestGap(down);
  layout.RoomWidth = gapX - 2.0 * std::max(1, gapX / 10);
  layout.RoomHeight = gapY - 2.0 * std::max(1, gapY / 10);

  layout.Labels.reserve(static_cast<std::size_t>(columns) * rows);
  for (int row = 0; row < rows; ++row) {
    const double centreY = (down.Spans[row].End + down.Spans[row + 1].Begin) / 2.0;
    for (int column = 0; column < columns; ++column) {
      const double centreX = (across.Spans[column].End + across.Spans[column + 1].Begin) / 2.0;
      layout.Labels.push_back({GridCellLabel(column, row), centreX, centreY});
    }
  }
  return layout;
}

double GridLabelSize(const GridLayout& layout, const std::function<GridLabelNeeds(double size)>& measure,
                     GridLabelNeeds* needs) {
  GridLabelNeeds at = measure(layout.TrialSize);
  if (!(at.Width > 0) || !(at.CapHeight > 0) || !(at.HalfHeight > 0))
    throw std::runtime_error("grid picture: no font draws the labels");
  double size = layout.TrialSize * std::min(layout.RoomWidth / at.Width, layout.RoomHeight / 2 / at.HalfHeight);
  double measured = size;
  for (int attempt = 0; attempt < layout.Tries; ++attempt) {
    measured = size;
    at = measure(size);
    if (at.Width <= layout.RoomWidth && at.HalfHeight <= layout.RoomHeight / 2) break;
    size *= layout.Shrink;
  }
  if (needs) *needs = at;
  return measured;
}

std::string GridLayoutJson(const GridLayout& layout) {
  using nlohmann::ordered_json;
  ordered_json j;
  j["width"] = layout.Width;
  j["height"] = layout.Height;
  j["paper"] = layout.Paper;
  j["thin"] = layout.Thin;
  j["heavy"] = layout.Heavy;
  j["ink"] = layout.Ink;
  ordered_json lines = ordered_json::array();
  for (const GridRectangle& r : layout.Lines) lines.push_back({r.X, r.Y, r.Width, r.Height, r.Heavy ? 1 : 0});
  j["lines"] = std::move(lines);
  ordered_json labels = ordered_json::array();
  for (const GridLabel& l : layout.Labels) labels.push_back({l.Text, l.CentreX, l.CentreY});
  j["labels"] = std::move(labels);
  j["room_width"] = layout.RoomWidth;
  j["room_height"] = layout.RoomHeight;
  j["trial_size"] = layout.TrialSize;
  j["shrink"] = layout.Shrink;
  j["tries"] = layout.Tries;
  return j.dump();
}

}  // namespace anamorfosi
