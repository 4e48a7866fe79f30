// The view from the eye of a scene: the perspective view of the mirror and the
// print, the picture as the mirror restores it from the print, and its
// fidelity score.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pipeline/print.h"
#include "pipeline/restore.h"
#include "pipeline/scene.h"
#include "pipeline/view.h"

namespace anamorfosi {

struct VistaResult {
  Picture Restored;
  Fidelity Score;
};

// A print file on the sheet: its cells, and where they lie when the file says
// (a PNG of this command carries its scene and window; ReadSheetFile in
// pipeline_files.h).
struct SheetFile {
  Picture Cells;
  std::optional<OutputWindow> Window;
};

// The sheet the eye looks at: the scene's own print (made), or a print file
// laid where the file says, or else over the scene's window (then it must have
// the window's size). Throws PrintError.
PrintedSheet SheetOf(const Print& made, const SheetFile* file);

// Restores the scene's picture from the sheet, sub x sub sight rays a pixel;
// an anti-aliased print is scored against the picture blurred by its cells'
// box. With stride 1 every pixel is restored and scored; above 1 one pixel
// of each stride x stride block (RestoreSettings::Stride); 0 chooses for the
// print: a picture with more pixels than a quarter of the print's cells is
// scored on one pixel of each RestoreStep x RestoreStep block, at most one
// pixel for every 2 x 2 cells and at most kRestorePixels. made must be the
// scene's own print: the mirror it keeps (Print::Mirror) is used as it is.
// Throws PrintError.
VistaResult RestoreScene(const Scene& scene, const MirrorFileReader& mirrors, const Print& made,
                         const PrintedSheet& sheet, int sub, int threads, int stride = 0);
// The most pixels the automatic step scores: the share within 8 levels is
// then known to about a hundredth of a point (sqrt(0.99 * 0.01 / 2^20) =
// 0.01 %), and a photo read at the print's resolution costs no more to score
// than a small copy of it.
inline constexpr long long kRestorePixels = 1 << 20;
// That step for a picture of width x height pixels and a print of cells cells:
// the smallest power of two that scores at most a quarter of the cells, then
// widened one by one to score at most kRestorePixels.
int RestoreStep(long long width, long long height, long long cells);

// The quick check of a print just made scores about this many pixels of the
// picture, spread evenly over it: a share near 99 % is then known to about a
// tenth of a point (sqrt(0.99 * 0.01 / 16384) = 0.08 %), at a few per cent of
// the mapping's work.
inline constexpr long long kQuickCheckPixels = 16384;
// The stride that scores about kQuickCheckPixels of a width x height picture.
int QuickCheckStride(int width, int height);

// Sight rays a side of one pixel of the view.
inline constexpr int kViewSupersample = 2;

// How a view is framed: Width pixels wide, holding the mirror, the print and
// the picture face; or, for the close-up (MirrorCloseUp), the same size in
// pixels from the same eye, framed on the mirror alone (FrameMirrorCloseUp).
// A width alone converts to the whole scene's frame.
struct ViewFrame {
  ViewFrame(int width, bool mirrorCloseUp = false) : Width(width), MirrorCloseUp(mirrorCloseUp) {}
  int Width;
  bool MirrorCloseUp;
};

struct SceneView {
  Picture Image;
  ViewStats Stats;
  ViewCamera Camera;
};
// The view from the scene's eye, width pixels wide: its mirror built and
// drawn by its kind's entry (MirrorKindEntry::DrawView).
SceneView ViewScene(const Scene& scene, const MirrorFileReader& mirrors, const PrintedSheet& sheet, ViewFrame frame,
                    int threads);

// The camera at the scene's eye, width pixels wide, framed to hold outline
// (the mirror's OutlinePoints), the sheet's window and the picture face.
ViewCamera FrameScene(const Scene& scene, const PrintedSheet& sheet, std::vector<Point3> outline, int width);
// The view of a kind's view type of the scene's mirror: what each kind's
// DrawView answers, so that RenderView is compiled in the kind's own file.
template <MirrorView V>
SceneView DrawSceneView(const V& view, const Scene& scene, const PrintedSheet& sheet, ViewFrame frame, int threads) {
  SceneView result;
  const std::vector<Point3> outline = OutlinePoints(view);
  result.Camera = FrameScene(scene, sheet, outline, frame.Width);
  if (frame.MirrorCloseUp) result.Camera = FrameMirrorCloseUp(view, result.Camera);
  result.Image = RenderView(view, result.Camera, sheet, kViewSupersample, threads, result.Stats);
  return result;
}

}  // namespace anamorfosi
