// The engine module under node against the native command: the cylinder print
// of the test card, its cells and its scene, with the eye and the face given
// (the command's own scene file) and placed by the module; mesh mirrors read
// by the page's mesh reader (STL, OBJ, PLY, smooth); the kinds as the native
// code lists them (KINDS_JSON, web/tests/kinds_json.cpp); refused values
// naming their field.
//   node --no-experimental-fetch engine_test.mjs ENGINE_JS ANAMORFOSI EXAMPLES WORK NODE_MODULES exact|long-double \
//     KINDS_JSON
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import { engineKinds, engineMesh, enginePdf, enginePrint, engineReadPpm } from '../src/engine_client.mjs';
import { MeshReadError, readMesh } from '../src/mesh_read.mjs';
import { plainError } from '../src/words.mjs';

const [engineJs, anamorfosi, examples, work, nodeModules, mode, kindsJson] = process.argv.slice(2);
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

function checkCells(label, made, against = native) {
  const native = against;
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

// Mesh mirrors read by the page's reader (the mesh library under node here,
// as in the browser) and checked by the engine, against the command reading
// the same file: a ball of triangles as STL (binary), OBJ (with the normals of
// the ball at its vertices) and PLY, plain and smooth, eye and face placed.
const assimp = await createRequire(import.meta.url)(path.resolve(nodeModules, 'assimpjs'))(
  { wasmBinary: fs.readFileSync(path.join(nodeModules, 'assimpjs/dist/assimpjs.wasm')) });
const ball = [], ballNormals = [], ballTriangles = [];
{
  const segments = 20, rings = 12, radius = 25, centre = [2, -3, 30];
  for (let r = 0; r <= rings; ++r)
    for (let k = 0; k < segments; ++k) {
      const theta = Math.PI * r / rings, phi = 2 * Math.PI * k / segments;
      const n = [Math.sin(theta) * Math.cos(phi), Math.sin(theta) * Math.sin(phi), Math.cos(theta)];
      ballNormals.push(n);
      ball.push(n.map((v, i) => Math.fround(centre[i] + radius * v)));
    }
  const at = (r, k) => r * segments + (k % segments);
  for (let r = 0; r < rings; ++r)
    for (let k = 0; k < segments; ++k) {
      if (r > 0) ballTriangles.push([at(r, k), at(r + 1, k), at(r, k + 1)]);
      if (r + 1 < rings) ballTriangles.push([at(r, k + 1), at(r + 1, k), at(r + 1, k + 1)]);
    }
}
function binaryStl() {
  const b = Buffer.alloc(84 + 50 * ballTriangles.length);
  b.writeUInt32LE(ballTriangles.length, 80);
  ballTriangles.forEach((t, f) => t.forEach((i, c) => ball[i].forEach((v, a) => b.writeFloatLE(v, 84 + 50 * f + 12 + 12 * c + 4 * a))));
  return b;
}
const meshFiles = {
  'palla.stl': binaryStl(),
  'palla.obj': Buffer.from(ball.map((v) => 'v ' + v.join(' ') + '\n').join('') +
                           ballNormals.map((n) => 'vn ' + n.join(' ') + '\n').join('') +
                           ballTriangles.map((t) => 'f ' + t.map((i) => (i + 1) + '//' + (i + 1)).join(' ') + '\n').join('')),
  'palla.ply': Buffer.from('ply\nformat ascii 1.0\nelement vertex ' + ball.length +
                           '\nproperty float x\nproperty float y\nproperty float z\nelement face ' + ballTriangles.length +
                           '\nproperty list uchar int vertex_indices\nend_header\n' + ball.map((v) => v.join(' ')).join('\n') + '\n' +
                           ballTriangles.map((t) => '3 ' + t.join(' ')).join('\n') + '\n'),
};
for (const [name, bytes] of Object.entries(meshFiles)) {
  fs.writeFileSync(path.join(work, name), bytes);
  const mesh = await readMesh(name, new Uint8Array(bytes), assimp);
  assert.equal(mesh.sizes.length, ballTriangles.length, name + ': the triangles read');
  assert.deepEqual(engineMesh(engine, '/' + name, mesh), {});
  for (const smooth of [false, true]) {
    const label = name + (smooth ? ' smooth' : '');
    const png = path.join(work, label.replace(' ', '_') + '.png');
    execFileSync(anamorfosi, ['generico', path.join(examples, 'cartello.ppm'), '--mirror', path.join(work, name),
                              ...(smooth ? ['--smooth'] : []), '-o', png, '--quiet', '--threads', '1']);
    const made = enginePrint(engine, { scene: { ...bare, mirror: { type: 'generico', file: '/' + name, smooth, crease: 60 } },
                                       view: 0 }, card.rgba, card.width, card.height);
    checkCells(label, made, decode(fs.readFileSync(png)));
    assert.equal(made.result.report[0], 'mirror: mesh mirror, ' + ballTriangles.length + ' triangles' +
                 (smooth ? ', smooth (crease 60 degrees)' : ''));
  }
}
// A binary glTF, in metres with its up +Y by its own definition, scaled into
// millimetres and turned up to +Z as the command does: the ball 1000 times
// smaller, lying on its side, made a GLB by the mesh library itself.
{
  const small = ball.map(([x, y, z]) => [x / 1000, z / 1000, -y / 1000]);
  const obj = small.map((v) => 'v ' + v.join(' ') + '\n').join('') +
              ballTriangles.map((t) => 'f ' + t.map((i) => i + 1).join(' ') + '\n').join('');
  const list = new assimp.FileList();
  list.AddFile('palla.obj', new TextEncoder().encode(obj));
  const glb = assimp.ConvertFileList(list, 'glb2');
  assert.ok(glb.IsSuccess());
  const bytes = glb.GetFile(0).GetContent();
  fs.writeFileSync(path.join(work, 'palla.glb'), bytes);
  const mesh = await readMesh('palla.glb', bytes, assimp);
  assert.deepEqual([mesh.unitMm, mesh.yUp], [1000, true]);
  assert.deepEqual(engineMesh(engine, '/palla.glb', mesh), {});
  const png = path.join(work, 'glb.png');
  execFileSync(anamorfosi, ['generico', path.join(examples, 'cartello.ppm'), '--mirror', path.join(work, 'palla.glb'),
                            '-o', png, '--quiet', '--threads', '1']);
  const made = enginePrint(engine, { scene: { ...bare, mirror: { type: 'generico', file: '/palla.glb' } }, view: 0 },
                           card.rgba, card.width, card.height);
  checkCells('palla.glb', made, decode(fs.readFileSync(png)));
  assert.ok(made.result.warnings.some((w) => w.includes('its format states its unit (1000 mm)')), made.result.warnings);
}

// A DXF of 3DFACEs as a mesh mirror, read by the engine from the module's
// memory: the example's faceted cone, with its face and eye, vertical axis.
engine.FS.writeFile('/cono.dxf', fs.readFileSync(path.join(examples, 'generico/cono.dxf')));
engine.FS.writeFile('/face_cono.dxf', fs.readFileSync(path.join(examples, 'generico/faccia.dxf')));
{
  const png = path.join(work, 'cono.png');
  execFileSync(anamorfosi, ['generico', path.join(examples, 'cartello.ppm'), '--mirror',
                            path.join(examples, 'generico/cono.dxf'), '--face', path.join(examples, 'generico/faccia.dxf'),
                            '--eye', '0,0,400', '--vertical-axis', '--units', 'mm', '-o', png, '--quiet',
                            '--threads', '1']);
  const made = enginePrint(engine, { scene: { ...bare, eye: [0, 0, 400], face_file: '/face_cono.dxf',
                                              mirror: { type: 'generico', file: '/cono.dxf', vertical_axis: true } },
                                     view: 0 }, card.rgba, card.width, card.height);
  checkCells('cono.dxf', made, decode(fs.readFileSync(png)));
  assert.match(made.result.report[0], /^mirror: mesh mirror, 7020 triangles$/);
}

// A bad mesh is refused in plain words: one the reader cannot read, and one
// whose face names a vertex it does not have, in the command's words.
await assert.rejects(readMesh('rotto.stl', new TextEncoder().encode('solid x\nfacet oops'), assimp),
                     (e) => e instanceof MeshReadError && /rotto\.stl: not a readable STL mesh/.test(e.message));
await assert.rejects(readMesh('palla.3mf', new Uint8Array(4), assimp), /3MF mirror is read by the command only/);
const broken = await readMesh('palla.stl', new Uint8Array(meshFiles['palla.stl']), assimp);
broken.corners[4] = 100000;
engineMesh(engine, '/rotta.stl', broken);
const brokenMade = enginePrint(engine, { scene: { ...bare, mirror: { type: 'generico', file: '/rotta.stl' } }, view: 0 },
                               card.rgba, card.width, card.height);
assert.equal(brokenMade.result.field, 'mirror');
assert.match(brokenMade.result.error, /^\/rotta\.stl: face 2 names vertex 100001 of a mesh of \d+ vertices$/);

// A PLY whose data goes on past what its header counts, which the mesh
// library reads as far as the counts go: refused as the command refuses it.
const longPly = Buffer.concat([meshFiles['palla.ply'], Buffer.from('3 0 1 2\n')]);
fs.writeFileSync(path.join(work, 'lunga.ply'), longPly);
const commandSays = (() => {
  try {
    execFileSync(anamorfosi, ['generico', path.join(examples, 'cartello.ppm'), '--mirror', path.join(work, 'lunga.ply'),
                              '-o', path.join(work, 'lunga.png'), '--quiet'], { stdio: 'pipe' });
  } catch (e) {
    return String(e.stderr);
  }
  return '';
})();
const problem = /PLY: (.*)/.exec(commandSays);
assert.ok(problem, 'the command refuses the PLY: ' + commandSays);
const longMesh = await readMesh('lunga.ply', new Uint8Array(longPly), assimp);
assert.deepEqual(engineMesh(engine, '/lunga.ply', longMesh), {});
const longMade = enginePrint(engine, { scene: { ...bare, mirror: { type: 'generico', file: '/lunga.ply' } }, view: 0 },
                             card.rgba, card.width, card.height).result;
assert.equal(longMade.field, 'mirror');
assert.equal(longMade.error, '/lunga.ply: PLY: ' + problem[1].trim());

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

// The picture face given as a DXF (the command's --face): the plane mirror's
// example face, against the command with the same files.
engine.FS.writeFile('/face_faccia.dxf', fs.readFileSync(path.join(examples, 'specchio/faccia.dxf')));
const facePng = path.join(work, 'face.png');
execFileSync(anamorfosi, ['specchio', path.join(examples, 'cartello.ppm'), '--mirror',
                          path.join(examples, 'specchio/specchio.dxf'), '--face', path.join(examples, 'specchio/faccia.dxf'),
                          '--units', 'mm', '-o', facePng, '--quiet', '--threads', '1']);
const faced = enginePrint(engine, { scene: { ...bare, mirror: { type: 'specchio', file: '/specchio.dxf' },
                                             face_file: '/face_faccia.dxf' }, view: 0 }, card.rgba, card.width, card.height);
checkCells('face from its DXF', faced, decode(fs.readFileSync(facePng)));
assert.ok(faced.cells.length !== plane.cells.length || differences(faced.cells, plane.cells).cells > 0,
          'the face given is not the automatic one');
const noFace = enginePrint(engine, { scene: { ...bare, face_file: '/none_faccia.dxf' }, view: 0 },
                           card.rgba, card.width, card.height).result;
assert.equal(noFace.field, 'face');
assert.match(noFace.error, /none_faccia\.dxf/);

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

// The kinds, exactly as the native code lists them.
assert.deepEqual(engineKinds(engine), JSON.parse(execFileSync(kindsJson, { encoding: 'utf8' })));
console.log('engine module: every check passed (' + mode + ')');
