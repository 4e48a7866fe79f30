// The grid to draw by hand, drawn on a canvas from the layout the engine made
// (GridLayoutJson, as the command's cairo drawing uses it): only the labels'
// text is measured and drawn here, in DejaVu Sans Bold from the PDF's own
// font bytes, at the size the layout's rule chooses from the canvas's measures.

// The family the labels are set in, a name of this page's own so that no
// installed font of the machine stands in for it.
export const kGridFamily = 'anamorfosi grid labels';

// The label size by the layout's rule (GridLabelSize in layout/grid_layout.h):
// scaled from the trial size to the room, then made smaller by its shrink
// until every label fits, its tries at most. measure(size) gives {width,
// halfHeight, capHeight}; the answer is {size, needs} at the size chosen.
export function gridLabelSize(layout, measure) {
  let needs = measure(layout.trial_size);
  if (!(needs.width > 0) || !(needs.capHeight > 0) || !(needs.halfHeight > 0))
    throw new Error('grid: no font draws the labels');
  let size = layout.trial_size * Math.min(layout.room_width / needs.width, layout.room_height / 2 / needs.halfHeight);
  let measured = size;
  for (let attempt = 0; attempt < layout.tries; ++attempt) {
    measured = size;
    needs = measure(size);
    if (needs.width <= layout.room_width && needs.halfHeight <= layout.room_height / 2) break;
    size *= layout.shrink;
  }
  return { size: measured, needs };
}

// What the labels need at the canvas's current font, each on its baseline half
// a capital height below its cell's centre: the ink as measureText bounds it.
export function labelNeeds(g, labels) {
  const capHeight = g.measureText('H').actualBoundingBoxAscent;
  let width = 0, halfHeight = 0;
  for (const [text] of labels) {
    const m = g.measureText(text);
    const top = capHeight / 2 - m.actualBoundingBoxAscent, bottom = capHeight / 2 + m.actualBoundingBoxDescent;
    width = Math.max(width, m.actualBoundingBoxLeft + m.actualBoundingBoxRight);
    halfHeight = Math.max(halfHeight, -top, bottom);
  }
  return { width, halfHeight, capHeight };
}

// DejaVu Sans Bold from its bytes (base64, as pdf_fonts.js holds them), added
// to fonts (the page's document.fonts) once.
let loaded = null;
export function loadGridFont(boldBase64, fonts = document.fonts) {
  if (!loaded) {
    const bytes = Uint8Array.from(atob(boldBase64), (c) => c.charCodeAt(0));
    loaded = new FontFace(kGridFamily, bytes.buffer).load().then((face) => {
      fonts.add(face);
      return face;
    }, (e) => {
      loaded = null;
      throw e;
    });
  }
  return loaded;
}

const css = (c) => 'rgb(' + c[0] + ',' + c[1] + ',' + c[2] + ')';

// The grid drawn on an OffscreenCanvas: {width, height, rgba}, opaque.
export function drawGrid(layout, family = kGridFamily) {
  const canvas = new OffscreenCanvas(layout.width, layout.height);
  const g = canvas.getContext('2d', { willReadFrequently: true });
  g.fillStyle = css(layout.paper);
  g.fillRect(0, 0, layout.width, layout.height);
  // Whole-pixel rectangles, thin ones first and heavy ones over them.
  for (const heavy of [0, 1]) {
    g.fillStyle = css(heavy ? layout.heavy : layout.thin);
    for (const [x, y, w, h, isHeavy] of layout.lines) if (isHeavy === heavy) g.fillRect(x, y, w, h);
  }
  const font = (size) => { g.font = 'normal ' + size + 'px "' + family + '"'; };
  const { size, needs } = gridLabelSize(layout, (trial) => {
    font(trial);
    return labelNeeds(g, layout.labels);
  });
  font(size);
  g.textAlign = 'left';
  g.textBaseline = 'alphabetic';
  g.fillStyle = css(layout.ink);
  for (const [text, x, y] of layout.labels) {
    const m = g.measureText(text);
    const left = m.actualBoundingBoxLeft, width = left + m.actualBoundingBoxRight;
    g.fillText(text, x + left - width / 2, y + needs.capHeight / 2);
  }
  const rgba = new Uint8Array(g.getImageData(0, 0, layout.width, layout.height).data.buffer);
  return { width: layout.width, height: layout.height, rgba, size };
}

// The RGB of an RGBA picture, for the PDF's plain grid page.
export function rgbOf(rgba) {
  const rgb = new Uint8Array(rgba.length / 4 * 3);
  for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
    rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2];
  }
  return rgb;
}
