// The page's worker: the engine module (AnamorfosiEngine, the script built
// before this one in the same file) runs here, away from the page's thread.
// Messages in: {type: 'file', path, bytes} puts a mirror file in the module's
// memory; {type: 'mesh', path, mesh} keeps a mesh mirror the page read
// (mesh_read.mjs); {type: 'picture', rgba, width, height} keeps the picture
// the next prints map, so that it is posted once, not with each print;
// {type: 'ppm', id, bytes} reads a PPM picture; {type: 'print', id, request}
// makes a print of the picture kept; {type: 'view', id, request} shows the
// last print from another eye; {type: 'pdf', id, request} lays out the last
// print's PDF pages; {type: 'grid', id, grid} lays out a grid to draw by hand.
// Messages out: {type: 'kinds'} once ready, {type: 'ppm', id, width, height,
// rgba} or {type: 'ppm', id, error}, {type: 'progress', id, row, rows} while
// a print is made, {type: 'print', id, result, cells, view, closeup},
// {type: 'view', id, result, view, closeup}, {type: 'pdf', id, pages} or
// {type: 'pdf', id, error}, {type: 'grid', id, layout} or {type: 'grid', id, error}.
import { engineGrid, engineKinds, engineMesh, enginePdf, enginePrint, engineReadPpm, engineViewFrom } from './engine_client.mjs';

/* global AnamorfosiEngine */
const ready = AnamorfosiEngine().then((engine) => {
  postMessage({ type: 'kinds', kinds: engineKinds(engine) });
  return engine;
}, (e) => {
  postMessage({ type: 'failed', error: String(e) });
  throw e;
});

let picture = null;  // {rgba, width, height}
const pixelsOf = (made) => [made.cells, made.view, made.closeup].filter((p) => p).map((p) => p.buffer);

self.onmessage = async (event) => {
  const engine = await ready;
  const m = event.data;
  if (m.type === 'file') {
    engine.FS.writeFile(m.path, new Uint8Array(m.bytes));
    return;
  }
  if (m.type === 'mesh') {
    // Its arrays are checked when a print reads the mirror.
    engineMesh(engine, m.path, m.mesh);
    return;
  }
  if (m.type === 'picture') {
    picture = { rgba: new Uint8Array(m.rgba), width: m.width, height: m.height };
    return;
  }
  if (m.type === 'ppm') {
    const read = engineReadPpm(engine, new Uint8Array(m.bytes));
    postMessage({ type: 'ppm', id: m.id, ...read }, read.rgba ? [read.rgba.buffer] : []);
    return;
  }
  if (m.type === 'pdf') {
    postMessage({ type: 'pdf', id: m.id, ...enginePdf(engine, m.request) });
    return;
  }
  if (m.type === 'grid') {
    postMessage({ type: 'grid', id: m.id, ...engineGrid(engine, m.grid) });
    return;
  }
  if (m.type === 'view') {
    const made = engineViewFrom(engine, m.request);
    postMessage({ type: 'view', id: m.id, ...made }, pixelsOf(made));
    return;
  }
  if (m.type !== 'print') return;
  const started = performance.now();
  engine.onPrintProgress = (row, rows) => postMessage({ type: 'progress', id: m.id, row, rows });
  const made = picture ? enginePrint(engine, m.request, picture.rgba, picture.width, picture.height)
                       : { result: { error: 'picture: there is none to print', field: 'picture' } };
  engine.onPrintProgress = null;
  postMessage({ type: 'print', id: m.id, seconds: (performance.now() - started) / 1000, ...made }, pixelsOf(made));
};
