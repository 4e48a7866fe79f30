// The view from the eye: a perspective picture looking at the centre of the
// picture face, framed to hold the mirror and the print. A sight ray that
// meets the mirror is reflected by the program's own model and shows the
// printed sheet where it lands, slightly tinted; one that meets the sheet
// shows the print there; beyond the print lies a plain table, above it a
// plain sky.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/geometry.h"
#include "core/map_picture.h"
#include "pipeline/mirror_view.h"
#include "picture/picture.h"
#include "core/raster.h"
#include "pipeline/restore.h"

namespace anamorfosi {

struct ViewCamera {
  Point3 Eye, Forward, Right, Up;  // unit and at right angles
  // The frame in tangents of the angles off the axis: its middle and half sides.
  Real CentreX = 0, CentreY = 0, HalfWidth = 1, HalfHeight = 1;
  int Width = 0, Height = 0;
};

// Looks from eye at the centre of the face, its up the face's up; the frame,
// square to that axis, holds every point of frame that lies ahead, and the
// axis; width pixels wide, the height keeping the pixels square.
ViewCamera FrameView(Point3 eye, const Face& face, const std::vector<Point3>& frame, int width);
// The close-up of a view: the same eye, axes and size in pixels as whole,
// framed on the points of outline that lie ahead (the mirror's), with a tenth
// of their extent more on every side and the short side widened to the
// image's shape; whole itself when none lies ahead.
ViewCamera FrameCloseUp(const ViewCamera& whole, const std::vector<Point3>& outline);
// The unit sight direction through the image point (x, y), in pixels from the
// top-left corner of the image.
Point3 ViewRay(const ViewCamera& camera, Real x, Real y);
// Where p shows in the image; false for a point not ahead of the eye.
bool ViewPoint(const ViewCamera& camera, Point3 p, Real& x, Real& y);

// The close-up of a mirror's view: framed first on its outline points
// (FrameCloseUp), then on the sight rays of a 128 x 128 grid over that frame
// that meet the mirror, each standing for its grid cell, so that an outline
// that only bounds the mirror (a mesh's box) does not leave it small.
template <class View>
ViewCamera FrameMirrorCloseUp(const View& view, const ViewCamera& whole) {
  const ViewCamera first = FrameCloseUp(whole, OutlinePoints(view));
  constexpr int kGrid = 128;
  const Real sx = static_cast<Real>(first.Width) / kGrid, sy = static_cast<Real>(first.Height) / kGrid;
  std::vector<Point3> seen;
  seen.reserve(4 * kGrid * kGrid);
  for (int j = 0; j < kGrid; ++j) {
    for (int i = 0; i < kGrid; ++i) {
      Point3 hit;
      if (MeetMirror(view, first.Eye, ViewRay(first, (i + 0.5_r) * sx, (j + 0.5_r) * sy), hit) == SightHit::kNothing)
        continue;
      for (const int corner : {0, 1, 2, 3})
        seen.push_back(first.Eye + ViewRay(first, (i + (corner & 1)) * sx, (j + (corner >> 1)) * sy));
    }
  }
  return seen.empty() ? first : FrameCloseUp(whole, seen);
}

inline constexpr Rgb kViewSky{222, 232, 242};
inline constexpr Rgb kViewTable{196, 184, 166};
inline constexpr Rgb kViewMirrorTop{150, 150, 156};
// A mirror gives back a little less light, slightly cool, so that it reads as glass.
inline Rgb MirrorTint(Rgb c) {
  auto tint = [](std::uint8_t v, int lift) { return static_cast<std::uint8_t>((v * 7 + 4) / 8 + lift); };
  return {tint(c.r, 16), tint(c.g, 22), tint(c.b, 30)};
}

struct ViewStats {
  long long Rays = 0;        // sight rays traced (supersample^2 a pixel)
  long long MirrorRays = 0;  // that met the mirror
  long long SecondHits = 0;  // reflected rays that met the mirror again (drawn as table)
};

// The colour of one sight ray from the camera's eye along the unit direction d.
template <class View>
Rgb SightColour(const View& view, const PrintedSheet& sheet, Point3 eye, Point3 d, ViewStats& stats,
                MissRecord& misses) {
  auto sheetAt = [&](Point3 p) {
    const std::uint8_t* c = nullptr;
    bool painted = false;
    return ReadSheet(sheet, p, c, painted) ? Rgb{c[0], c[1], c[2]} : kViewTable;
  };
  ++stats.Rays;
  Point3 hit;
  switch (MeetMirror(view, eye, d, hit)) {
    case SightHit::kMirrorTop:
      return kViewMirrorTop;
    case SightHit::kMirror: {
      ++stats.MirrorRays;
      Point3 landing;
      // A reflected ray that rises shows the sky.
      if (!ReflectRay(ModelOf(view), eye, hit, landing, misses)) return MirrorTint(kViewSky);
      if (MeetsAgain(view, hit, landing)) {
        ++stats.SecondHits;
        return MirrorTint(kViewTable);
      }
      return MirrorTint(sheetAt(landing));
    }
    case SightHit::kNothing:
      break;
  }
  if (!(d.z < 0)) return kViewSky;
  const Real t = -eye.z / d.z;
  return sheetAt({eye.x + t * d.x, eye.y + t * d.y, 0});
}

// The view, supersample x supersample sight rays a pixel averaged, rows shared
// among the threads; the picture and the figures do not depend on their number.
template <class View>
Picture RenderView(const View& view, const ViewCamera& camera, const PrintedSheet& sheet, int supersample,
                   int threads, ViewStats& stats) {
  Picture out;
  out.Width = camera.Width;
  out.Height = camera.Height;
  out.Rgb.assign(static_cast<std::size_t>(out.Width) * out.Height * 3, 0);
  const int s = std::max(1, supersample);
  std::vector<ViewStats> rowStats(static_cast<std::size_t>(camera.Height));
  StepThreads pool(std::max(1, threads));
  pool.Run(camera.Height, [&](long row, int) {
    ViewStats& st = rowStats[static_cast<std::size_t>(row)];
    MissRecord misses;
    for (int col = 0; col < camera.Width; ++col) {
      unsigned sum[3] = {0, 0, 0};
      for (int j = 0; j < s; ++j) {
        for (int i = 0; i < s; ++i) {
          const Point3 d = ViewRay(camera, col + (i + 0.5_r) / s, row + (j + 0.5_r) / s);
          const Rgb c = SightColour(view, sheet, camera.Eye, d, st, misses);
          sum[0] += c.r;
          sum[1] += c.g;
          sum[2] += c.b;
        }
      }
      const unsigned n = static_cast<unsigned>(s * s);
      std::uint8_t* px = &out.Rgb[(static_cast<std::size_t>(row) * out.Width + col) * 3];
      for (int k = 0; k < 3; ++k) px[k] = static_cast<std::uint8_t>((sum[k] + n / 2) / n);
    }
  });
  for (const ViewStats& st : rowStats) {
    stats.Rays += st.Rays;
    stats.MirrorRays += st.MirrorRays;
    stats.SecondHits += st.SecondHits;
  }
  return out;
}

}  // namespace anamorfosi
