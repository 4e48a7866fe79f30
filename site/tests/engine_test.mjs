// The engine module under node against the native command: the cylinder print
// of the test card, its cells and its scene, with the eye and the face given
// (the command's own scene file) and placed by the module; the kinds as the
// served page lists them; refused values naming their field.
//   node --no-experimental-fetch engine_test.mjs ENGINE_JS ANAMORFOSI EXAMPLES WORK NODE_MODULES exact|long-double
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import { engineKinds, enginePdf, enginePrint, engineReadPpm } from '../src/engine_client.mjs';
import { plainError } from '../src/words.mjs';

const [engineJs, anamorfosi, examples, work, nodeModules, mode] = process.argv.slice(2);
const { decode } = await import(pathToFileURL(path.join(nodeModules, 'fast-png/lib/index.js')));
const engine = await createRequire(import.meta.url)(path.resolve(engineJs))();
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
// The test card read by the module's PPM reader, the programs' own: the
// print below, equal to the command's, is made from it.
const card = engineReadPpm(engine, fs.readFileSync(path.join(examples, 'cartello.ppm')));
assert.ok(card.rgba, card.error);
// A picture cut short is refused in the reader's words, and a good one read after it.
const cardBytes = fs.readFileSync(path.join(examples, 'cartello.ppm'));
assert.match(engineReadPpm(engine, cardBytes.subarray(0, cardBytes.length >> 1)).error, /pixels end early/);
assert.match(engineReadPpm(engine, new TextEncoder().encode('P3\n2 x\n255\n')).error, /valid height/);
assert.deepEqual(engineReadPpm(engine, cardBytes).rgba, card.rgba);

// The native command's print and scene file for the same values.
const nativePng = path.join(work, 'native.png'), nativeScene = path.join(work, 'native.json');
execFileSync(anamorfosi, ['cilindro', path.join(examples, 'cartello.ppm'), '--radius', '25', '--save-scene', nativeScene,
                          '-o', nativePng, '--quiet', '--threads', '1']);
const native = decode(fs.readFileSync(nativePng));
const scene = JSON.parse(fs.readFileSync(nativeScene, 'utf8'));
delete scene.window;

// Cells that differ between two prints of the same size, and by how much at most.
function differences(a, b) {
  assert.equal(a.length, b.length, 'the two prints have different sizes');
  let cells = 0, most = 0;
  for (let i = 0; i < a.length; i += 3) {
    const d = Math.max(Math.abs(a[i] - b[i]), Math.abs(a[i + 1] - b[i + 1]), Math.abs(a[i + 2] - b[i + 2]));
    if (d > 0) cells++;
    most = Math.max(most, d);
  }
  return { cells, most, share: cells / (a.length / 3) };
}

function checkCells(label, made) {
  assert.equal(made.result.error, undefined, label + ': ' + made.result.error);
  assert.equal(made.result.width, native.width, label + ': width');
  assert.equal(made.result.height, native.height, label + ': height');
  const d = differences(made.cells, native.data);
  console.log(label + ': ' + made.result.width + ' x ' + made.result.height + ' cells, ' + d.cells +
              ' differ from the native print (at most ' + d.most + ' levels); print ' +
              made.result.print_seconds.toFixed(3) + ' s, view ' + made.result.view_seconds.toFixed(3) + ' s');
  if (mode === 'exact') {
    // The native build computes in double too: the same arithmetic, the same cells.
    assert.equal(d.cells, 0, label + ': the cells must equal the native print byte for byte');
  } else {
    // Against long double the mapping differs only where a sample lands within
    // rounding of a cell's edge: a cell or so in a thousand, never a whole area.
    assert.ok(d.share <= 0.002, label + ': ' + d.cells + ' cells differ from the long double print');
  }
}

// The command's scene, eye and face given.
const given = enginePrint(engine, { scene, view: 600 }, card.rgba, card.width, card.height);
checkCells('scene file', given);
assert.match(given.result.fidelity, /^fidelity: [\d.]+% within 8 levels, PSNR/);
assert.equal(given.result.fidelity_warning, '');
assert.equal(given.result.view_width, 600);
assert.ok(given.view.some((v) => v !== given.view[0]), 'the view is not one plain colour');
// The scene the PNG carries, with its window: the command's own when both compute in double.
const carried = JSON.parse(given.result.scene);
assert.deepEqual(carried.mirror, scene.mirror);
assert.equal(carried.window.width, native.width);
if (mode === 'exact') assert.deepEqual(carried.window, JSON.parse(fs.readFileSync(nativeScene, 'utf8')).window);
// The PDF's pages laid out from this print as the command lays out its own:
// the same number of pages of A4 as the command's PDF of the same print.
const nativePdf = path.join(work, 'native.pdf');
execFileSync(anamorfosi, ['cilindro', path.join(examples, 'cartello.ppm'), '--radius', '25', '--paper', 'A4',
                          '-o', nativePdf, '--quiet', '--threads', '1']);
const nativePages = Number(/Pages:\s+(\d+)/.exec(execFileSync('pdfinfo', [nativePdf], { encoding: 'utf8' }))[1]);
const laid = enginePdf(engine, { paper: 'A4', date: '2026-12-10' });
assert.ok(laid.pages, laid.error);
assert.equal(laid.pages.pages.length, nativePages);
for (const page of laid.pages.pages) assert.deepEqual([page.width_mm, page.height_mm].sort(), [210, 297]);
assert.equal(laid.pages.date, '2026-12-10');
assert.match(enginePdf(engine, { paper: 'B7' }).error, /paper/);
// pHYs as the command writes it.
assert.equal(native.resolution.unit, 1);
assert.equal(Math.round(1000 / given.result.cell_mm), native.resolution.x);

// The eye and the face placed by the module, as the command places them.
const bare = structuredClone(scene);
delete bare.eye;
delete bare.face;
const placed = enginePrint(engine, { scene: bare, view: 0 }, card.rgba, card.width, card.height);
checkCells('eye and face placed', placed);
const placedScene = JSON.parse(placed.result.scene);
// The eye and face are computed in double here; the command's, in long
// double, are stored as doubles: equal to within a few units in the last place.
for (const [a, b] of [[placedScene.eye, scene.eye], ...placedScene.face.map((c, i) => [c, scene.face[i]])])
  a.forEach((v, i) => assert.ok(Math.abs(v - b[i]) <= 1e-12 * Math.max(1, Math.abs(b[i])), 'placed ' + a + ' vs ' + b[i]));
assert.ok(placed.result.report.some((l) => l.startsWith('eye: (')), 'the placed eye is reported');

// A picture partly transparent is blended onto white: its transparent half is left out of the print.
const half = Uint8Array.from(card.rgba);
for (let i = 0; i < half.length; i += 4) if ((i / 4) % card.width < card.width / 2) half[i + 3] = 0;
const halfMade = enginePrint(engine, { scene, view: 0 }, half, card.width, card.height);
assert.equal(halfMade.result.error, undefined);
assert.ok(differences(halfMade.cells, given.cells).cells > 0, 'a transparent half changes the print');

// A plane mirror read from its DXF in the module's memory by the engine's own
// reader, eye and face placed, against the command with the same file.
engine.FS.writeFile('/specchio.dxf', fs.readFileSync(path.join(examples, 'specchio/specchio.dxf')));
const planePng = path.join(work, 'plane.png');
execFileSync(anamorfosi, ['specchio', path.join(examples, 'cartello.ppm'), '--mirror',
                          path.join(examples, 'specchio/specchio.dxf'), '-o', planePng, '--quiet', '--threads', '1']);
const plane = enginePrint(engine, { scene: { ...bare, mirror: { type: 'specchio', file: '/specchio.dxf' } }, view: 0 },
                          card.rgba, card.width, card.height);
const planeNative = decode(fs.readFileSync(planePng));
assert.equal(plane.result.error, undefined, plane.result.error);
assert.deepEqual([plane.result.width, plane.result.height], [planeNative.width, planeNative.height]);
const planeDiff = differences(plane.cells, planeNative.data);
console.log('plane mirror: ' + plane.result.width + ' x ' + plane.result.height + ' cells, ' + planeDiff.cells +
            ' differ from the native print');
// The same tolerance as the cylinder's (checkCells).
assert.ok(mode === 'exact' ? planeDiff.cells === 0 : planeDiff.share <= 0.002, 'plane mirror: ' + planeDiff.cells);
assert.match(JSON.parse(plane.result.scene).mirror.file, /specchio\.dxf$/);

// "Fit on one sheet": the face the command's --fit chooses for the paper, the
// same cells, one sheet of it in the engine's count; a can too large for any
// face to fit is refused under "fit".
for (const [radius, paper] of [['35', 'A4'], ['25', 'Letter']]) {
  const fitPng = path.join(work, 'fit.png');
  execFileSync(anamorfosi, ['cilindro', path.join(examples, 'cartello.ppm'), '--radius', radius, '--fit', paper,
                            '-o', fitPng, '--quiet', '--threads', '1']);
  const fitNative = decode(fs.readFileSync(fitPng));
  const fitScene = { ...bare, mirror: { ...bare.mirror, radius: Number(radius) } };
  const fitted = enginePrint(engine, { scene: fitScene, view: 0, fit: paper }, card.rgba, card.width, card.height);
  assert.equal(fitted.result.error, undefined, fitted.result.error);
  assert.deepEqual([fitted.result.width, fitted.result.height], [fitNative.width, fitNative.height], 'fit ' + paper);
  const fitDiff = differences(fitted.cells, fitNative.data);
  // The same tolerance as the cylinder's (checkCells).
  assert.ok(mode === 'exact' ? fitDiff.cells === 0 : fitDiff.share <= 0.002, 'fit ' + paper + ': ' + fitDiff.cells);
  assert.equal(fitted.result.sheets[paper].tiles, 1, 'fit ' + paper);
  assert.ok(fitted.result.report.some((l) => l.includes('fits one ' + paper + ' sheet')), 'fit reported');
}
// Without fit the sheets each paper needs are the tiles of the command's PDF on it.
const wide = { ...bare, mirror: { ...bare.mirror, radius: 60 } };
const unfitted = enginePrint(engine, { scene: wide, view: 0 }, card.rgba, card.width, card.height);
for (const paper of ['A4', 'A3']) {
  const widePdf = path.join(work, 'wide-' + paper + '.pdf');
  execFileSync(anamorfosi, ['cilindro', path.join(examples, 'cartello.ppm'), '--radius', '60', '--paper', paper,
                            '-o', widePdf, '--quiet', '--threads', '1']);
  const widePages = Number(/Pages:\s+(\d+)/.exec(execFileSync('pdfinfo', [widePdf], { encoding: 'utf8' }))[1]);
  assert.equal(unfitted.result.sheets[paper].pages, widePages, paper + ' pages');
  // The placing words the engine gives are those the command's PDF carries.
  const text = execFileSync('pdftotext', [widePdf, '-'], { encoding: 'utf8' });
  for (const line of unfitted.result.placement.lines) assert.ok(text.includes(line), paper + ': ' + line);
}
assert.ok(unfitted.result.sheets.A4.tiles > 1);
assert.deepEqual(unfitted.result.placement.lines,
                 ['Stand the mirror on the circle;', 'look from 72 cm in front, 60 cm up, along the arrow.']);
const huge = enginePrint(engine, { scene: { ...bare, mirror: { ...bare.mirror, radius: 3000 } }, view: 0, fit: 'A4' },
                         card.rgba, card.width, card.height).result;
assert.equal(huge.field, 'fit', JSON.stringify(huge));
assert.match(huge.error, /even the smallest face/);

// Refused values, each naming its field, and told on the page in plain words
// without the engine's option names.
const refused = (label, change, field, words) => {
  const s = structuredClone(scene);
  change(s);
  const r = enginePrint(engine, { scene: s, view: 0 }, card.rgba, card.width, card.height).result;
  assert.equal(r.field, field, label + ': ' + JSON.stringify(r));
  assert.match(r.error, words, label);
  return r;
};
const plain = (r, text) => {
  const p = plainError(r.field, r.error, { kind: JSON.parse(JSON.stringify(scene)).mirror.type });
  assert.equal(p.text, text, r.error);
  assert.equal(p.detail, '', r.error);
};
plain(refused('zero radius', (s) => { s.mirror.radius = 0; }, 'radius', /radius/),
      'The can\'s radius must be more than 0 mm.');
plain(refused('eye below', (s) => { delete s.face; s.eye = [0, -300, -10]; }, 'eye', /./),
      'The eye must be above the sheet: give it a height (Z) of more than 0.');
plain(refused('accuracy', (s) => { s.accuracy = 50; }, 'accuracy', /./),
      'The accuracy must be a whole number from 1 to 20.');
plain(huge, 'Even the smallest print does not fit on one A4 sheet: choose a larger paper, or turn off "fit on one sheet".');
plain(refused('negative radius', (s) => { s.mirror.radius = -5; }, 'radius', /radius/),
      'The can\'s radius must be more than 0 mm.');
plain(refused('missing radius', (s) => { delete s.mirror.radius; }, 'radius', /missing/),
      'The can\'s radius must be more than 0 mm.');
plain(refused('eye inside', (s) => { delete s.face; s.eye = [0, 0, 10]; }, 'eye', /inside/),
      'The eye is inside the mirror: move it further away from the mirror.');
refused('dpi', (s) => { s.dpi = 0; }, 'dpi', /above 0/);
refused('mesh', (s) => { s.mirror = { type: 'generico', file: 'cono.stl' }; }, 'mirror', /./);
refused('no such mirror file', (s) => { delete s.eye; delete s.face; s.mirror = { type: 'specchio', file: '/none.dxf' }; },
        'mirror', /none\.dxf/);
// A refusal leaves no print behind it.
assert.equal(engine._anamorfosi_cells(), 0);

// The kinds, exactly as the served page's /kinds.js gives them.
const server = spawn(anamorfosi, ['serve', '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
try {
  const address = await new Promise((resolve, reject) => {
    let seen = '';
    server.stdout.on('data', (d) => {
      seen += d;
      const m = /(http:\/\/127\.0\.0\.1:\d+\/)/.exec(seen);
      if (m) resolve(m[1]);
    });
    server.on('exit', () => reject(new Error('the server ended: ' + seen)));
  });
  const script = await new Promise((resolve, reject) => {
    http.get(address + 'kinds.js', (res) => {
      let body = '';
      res.on('data', (d) => { body += d; });
      res.on('end', () => resolve(body));
    }).on('error', reject);
  });
  assert.deepEqual(engineKinds(engine), JSON.parse(script.replace(/^const KINDS = /, '').replace(/;\s*$/, '')));
} finally {
  server.kill();
}
console.log('engine module: every check passed (' + mode + ')');
