// The engine module's calls (site/engine.cpp) from JavaScript: the request
// and the picture copied into the module's memory, the answer and its pixels
// copied out. Used by the page's worker and by the node test alike.

// The mirror kinds, as the native code lists them (KindsJson).
export function engineKinds(engine) {
  return JSON.parse(engine.UTF8ToString(engine._anamorfosi_kinds()));
}

function copyIn(engine, bytes) {
  const at = engine._malloc(Math.max(bytes.length, 1));
  if (!at) throw new Error('not enough memory for this picture');
  engine.HEAPU8.set(bytes, at);
  return at;
}

// Calls an entry of the engine that takes a text (copied in as UTF-8 and
// freed after): its status and its result, parsed.
function callWithText(engine, entry, text) {
  const at = copyIn(engine, new TextEncoder().encode(text + '\0'));
  try {
    const status = entry(at);
    return { status, result: JSON.parse(engine.UTF8ToString(engine._anamorfosi_result())) };
  } finally {
    engine._free(at);
  }
}

// The print of request ({scene, view, fill}) and an RGBA picture: {result}
// when refused (result.error, result.field), else {result, cells, view} with
// the cells and the view as RGB bytes of their own.
export function enginePrint(engine, request, rgba, width, height) {
  const text = new TextEncoder().encode(JSON.stringify(request) + '\0');
  const requestAt = copyIn(engine, text);
  let pictureAt = 0;
  try {
    pictureAt = copyIn(engine, rgba);
    const status = engine._anamorfosi_print(requestAt, pictureAt, width, height);
    const result = JSON.parse(engine.UTF8ToString(engine._anamorfosi_result()));
    if (status !== 0) return { result };
    const cellsAt = engine._anamorfosi_cells(), viewAt = engine._anamorfosi_view();
    const cells = engine.HEAPU8.slice(cellsAt, cellsAt + result.width * result.height * 3);
    const view = engine.HEAPU8.slice(viewAt, viewAt + result.view_width * result.view_height * 3);
    const closeupAt = engine._anamorfosi_closeup();
    const closeup = engine.HEAPU8.slice(closeupAt, closeupAt + result.closeup_width * result.closeup_height * 3);
    return { result, cells, view, closeup };
  } finally {
    engine._free(requestAt);
    if (pictureAt) engine._free(pictureAt);
  }
}

// A PPM picture (the programs' own, which browsers do not decode) read by the
// module's PPM reader: {width, height, rgba}, or {error} in the reader's words.
export function engineReadPpm(engine, bytes) {
  const path = '/picture.ppm';
  engine.FS.writeFile(path, bytes);
  const pathAt = copyIn(engine, new TextEncoder().encode(path + '\0'));
  try {
    const status = engine._anamorfosi_read_ppm(pathAt);
    const result = JSON.parse(engine.UTF8ToString(engine._anamorfosi_result()));
    if (status !== 0) return { error: result.error };
    const at = engine._anamorfosi_picture();
    const rgba = engine.HEAPU8.slice(at, at + result.width * result.height * 4);
    return { width: result.width, height: result.height, rgba };
  } finally {
    engine._free(pathAt);
    engine.FS.unlink(path);
  }
}

// The last print's PDF pages as drawing operations ({paper, date}): {pages},
// the parsed PdfDocumentJson, or {error}.
export function enginePdf(engine, request) {
  const { status, result } = callWithText(engine, engine._anamorfosi_pdf, JSON.stringify(request));
  return status === 0 ? { pages: result } : { error: result.error };
}

// A mesh mirror read by the page (mesh_read.mjs readMesh) kept by the engine
// under path for the prints whose scene names it: {} or {error}.
export function engineMesh(engine, path, mesh) {
  const about = copyIn(engine, new TextEncoder().encode(JSON.stringify(
    { path, format: mesh.format, unit_mm: mesh.unitMm, y_up: mesh.yUp }) + '\0'));
  const bytesOf = (a) => new Uint8Array(a.buffer, a.byteOffset, a.byteLength);
  const at = [];
  try {
    // Doubles are read at 8-byte boundaries, which malloc keeps.
    for (const a of [mesh.vertices, mesh.normals || new Float64Array(0), mesh.corners, mesh.sizes, mesh.bytes])
      at.push(copyIn(engine, bytesOf(a)));
    const status = engine._anamorfosi_mesh(about, at[0], mesh.normals ? at[1] : 0, mesh.vertices.length / 3,
                                           at[2], at[3], mesh.sizes.length, at[4], mesh.bytes.length);
    const result = JSON.parse(engine.UTF8ToString(engine._anamorfosi_result()));
    return status === 0 ? {} : { error: result.error };
  } finally {
    engine._free(about);
    for (const a of at) engine._free(a);
  }
}

// The last print seen from another eye ({eye: [x, y, z], view, closeup}):
// {result, view, closeup} with their RGB bytes, or {result} with result.error.
export function engineViewFrom(engine, request) {
  const { status, result } = callWithText(engine, engine._anamorfosi_view_from, JSON.stringify(request));
  if (status !== 0) return { result };
  const viewAt = engine._anamorfosi_view(), closeupAt = engine._anamorfosi_closeup();
  const view = engine.HEAPU8.slice(viewAt, viewAt + result.view_width * result.view_height * 3);
  const closeup = engine.HEAPU8.slice(closeupAt, closeupAt + result.closeup_width * result.closeup_height * 3);
  return { result, view, closeup };
}

// The grid to draw by hand ("12x8") laid out by the engine as the command
// draws it (GridLayoutJson): {layout}, or {error} in the engine's words.
export function engineGrid(engine, grid) {
  const { status, result } = callWithText(engine, engine._anamorfosi_grid, String(grid));
  return status === 0 ? { layout: result } : { error: result.error };
}
