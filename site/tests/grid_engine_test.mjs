// The module's grid to draw by hand, under node: its layout as the page gets
// it, the page's label size rule on measures of known shape, and a print of
// a grid whose scene, report and PDF say it is one.
//   node --no-experimental-fetch grid_engine_test.mjs ENGINE_JS
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import path from 'node:path';

import { engineGrid, enginePdf, enginePrint } from '../src/engine_client.mjs';
import { gridLabelSize } from '../src/grid_draw.mjs';

const [engineJs] = process.argv.slice(2);
const engine = await createRequire(import.meta.url)(path.resolve(engineJs))();

// The layout of 8 x 6 cells at the command's 48 pixels a cell.
const { layout, error } = engineGrid(engine, '8x6');
assert.equal(error, undefined, error);
assert.equal(layout.width, 8 * 48);
assert.equal(layout.height, 6 * 48);
assert.equal(layout.labels.length, 48);
assert.deepEqual(layout.labels.map((l) => l[0]).slice(0, 9), ['A1', 'B1', 'C1', 'D1', 'E1', 'F1', 'G1', 'H1', 'A2']);
assert.equal(layout.labels[47][0], 'H6');
// 9 lines down the columns and 7 across the rows, each a whole-pixel rectangle inside the grid.
assert.equal(layout.lines.length, 16);
for (const [x, y, w, h] of layout.lines) {
  assert.ok([x, y, w, h].every(Number.isInteger) && x >= 0 && y >= 0 && w > 0 && h > 0);
  assert.ok(x + w <= layout.width && y + h <= layout.height);
}
// The narrowest paper: 44 pixels across (a thin line to the border), 43 down (a heavy line to it), less 4 each side.
assert.deepEqual([layout.room_width, layout.room_height], [36, 35]);
// Each label centred between its lines, inside its own cell.
layout.labels.forEach(([, x, y], i) => {
  assert.ok(Math.abs(x - (i % 8 + 0.5) * 48) <= 2 && Math.abs(y - (Math.floor(i / 8) + 0.5) * 48) <= 2, String(i));
});
for (const refused of ['0x6', '8x201', '8 x 6', 'abc', ''])
  assert.match(engineGrid(engine, refused).error, /^grid: /, refused);
assert.equal(engineGrid(engine, '200x200').layout.labels.length, 40000);

// The page's size rule, as the command's: ink in proportion to the size fills
// the tighter of the two rooms; a part that does not scale is shrunk until it
// fits; ink that never fits stops at the last size measured.
{
  const proportional = (fixed) => (s) => ({ width: 0.6 * s + fixed, halfHeight: 0.45 * s + fixed, capHeight: 0.7 * s });
  // Here the height is the tighter: the room's size, or one shrink below it when rounding tips it over.
  const ideal = layout.room_height / 2 / 0.45;
  let chosen = gridLabelSize(layout, proportional(0));
  assert.ok(chosen.size <= ideal + 1e-9 && chosen.size >= ideal * layout.shrink - 1e-9, String(chosen.size));
  chosen = gridLabelSize(layout, proportional(2));
  assert.ok(chosen.needs.halfHeight <= layout.room_height / 2 && chosen.needs.width <= layout.room_width);
  assert.ok(proportional(2)(chosen.size / layout.shrink).halfHeight > layout.room_height / 2, 'no larger size fits');
  const sizes = [];
  chosen = gridLabelSize(layout, (s) => { sizes.push(s); return proportional(1000)(s); });
  assert.equal(sizes.length, 1 + layout.tries);
  assert.equal(chosen.size, sizes[sizes.length - 1]);
  assert.throws(() => gridLabelSize(layout, () => ({ width: 0, halfHeight: 0, capHeight: 0 })), /no font/);
}

// The grid's lines drawn from the layout alone (the page adds the labels):
// printed on the cylinder, its scene says the grid and no picture, its report
// says the grid, and its PDF has the plain grid on a page of its own first.
const rgba = new Uint8Array(layout.width * layout.height * 4).fill(255);
for (const heavy of [0, 1])
  for (const [x0, y0, w, h, isHeavy] of layout.lines) {
    if (isHeavy !== heavy) continue;
    const c = heavy ? layout.heavy : layout.thin;
    for (let y = y0; y < y0 + h; ++y)
      for (let x = x0; x < x0 + w; ++x) rgba.set([...c, 255], (y * layout.width + x) * 4);
  }
const scene = { mirror: { type: 'cilindro', axis: [0, 0], radius: 25 }, grid: '8x6', units: 'mm', dpi: 40, accuracy: 2,
                antialias: 1, background: 'white', marks: true, program_window: false };
const made = enginePrint(engine, { scene, view: 64 }, rgba, layout.width, layout.height);
assert.equal(made.result.error, undefined, made.result.error);
const recorded = JSON.parse(made.result.scene);
assert.equal(recorded.grid, '8x6');
assert.equal(recorded.picture, undefined);
assert.ok(made.result.report.includes('grid: 8x6 cells to draw by hand'), made.result.report.join('; '));
// The automatic face has the grid's shape, 8 by 6.
{
  const f = recorded.face, side = (a, b) => Math.hypot(...a.map((v, k) => v - b[k]));
  assert.ok(Math.abs(side(f[0], f[1]) / side(f[1], f[2]) - 8 / 6) < 1e-6, JSON.stringify(f));
}
const pdf = enginePdf(engine, { paper: 'A4', date: '2026-12-10' });
assert.equal(pdf.error, undefined, pdf.error);
assert.equal(pdf.pages.pages[0].label, 'grid');
assert.ok(pdf.pages.pages[0].ops.some((o) => o.op === 'image' && o.source === 'grid'), 'the plain grid is drawn');
assert.ok(pdf.pages.pages.slice(1).every((p) => !p.ops.some((o) => o.source === 'grid')));
// The full print maps the grid at the command's size only; a preview maps a reduced copy.
const half = rgba.subarray(0, (layout.width / 2) * (layout.height / 2) * 4);
assert.equal(enginePrint(engine, { scene, view: 0 }, half, layout.width / 2, layout.height / 2).result.field, 'grid');
const quick = enginePrint(engine, { scene, view: 0, preview: { pixels: 100 } }, half, layout.width / 2,
                          layout.height / 2).result;
assert.equal(quick.error, undefined, quick.error);
assert.equal(JSON.parse(quick.scene).face.toString(), recorded.face.toString());
assert.equal(enginePrint(engine, { scene: { ...scene, grid: '8x0' }, view: 0 }, rgba, layout.width, layout.height)
  .result.field, 'grid');
console.log('grid engine: every check passed');
