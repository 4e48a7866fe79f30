#include "pipeline/view.h"

#include "pipeline/kinds/cylinder_view.h"
#include "pipeline/kinds/mesh_view.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/mesh_shapes.h"

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

// The 256-segment ball of radius 40 on the sheet, its corners stored as
// floats (an STL), seen from (0, -300, 200): the ray reflected at this hit,
// 6e-6 from a facet's edge, found the neighbour across the edge 6e-6 away and
// counted as meeting the mirror again (1 of the view's 5299200 rays; a
// smooth mesh's rays dipping under their facets made 10 of 5308800). A mesh
// on its convex hull, its facet seen from outside, meets no reflected ray again.
TEST(View, AConvexMeshMeetsNoReflectedRayAgain) {
  FacetedMirror ball;
  ball.Facets.Limit = 70000;
  for (Face f : RingSphereFaces({0, 0, 40}, 40, 256)) {
    for (Point3* p : {&f.C1, &f.C2, &f.C3, &f.C4})
      *p = {static_cast<float>(p->x), static_cast<float>(p->y), static_cast<float>(p->z)};
    AddFace(ball.Facets, f);
  }
  BuildFacetIndex(ball.Facets, ball.Index);
  ASSERT_EQ(ball.Facets.FacetCount, 65524);
  const Point3 hit{21.2707500504617453632_r, 9.82488837498808953441_r, 72.4183531967392948026_r};
  const Point3 landing{51.9958534124449420176_r, 248.587377277962890354_r, 0};
  const Point3 smoothHit{5.72460738004581120133_r, 14.4434011709632944276_r, 76.8565451466940544115_r};
  const Point3 smoothLanding{8.61911630928363087321_r, 200.78090354155327249_r, 0};
  // Asked without the eye, as a mesh of any shape: the neighbour counts.
  EXPECT_TRUE(MeetsAgain(MakeMeshView(ball), hit, landing));
  EXPECT_TRUE(MeetsAgain(MakeMeshView(ball), smoothHit, smoothLanding));
  const MeshView seen = MakeMeshView(ball, {0, -300, 200});
  EXPECT_TRUE(seen.Hull.Convex);
  EXPECT_FALSE(MeetsAgain(seen, hit, landing));
  EXPECT_FALSE(MeetsAgain(seen, smoothHit, smoothLanding));
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

// The close-up looks from the same eye along the same axes at the same size
// in pixels; the mirror, small in the view of a large print, spans most of
// it, and every corner of its facets lies inside it.
TEST(View, TheCloseUpFramesTheMirrorFromTheSameEye) {
  FacetedMirror ball;
  for (const Face& f : RingSphereFaces({0, 0, 40}, 40, 32)) AddFace(ball.Facets, f);
  BuildFacetIndex(ball.Facets, ball.Index);
  const Point3 eye{0, -320, 200};
  const MeshView view = MakeMeshView(ball, eye);
  const Face face{{-12, -6, 27}, {12, -6, 27}, {12, -14, 12}, {-12, -14, 12}};
  std::vector<Point3> frame = OutlinePoints(view);
  for (const Point3 p : {Point3{-600, -250, 0}, Point3{600, -250, 0}, Point3{-600, 700, 0}, Point3{600, 700, 0}})
    frame.push_back(p);
  const ViewCamera whole = FrameView(eye, face, frame, 600);
  const ViewCamera close = FrameMirrorCloseUp(view, whole);
  EXPECT_EQ(close.Width, whole.Width);
  EXPECT_EQ(close.Height, whole.Height);
  for (const auto& [a, b] : {std::pair{close.Eye, whole.Eye}, {close.Forward, whole.Forward},
                             {close.Right, whole.Right}, {close.Up, whole.Up}})
    EXPECT_TRUE(a.x == b.x && a.y == b.y && a.z == b.z);
  // The share of the image's width and height between the first and the last
  // column (row) whose middle pixel's sight ray meets the ball.
  const auto spans = [&](const ViewCamera& c, double& across, double& down) {
    int left = c.Width, right = -1, top = c.Height, bottom = -1;
    for (int y = 0; y < c.Height; ++y) {
      for (int x = 0; x < c.Width; ++x) {
        Point3 hit;
        if (MeetMirror(view, eye, ViewRay(c, x + 0.5_r, y + 0.5_r), hit) != SightHit::kMirror) continue;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    across = right < left ? 0 : (right - left + 1.0) / c.Width;
    down = bottom < top ? 0 : (bottom - top + 1.0) / c.Height;
  };
  double across = 0, down = 0;
  spans(whole, across, down);
  EXPECT_LT(std::max(across, down), 0.2);
  spans(close, across, down);
  // A tenth of the ball's extent more on each side, and the grid's cell of
  // 1/128 of the outline's frame: the ball spans 1 / 1.2 of the tighter side,
  // less a little.
  EXPECT_GT(std::max(across, down), 0.78);
  EXPECT_LT(std::max(across, down), 0.84);
  // Every facet's corner above the sheet lies inside the frame.
  for (const MirrorFacet& f : ball.Facets.Facets) {
    Real x = 0, y = 0;
    ASSERT_TRUE(ViewPoint(close, f.Corner1, x, y));
    EXPECT_TRUE(x > 0 && x < close.Width && y > 0 && y < close.Height) << x << ", " << y;
  }
}

}  // namespace anamorfosi
