// The module's calls for the page's live preview, under node: the preview is
// the print of the same scene with fewer cells and tells the download's size
// and scene; the print's progress is told as it goes; the last print is seen
// from another eye without being made again.
//   node --no-experimental-fetch preview_engine_test.mjs ENGINE_JS EXAMPLES
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

import { enginePdf, enginePrint, engineReadPpm, engineViewFrom } from '../src/engine_client.mjs';
import { reducedSize } from '../src/preview.mjs';
import { movedEye } from '../src/eye_drag.mjs';

const [engineJs, examples] = process.argv.slice(2);
const engine = await createRequire(import.meta.url)(path.resolve(engineJs))();
const card = engineReadPpm(engine, fs.readFileSync(path.join(examples, 'cartello.ppm')));
assert.ok(card.rgba, card.error);
const scene = { mirror: { type: 'cilindro', axis: [0, 0], radius: 25 }, picture: 'cartello.ppm', units: 'mm', dpi: 300, accuracy: 4,
                antialias: 2, background: 'white', marks: true, program_window: false };
const sameBytes = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);

// The full print, as the download makes it (no view), its progress told.
const told = [];
engine.onPrintProgress = (row, rows) => told.push([row, rows]);
const full = enginePrint(engine, { scene, view: 0 }, card.rgba, card.width, card.height);
engine.onPrintProgress = null;
assert.equal(full.result.error, undefined, full.result.error);
{
  // Rows told in order, of one count, at most once a hundredth of them (and the first).
  assert.ok(told.length >= 2, 'progress told ' + told.length + ' times');
  const rows = told[0][1];
  assert.ok(told.every(([row, n]) => n === rows && row >= 0 && row <= rows), JSON.stringify(told.slice(0, 5)));
  for (let i = 1; i < told.length; ++i) assert.ok(told[i][0] > told[i - 1][0], 'rows told in order');
  assert.ok(told.length <= 101, told.length + ' progress calls');
  assert.ok(told[told.length - 1][0] >= rows * 0.9, 'the progress reaches the last rows');
}

// The preview: the same scene at 300 cells; its report, sizes and scene are the download's.
const preview = enginePrint(engine, { scene, preview: { pixels: 300, accuracy: 2, antialias: 1 }, view: 320,
                                      closeup: true }, card.rgba, card.width, card.height);
const r = preview.result;
assert.equal(r.error, undefined, r.error);
assert.equal(Math.max(r.width, r.height), 300);
assert.deepEqual(r.download, { width: full.result.width, height: full.result.height });
assert.equal(r.scene, full.result.scene);
assert.equal(r.width_mm, full.result.width_mm);
assert.equal(r.cell_mm, full.result.cell_mm);
const printLine = (result) => result.report.find((l) => l.startsWith('print: '));
assert.equal(printLine(r), printLine(full.result));
assert.match(r.fidelity, /^fidelity: /);
// Its cells are the print of that scene with those settings: a true print, not a resampled one.
const plain = enginePrint(engine, { scene: { ...scene, pixels: 300, accuracy: 2, antialias: 1 }, view: 0 },
                          card.rgba, card.width, card.height);
assert.ok(sameBytes(preview.cells, plain.cells), 'the preview is the print of the same scene with fewer cells');
// The preview's own notes (a large picture read smaller for its few cells)
// are not told as the download's.
{
  const k = 4, width = card.width * k, height = card.height * k, big = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const from = (Math.floor(y / k) * card.width + Math.floor(x / k)) * 4;
      big.set(card.rgba.subarray(from, from + 4), (y * width + x) * 4);
    }
  const few = { pixels: 150, accuracy: 2, antialias: 1 };
  const own = enginePrint(engine, { scene: { ...scene, ...few }, view: 0 }, big, width, height).result;
  assert.ok(own.warnings.some((l) => l.startsWith('note: ')), 'the few cells give a note of their own');
  const told = enginePrint(engine, { scene, preview: few, view: 0 }, big, width, height).result;
  assert.equal(told.error, undefined, told.error);
  assert.ok(!told.warnings.some((l) => l.startsWith('note: ')), told.warnings.join('; '));
}
// The close-up of the mirror: as large as the view, and not the view itself.
assert.equal(r.closeup_width, 320);
assert.equal(preview.closeup.length, r.closeup_width * r.closeup_height * 3);
assert.ok(!sameBytes(preview.closeup, preview.view), 'the close-up differs from the whole view');
assert.ok(new Set(preview.closeup.filter((_, i) => i % 3 === 0)).size > 20, 'the close-up is drawn');
assert.deepEqual(r.eye.length, 3);
assert.deepEqual(r.mirror_middle, [0, 0]);

// A reduced copy mapped onto the face of the whole picture: the scene is the whole picture's.
const small = reducedSize(card.width, card.height, Math.round(Math.max(card.width, card.height) / 3));
const rgba = new Uint8Array(small.width * small.height * 4);
for (let y = 0; y < small.height; ++y)
  for (let x = 0; x < small.width; ++x) {
    const from = (Math.floor(y * card.height / small.height) * card.width + Math.floor(x * card.width / small.width)) * 4;
    rgba.set(card.rgba.subarray(from, from + 4), (y * small.width + x) * 4);
  }
const bare = { ...scene };
const reducedPreview = enginePrint(engine, { scene: bare, preview: { pixels: 300 }, view: 0,
                                             aspect: [card.width, card.height] }, rgba, small.width, small.height);
assert.equal(reducedPreview.result.error, undefined, reducedPreview.result.error);
assert.equal(reducedPreview.result.scene, full.result.scene);
assert.match(enginePrint(engine, { scene, preview: { pixels: 4 }, view: 0 }, card.rgba, card.width, card.height)
  .result.error, /preview/);

// The automatic face found once is taken again for the same mirror and eye:
// the same face after a change of the dpi, another for another radius, the
// first again when the radius comes back.
{
  const faceOf = (made) => JSON.stringify(JSON.parse(made.result.scene).face);
  const at = (mirror, dpi) => enginePrint(engine, { scene: { ...scene, mirror: { ...scene.mirror, ...mirror }, dpi },
                                                   preview: { pixels: 200 }, view: 0 }, card.rgba, card.width, card.height);
  const first = faceOf(at({}, 300));
  assert.equal(faceOf(at({}, 150)), first);
  const wider = faceOf(at({ radius: 30 }, 300));
  assert.notEqual(wider, first);
  assert.equal(faceOf(at({}, 300)), first);
  assert.notEqual(faceOf(at({ axis: [5, 0] }, 300)), first);
  // Placed by the search itself, the face after others is the one the full print found first.
  assert.equal(faceOf(full), first);
}

// The last print seen from eyes: its own eye gives its view again, a moved
// one another view; the print itself (and its PDF) stays.
const seen = enginePrint(engine, { scene, preview: { pixels: 300, accuracy: 2, antialias: 1 }, view: 320,
                                   closeup: true }, card.rgba, card.width, card.height);
const again = engineViewFrom(engine, { eye: seen.result.eye, view: 320, closeup: true });
assert.equal(again.result.error, undefined, again.result.error);
assert.ok(sameBytes(again.view, seen.view), 'the print\'s own eye sees the print\'s view');
assert.ok(sameBytes(again.closeup, seen.closeup), 'and its close-up');
const eye = movedEye(seen.result.eye, seen.result.mirror_middle, { turn: 0.4, rise: 1.2, reach: 1 });
const moved = engineViewFrom(engine, { eye, view: 320, closeup: false });
assert.equal(moved.result.error, undefined, moved.result.error);
assert.equal(moved.result.closeup_width, 0);
assert.deepEqual(moved.result.eye.map((v) => v.toFixed(9)), eye.map((v) => v.toFixed(9)));
assert.ok(!sameBytes(moved.view, seen.view), 'a moved eye sees another view');
assert.ok(sameBytes(engine.HEAPU8.slice(engine._anamorfosi_cells(), engine._anamorfosi_cells() + seen.cells.length),
                    seen.cells), 'the print is kept');
assert.ok(enginePdf(engine, { paper: 'A4', date: '2026-12-10' }).pages, 'the kept print still lays out its PDF');
assert.equal(engineViewFrom(engine, { eye: [eye[0], eye[1], -5], view: 320 }).result.field, 'eye');
assert.equal(engineViewFrom(engine, { eye: [1, 2], view: 320 }).result.field, 'eye');
assert.equal(engineViewFrom(engine, { view: 0 }).result.field, 'view');
// The close-up at a width of its own, as the page shows it beside the view.
const narrow = engineViewFrom(engine, { eye, view: 320, closeup: 160 });
assert.equal(narrow.result.closeup_width, 160);
assert.equal(narrow.result.view_width, 320);
assert.equal(engineViewFrom(engine, { eye, view: 320, closeup: 'wide' }).result.field, 'closeup');

// The eye moved round the middle keeps its distance on the plan and its height.
{
  const e = movedEye([10, 0, 50], [4, 0], { turn: Math.PI / 2, rise: 1, reach: 1 });
  assert.ok(Math.abs(e[0] - 4) < 1e-9 && Math.abs(e[1] - 6) < 1e-9 && e[2] === 50, String(e));
  const f = movedEye([10, 0, 50], [4, 0], { turn: 0, rise: 2, reach: 0.5 });
  assert.ok(Math.abs(f[0] - 7) < 1e-9 && f[2] === 50, String(f));
}
// A refused print leaves nothing to look at.
enginePrint(engine, { scene: { ...scene, dpi: 0 }, view: 0 }, card.rgba, card.width, card.height);
assert.match(engineViewFrom(engine, { view: 100 }).result.error, /no print/);

// The preview's reduced size keeps the shape within a pixel.
assert.deepEqual(reducedSize(3000, 4000, 250), { width: 188, height: 250 });
assert.deepEqual(reducedSize(200, 100, 250), { width: 200, height: 100 });
assert.deepEqual(reducedSize(10000, 1, 250), { width: 250, height: 1 });
console.log('preview engine: every check passed');
