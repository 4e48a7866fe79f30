#include "pipeline/view.h"

#include "pipeline/kinds/cylinder_view.h"
#include "pipeline/kinds/mesh_view.h"

#include <gtest/gtest.h>

#include <random>

namespace anamorfosi {

namespace {

Point3 RandomPoint(std::mt19937& rng, Real spread) {
  std::uniform_real_distribution<double> d(-spread, spread);
  return {d(rng), d(rng), d(rng)};
}

// A white sheet of 10 x 10 cells over [-50, 50] x [-50, 50].
struct WhiteSheet {
  Picture Cells;
  PrintedSheet Sheet;
  WhiteSheet() {
    Cells.Width = Cells.Height = 10;
    Cells.Rgb.assign(300, 255);
    Sheet.Cells = &Cells;
    Sheet.Window.MinX = Sheet.Window.MinY = -50;
    Sheet.Window.MaxX = Sheet.Window.MaxY = 50;
    Sheet.Window.CellSize = 10;
    Sheet.Window.HalfCell = 5;
    Sheet.Window.Width = Sheet.Window.Height = 10;
  }
};

// Two walls along x meeting at y = 0, each climbing 2 in z for 1 in y: a
// trough (rising away from the middle) or a ridge (falling away from it).
FacetedMirror Walls(bool trough) {
  FacetedMirror m;
  const Real low = trough ? 0 : 20, high = trough ? 20 : 0;
  AddFace(m.Facets, {{-20, 0, low}, {20, 0, low}, {20, 10, high}, {-20, 10, high}});
  AddFace(m.Facets, {{-20, -10, high}, {20, -10, high}, {20, 0, low}, {-20, 0, low}});
  BuildFacetIndex(m.Facets, m.Index);
  return m;
}

}  // namespace

TEST(View, FramesEveryPointAheadAndTracesBackToIt) {
  std::mt19937 rng(8122026);
  for (int k = 0; k < 200; ++k) {
    const Point3 eye = RandomPoint(rng, 300);
    const Point3 centre = RandomPoint(rng, 50);
    const Point3 up = RandomPoint(rng, 10);
    const Face face{centre + up, centre + up + Point3{1, 0, 0}, centre - up + Point3{1, 0, 0}, centre - up};
    std::vector<Point3> frame;
    for (int i = 0; i < 6; ++i) frame.push_back(centre + RandomPoint(rng, 80));
    const ViewCamera c = FrameView(eye, face, frame, 400);
    SCOPED_TRACE(k);
    EXPECT_NEAR(Dot(c.Forward, c.Up), 0, 1e-12);
    EXPECT_NEAR(Dot(c.Right, c.Up), 0, 1e-12);
    ASSERT_TRUE(c.Height >= 100 && c.Height <= 800);
    for (const Point3& p : frame) {
      Real x = 0, y = 0;
      if (!ViewPoint(c, p, x, y)) continue;
      const Point3 q = p - eye;
      // Points more than 45 degrees off the axis either way may fall outside the frame.
      if (std::fabs(Dot(q, c.Right)) < Dot(q, c.Forward) && std::fabs(Dot(q, c.Up)) < Dot(q, c.Forward)) {
        EXPECT_TRUE(x >= 0 && x <= c.Width && y >= 0 && y <= c.Height) << x << ", " << y;
      }
      // The sight ray through the image point runs through p.
      const Point3 d = ViewRay(c, x, y);
      const Real along = Dot(q, d);
      EXPECT_LT(Distance3(eye + along * d, p), 1e-9 * std::sqrt(Dot(q, q)));
    }
  }
}

TEST(View, ATroughCountsTheRaysItReflectsIntoItself) {
  WhiteSheet white;
  const Face face{{-20, 10, 0}, {20, 10, 0}, {20, -10, 0}, {-20, -10, 0}};
  for (const bool trough : {true, false}) {
    const FacetedMirror mirror = Walls(trough);
    const MeshView view = MakeMeshView(mirror);
    const Point3 eye{0, 0, 100};
    const ViewCamera camera = FrameView(eye, face, OutlinePoints(view), 120);
    ViewStats stats;
    const Picture image = RenderView(view, camera, white.Sheet, 2, 2, stats);
    SCOPED_TRACE(trough ? "trough" : "ridge");
    EXPECT_GT(stats.MirrorRays, stats.Rays / 4);
    if (!trough) {
      EXPECT_EQ(stats.SecondHits, 0);
      continue;
    }
    EXPECT_GT(stats.SecondHits, stats.MirrorRays / 4);
    // Straight below the eye both walls send the ray on to the other: table.
    Real x = 0, y = 0;
    ASSERT_TRUE(ViewPoint(camera, {0, 3, 6}, x, y));
    const std::uint8_t* c = &image.Rgb[(static_cast<std::size_t>(y) * image.Width + static_cast<std::size_t>(x)) * 3];
    const Rgb table = MirrorTint(kViewTable);
    EXPECT_EQ(c[0], table.r);
    EXPECT_EQ(c[1], table.g);
    EXPECT_EQ(c[2], table.b);
  }
}

TEST(View, TheCylinderIsDrawnToItsTopAndClosed) {
  WhiteSheet white;
  const Cylinder c{{0, 0, 0}, 10};
  const Face face{{-10, -20, 30}, {10, -20, 30}, {10, -20, 10}, {-10, -20, 10}};
  const Point3 eye{0, -150, 120};
  const Real top = CylinderTopFor(c, eye, face);
  EXPECT_GT(top, 10);
  const CylinderView view{c, top};
  Point3 hit;
  // Toward a point of the wall below the top, one above it, and the top's middle.
  EXPECT_EQ(MeetMirror(view, eye, UnitDirection(eye, {0, -10, top / 2}), hit), SightHit::kMirror);
  EXPECT_NEAR(hit.z, top / 2, 1e-9);
  EXPECT_EQ(MeetMirror(view, eye, UnitDirection(eye, {0, 0, top}), hit), SightHit::kMirrorTop);
  EXPECT_EQ(MeetMirror(view, eye, UnitDirection(eye, {0, -10, top * 1.5_r}), hit), SightHit::kNothing);
  // A ray that passes beside it, and one that meets the sheet in front of it.
  EXPECT_EQ(MeetMirror(view, eye, UnitDirection(eye, {30, 0, 5}), hit), SightHit::kNothing);
  EXPECT_EQ(MeetMirror(view, eye, UnitDirection(eye, {0, -30, -1}), hit), SightHit::kNothing);
}

}  // namespace anamorfosi
