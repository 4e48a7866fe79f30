// The page's worker: the engine module (AnamorfosiEngine, the script built
// before this one in the same file) runs here, away from the page's thread.
// Messages in: {type: 'file', path, bytes} puts a mirror file in the module's
// memory; {type: 'mesh', path, mesh} keeps a mesh mirror the page read
// (mesh_read.mjs); {type: 'ppm', id, bytes} reads a PPM picture; {type: 'print', id,
// request, rgba, width, height} makes a print; {type: 'pdf', id, request}
// lays out the last print's PDF pages.
// Messages out: {type: 'kinds'} once ready, {type: 'ppm', id, width, height,
// rgba} or {type: 'ppm', id, error}, {type: 'print', id, result, cells, view},
// {type: 'pdf', id, pages} or {type: 'pdf', id, error}.
import { engineKinds, engineMesh, enginePdf, enginePrint, engineReadPpm } from './engine_client.mjs';

/* global AnamorfosiEngine */
const ready = AnamorfosiEngine().then((engine) => {
  postMessage({ type: 'kinds', kinds: engineKinds(engine) });
  return engine;
}, (e) => {
  postMessage({ type: 'failed', error: String(e) });
  throw e;
});

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
  if (m.type === 'ppm') {
    const read = engineReadPpm(engine, new Uint8Array(m.bytes));
    postMessage({ type: 'ppm', id: m.id, ...read }, read.rgba ? [read.rgba.buffer] : []);
    return;
  }
  if (m.type === 'pdf') {
    postMessage({ type: 'pdf', id: m.id, ...enginePdf(engine, m.request) });
    return;
  }
  if (m.type !== 'print') return;
  const started = performance.now();
  const made = enginePrint(engine, m.request, m.rgba, m.width, m.height);
  const transfer = made.cells ? [made.cells.buffer, made.view.buffer] : [];
  postMessage({ type: 'print', id: m.id, seconds: (performance.now() - started) / 1000, ...made }, transfer);
};
