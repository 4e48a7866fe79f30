// A worker running the engine module, seen from the page: calls answered by
// promises (null when the worker was ended meanwhile), the mirror files, the
// meshes and the picture it keeps given again to the worker that replaces an
// ended one.
export class EngineWorker {
  constructor(url, onMessage) {
    this.url = url;
    this.onMessage = onMessage;    // the messages that answer no call (kinds, failed)
    this.files = new Map();        // path -> bytes
    this.meshes = new Map();       // path -> a mesh the page read (mesh_read.mjs)
    this.picture = null;           // {serial, rgba, width, height}
    this.pending = new Map();      // id -> {resolve, progress}
    this.nextId = 0;
    this.start();
  }

  start() {
    this.worker = new Worker(this.url);
    this.worker.onmessage = (event) => {
      const m = event.data;
      const call = m.id !== undefined ? this.pending.get(m.id) : undefined;
      if (!call) { if (m.id === undefined) this.onMessage(m); return; }
      if (m.type === 'progress') { if (call.progress) call.progress(m.row, m.rows); return; }
      this.pending.delete(m.id);
      call.resolve(m);
    };
    for (const [path, bytes] of this.files) this.worker.postMessage({ type: 'file', path, bytes: bytes.slice(0) });
    for (const [path, mesh] of this.meshes) this.worker.postMessage({ type: 'mesh', path, mesh });
    if (this.picture) this.postPicture();
  }

  busy() { return this.pending.size > 0; }

  // Ends what the worker does (a print no longer wanted): its calls answer
  // null, and a new worker with the same files and picture takes its place.
  end() {
    this.worker.terminate();
    const calls = [...this.pending.values()];
    this.pending.clear();
    this.start();
    for (const call of calls) call.resolve(null);
  }

  file(path, bytes) {
    this.files.set(path, bytes.slice(0));
    this.worker.postMessage({ type: 'file', path, bytes }, [bytes]);
  }

  mesh(path, mesh) {
    this.meshes.set(path, mesh);
    this.worker.postMessage({ type: 'mesh', path, mesh });
  }

  // The picture the next prints map, posted once for all of them.
  keepPicture(picture) {
    if (this.picture && this.picture.serial === picture.serial && this.picture.width === picture.width) return;
    this.picture = { serial: picture.serial, rgba: picture.rgba, width: picture.width, height: picture.height };
    this.postPicture();
  }

  postPicture() {
    const rgba = this.picture.rgba.slice();
    this.worker.postMessage({ type: 'picture', rgba: rgba.buffer, width: this.picture.width,
                              height: this.picture.height }, [rgba.buffer]);
  }

  call(type, fields, transfer = [], progress = null) {
    const id = ++this.nextId;
    this.worker.postMessage({ type, id, ...fields }, transfer);
    return new Promise((resolve) => this.pending.set(id, { resolve, progress }));
  }
}
