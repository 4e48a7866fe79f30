// The print's PDF in the browser (and in node): the pages the engine laid out
// (PdfDocumentJson, layout/print_pages.h) drawn with jsPDF, as the command
// draws the same operations with cairo. Lengths are millimetres; the frame
// moves with "translate" and "scale" and comes back with "restore".
//
//   drawPdf({jsPDF, encodePng}, document, pictures, fonts) -> a jsPDF document
//
// jsPDF: the class (import { jsPDF } from "jspdf"); encodePng: fast-png's
// encode (the cells go to jsPDF as PNG, which it keeps compressed; raw pixels
// it would store uncompressed); document: the parsed JSON;
// pictures: {print: {width, height, rgb}, grid: {...}}, rgb row-major 8-bit RGB
// (a Uint8Array of width * height * 3); fonts: {normal, bold}, DejaVu Sans
// Book and Bold as base64 TTF (the module the build writes from the system's
// fonts, pdf_fonts.js).

const POINTS_PER_MM = 72 / 25.4;

// The image pixels of cells [c0, c1) x [r0, r1), each the mean of its step x
// step block rounded to the nearest level, as ReducedCells makes them: 8-bit
// RGB, row-major.
export function reducedCells(picture, c0, c1, r0, r1, step) {
  const w = Math.ceil((c1 - c0) / step), h = Math.ceil((r1 - r0) / step);
  const out = new Uint8Array(w * h * 3);
  for (let y = 0; y < h; ++y) {
    for (let x = 0; x < w; ++x) {
      const sum = [0, 0, 0];
      let n = 0;
      for (let yy = r0 + y * step; yy < Math.min(r1, r0 + (y + 1) * step); ++yy) {
        for (let xx = c0 + x * step; xx < Math.min(c1, c0 + (x + 1) * step); ++xx) {
          const i = (yy * picture.width + xx) * 3;
          sum[0] += picture.rgb[i];
          sum[1] += picture.rgb[i + 1];
          sum[2] += picture.rgb[i + 2];
          ++n;
        }
      }
      const o = (y * w + x) * 3;
      // (sum + n / 2) / n in whole numbers, as the engine rounds.
      for (let k = 0; k < 3; ++k) out[o + k] = Math.floor((sum[k] + Math.floor(n / 2)) / n);
    }
  }
  return { data: out, width: w, height: h };
}

// The ink box of text set in the current font at size mm, from its baseline
// start: [left, top, right, bottom] in mm (y down), from the glyphs' outlines'
// bounds in the font's own tables.
function inkBox(doc, text, sizeMm) {
  const font = doc.getFont().metadata;
  const scale = sizeMm / font.head.unitsPerEm;
  let pen = 0;
  let box = null;
  for (const ch of text) {
    const id = font.cmap.unicode.codeMap[ch.codePointAt(0)] || 0;
    const glyph = font.glyf.glyphFor(id);
    if (glyph && glyph.xMax > glyph.xMin) {
      const g = [pen + glyph.xMin * scale, -glyph.yMax * scale, pen + glyph.xMax * scale, -glyph.yMin * scale];
      box = box ? [Math.min(box[0], g[0]), Math.min(box[1], g[1]), Math.max(box[2], g[2]), Math.max(box[3], g[3])] : g;
    }
    pen += font.hmtx.forGlyph(id).advance * scale;
  }
  return box || [0, 0, 0, 0];
}

function orientationOf(page) {
  return page.width_mm > page.height_mm ? "landscape" : "portrait";
}

export function drawPdf({ jsPDF, encodePng }, document, pictures, fonts) {
  const first = document.pages[0];
  const doc = new jsPDF({
    unit: "mm",
    format: [first.width_mm, first.height_mm],
    orientation: orientationOf(first),
    compress: true,
    putOnlyUsedFonts: true,
  });
  doc.addFileToVFS("DejaVuSans.ttf", fonts.normal);
  doc.addFont("DejaVuSans.ttf", "DejaVuSans", "normal");
  doc.addFileToVFS("DejaVuSans-Bold.ttf", fonts.bold);
  doc.addFont("DejaVuSans-Bold.ttf", "DejaVuSans", "bold");
  doc.setProperties({ title: document.title, subject: document.subject, creator: document.creator });
  doc.setCreationDate(new Date(`${document.date}T00:00:00Z`));

  // The pages' labels ("assembly", "A1", ...) in the catalogue, as jsPDF's own
  // plugins add their entries there: it has no call for them.
  const pdfString = (text) => `(${text.replace(/[\\()]/g, (c) => `\\${c}`)})`;
  const labels = document.pages.map((page, k) => `${k} << /P ${pdfString(page.label)} >>`).join(" ");
  doc.internal.events.subscribe("putCatalog", () => doc.internal.write(`/PageLabels << /Nums [${labels}] >>`));
  let images = 0;
  document.pages.forEach((page, index) => {
    if (index > 0) doc.addPage([page.width_mm, page.height_mm], orientationOf(page));
    // The frame (page = scale * local + offset) and what Save keeps of the drawing state.
    let state = { scale: 1, x: 0, y: 0, rgb: [0, 0, 0], width: 0.2, dash: [] };
    const saved = [];
    const px = (x) => state.x + state.scale * x;
    const py = (y) => state.y + state.scale * y;
    const len = (l) => state.scale * l;
    // The colour is set again after a restore, so that what jsPDF believes
    // current is what the page's graphics state holds.
    const apply = () => {
      const [r, g, b] = state.rgb.map((c) => c * 255);
      doc.setDrawColor(r, g, b);
      doc.setFillColor(r, g, b);
      doc.setTextColor(r, g, b);
    };
    // The width and the dashes count in the frame of the stroke, as cairo's do.
    const pen = () => {
      doc.setLineWidth(len(state.width));
      doc.setLineDashPattern(state.dash.map(len), 0);
    };
    const setText = (sizeMm, bold) => {
      doc.setFont("DejaVuSans", bold ? "bold" : "normal");
      doc.setFontSize(len(sizeMm) * POINTS_PER_MM);
    };
    apply();
    for (const op of page.ops) {
      switch (op.op) {
        case "save":
          saved.push({ ...state });
          doc.saveGraphicsState();
          break;
        case "restore":
          doc.restoreGraphicsState();
          state = saved.pop();
          apply();
          break;
        case "translate":
          state.x = px(op.x);
          state.y = py(op.y);
          break;
        case "scale":
          state.scale *= op.factor;
          break;
        case "clip":
          doc.rect(px(op.x), py(op.y), len(op.width), len(op.height), null);
          doc.clip();
          doc.discardPath();
          break;
        case "colour":
          state.rgb = op.rgb;
          apply();
          break;
        case "line_width":
          state.width = op.mm;
          break;
        case "dash":
          state.dash = op.mm;
          break;
        case "line":
          pen();
          doc.line(px(op.x0), py(op.y0), px(op.x1), py(op.y1), "S");
          break;
        case "rectangle":
          pen();
          doc.rect(px(op.x), py(op.y), len(op.width), len(op.height), "S");
          break;
        case "circle":
          pen();
          doc.circle(px(op.x), py(op.y), len(op.radius), "S");
          break;
        case "polygon": {
          const [x0, y0] = op.points[0];
          const steps = op.points.slice(1).map(([x, y], k) => [len(x - op.points[k][0]), len(y - op.points[k][1])]);
          doc.lines(steps, px(x0), py(y0), [1, 1], "F", true);
          break;
        }
        case "text":
          setText(op.size_mm, op.bold);
          doc.text(op.text, px(op.x), py(op.y), { baseline: "alphabetic" });
          break;
        case "label": {
          // The white box round the text's ink, a quarter of the size wider each side.
          setText(op.size_mm, false);
          const size = len(op.size_mm), pad = size * 0.25;
          const [l, t, r, b] = inkBox(doc, op.text, size);
          doc.setFillColor(255, 255, 255);
          doc.rect(px(op.x) + l - pad, py(op.y) + t - pad, r - l + 2 * pad, b - t + 2 * pad, "F");
          apply();
          setText(op.size_mm, false);
          doc.text(op.text, px(op.x), py(op.y), { baseline: "alphabetic" });
          break;
        }
        case "image": {
          const [c0, r0, c1, r1] = op.cells;
          const image = reducedCells(pictures[op.source], c0, c1, r0, r1, op.step);
          // Each image pixel exactly pixel_mm square in the frame: nothing resampled here.
          const png = encodePng({ width: image.width, height: image.height, data: image.data, channels: 3, depth: 8 });
          doc.addImage(png, "PNG", px(op.x), py(op.y), len(op.pixel_mm * image.width),
                       len(op.pixel_mm * image.height), `cells${++images}`, "FAST");
          break;
        }
        default:
          throw new Error(`pdf_draw: unknown operation "${op.op}"`);
      }
    }
  });
  return doc;
}
