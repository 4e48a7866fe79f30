// The print as the command writes its PNG: RGB cells, the texts Software,
// Comment and Scene (the scene with its window), and pHYs giving the print's
// resolution in cells per metre, rounded, so that it prints at its true size.
import { encode } from 'fast-png';
import extractChunks from 'png-chunks-extract';
import encodeChunks from 'png-chunks-encode';

export function cellsPerMetre(cellMm) {
  const v = Math.round(1000 / cellMm);
  return v >= 1 && v <= 0x7fffffff ? v : 0;
}

export function printPng(result, cells) {
  const png = encode({
    width: result.width, height: result.height, data: cells, channels: 3, depth: 8,
    text: { Software: 'anamorfosi', Comment: 'Print at 100 % (actual size), without fitting to the page.',
            Scene: result.scene },
  });
  const perMetre = cellsPerMetre(result.cell_mm);
  if (!perMetre) return png;
  // fast-png writes no pHYs: the chunk goes in after IHDR, as libpng places it.
  const chunks = extractChunks(png);
  const data = new Uint8Array(9);
  const view = new DataView(data.buffer);
  view.setUint32(0, perMetre);
  view.setUint32(4, perMetre);
  data[8] = 1;  // the unit is the metre
  chunks.splice(1, 0, { name: 'pHYs', data });
  return Uint8Array.from(encodeChunks(chunks));
}
