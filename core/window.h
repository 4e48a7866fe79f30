// The output window: the rectangle of the sheet Z = 0 that the reflected
// picture covers, and the size of its cells.
#pragma once

#include <cmath>

#include "core/geometry.h"
#include "core/mirror.h"

// Cell (col, row), both from 1, has its centre at
// (MinX + col * CellSize - HalfCell, MaxY - row * CellSize + HalfCell).

namespace anamorfosi {
struct OutputWindow {
  Real MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  Real CellSize = 0, HalfCell = 0;
  int Width = 0, Height = 0;
};

enum class WindowStatus {
  kOk,
  kNoRayReachedSheet,  // every ray of the scan missed
  kNoExtent,           // all rays on one point, or the box is not finite
  kSideWithoutCells,   // so flat that its shorter side rounds to 0 cells
};

// Box of the scanned rays that reached Z = 0; misses are left out of it.
struct WindowScan {
  Real MinX = 1e30_r, MinY = 1e30_r, MaxX = -1e30_r, MaxY = -1e30_r;
  long Hits = 0;
};

inline void AddToScan(WindowScan& scan, Point3 p) {
  if (p.x < scan.MinX) scan.MinX = p.x;
  if (p.y < scan.MinY) scan.MinY = p.y;
  if (p.x > scan.MaxX) scan.MaxX = p.x;
  if (p.y > scan.MaxY) scan.MaxY = p.y;
  ++scan.Hits;
}

// 51 x 51 rays over the picture face, on a grid that includes its corners and
// edges; the step along A -> B is measured with the length of C1C4.
template <class Mirror>
WindowScan ScanFace(const Mirror& mirror, const Face& face, Point3 centre, MissRecord& misses) {
  WindowScan scan;
  const Real stepU = Distance3(face.C1, face.C2) / 50;
  const Real stepV = Distance3(face.C1, face.C4) / 50;
  Real u = 0;
  for (int i = 0; i <= 50; ++i) {
    const Point3 a = PointToward(face.C1, face.C2, u);
    const Point3 b = PointToward(face.C4, face.C3, u);
    Real v = 0;
    for (int j = 0; j <= 50; ++j) {
      Point3 r = PointToward(a, b, v);
      if (ReflectRay(mirror, centre, r, r, misses)) AddToScan(scan, r);
      // The running sums reproduce the grid of the mapping exactly.
      v += stepV;
    }
    u += stepU;
  }
  return scan;
}

// Widens the scanned box by 1/marginDivisor of its extent on each side and
// gives the longer side pixelCount square cells (pixelCount >= 1).
WindowStatus SizeWindow(const WindowScan& scan, Real marginDivisor, long pixelCount, OutputWindow& window);

// The window of the plane and faceted mirrors.
template <class Mirror>
WindowStatus ComputeWindow(const Mirror& mirror, const Face& face, Point3 centre, long pixelCount, Real marginDivisor,
                           MissRecord& misses, OutputWindow& window) {
  return SizeWindow(ScanFace(mirror, face, centre, misses), marginDivisor, pixelCount, window);
}

}  // namespace anamorfosi
