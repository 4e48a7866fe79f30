// Mesh mirrors read in the browser: the file's bytes read by the mesh library
// (assimpjs, loaded only when a mesh is first chosen: mesh.js beside the page,
// with its module inside it), which hands back the scene as a binary glTF;
// its triangles become the arrays the engine's anamorfosi_mesh takes, in the
// file's order and with the file's single-precision numbers, as the command's
// reader gives them. The engine then checks them as the command checks a mesh.

import { addTexts, t } from './i18n.mjs';

addTexts({
  en: {
    mesh_reading: 'Reading the mesh {0}...',
    mesh_not_mesh: '{0}: not a mesh this page reads (STL, OBJ, PLY, OFF, glTF, GLB)',
    mesh_3mf: '{0}: a 3MF mirror is read by the command only (anamorfosi generico): save it as STL, OBJ or PLY for this page',
    mesh_unreadable: '{0}: not a readable {1} mesh (the mesh reader could not read it)',
    mesh_no_triangle: '{0}: holds no triangle',
    mesh_no_reader: 'the mesh reader (mesh.js) cannot be loaded',
  },
  it: {
    mesh_reading: 'Sto leggendo la mesh {0}...',
    mesh_not_mesh: '{0}: non è una mesh che questa pagina sa leggere (STL, OBJ, PLY, OFF, glTF, GLB)',
    mesh_3mf: '{0}: uno specchio 3MF si legge solo con il comando (anamorfosi generico): salvalo come STL, OBJ o PLY per questa pagina',
    mesh_unreadable: '{0}: non si riesce a leggere come mesh {1}',
    mesh_no_triangle: '{0}: non contiene nessun triangolo',
    mesh_no_reader: 'il lettore delle mesh (mesh.js) non si carica',
  },
});

// The formats a mirror is read from in the page, by extension, as messages name
// them; a 3MF, whose unit lies in its zip, is left to the command.
const FORMATS = { stl: 'STL', obj: 'OBJ', ply: 'PLY', off: 'OFF', gltf: 'GLTF', glb: 'GLB' };

export function meshFormat(name) {
  const m = /\.([A-Za-z0-9]+)$/.exec(name);
  return m ? FORMATS[m[1].toLowerCase()] || (m[1].toLowerCase() === '3mf' ? '3MF' : null) : null;
}

// A plain-words refusal of the file, shown beside the mirror's field.
export class MeshReadError extends Error {}

let loading = null;
// The mesh library, started once: from mesh.js (a classic script, which loads
// from file:// too), or as given (the node test passes its own).
export function meshLibrary(given) {
  if (given) return given;
  if (!loading) {
    loading = new Promise((resolve, reject) => {
      const s = document.createElement('script');
      s.src = 'mesh.js';
      s.onload = () => {
        /* global assimpjs, ASSIMPJS_WASM */
        const wasm = Uint8Array.from(atob(ASSIMPJS_WASM), (c) => c.charCodeAt(0));
        assimpjs({ wasmBinary: wasm }).then(resolve, reject);
      };
      s.onerror = () => { loading = null; reject(new MeshReadError(t('mesh_no_reader'))); };
      document.head.appendChild(s);
    });
  }
  return loading;
}

const COMPONENTS = { SCALAR: 1, VEC3: 3 };
const ARRAYS = { 5121: Uint8Array, 5123: Uint16Array, 5125: Uint32Array, 5126: Float32Array };

function accessorValues(gltf, bin, index) {
  const a = gltf.accessors[index];
  const view = gltf.bufferViews[a.bufferView];
  const Type = ARRAYS[a.componentType];
  const n = a.count * COMPONENTS[a.type];
  const start = bin.byteOffset + (view.byteOffset || 0) + (a.byteOffset || 0);
  // Copied out: the chunk's offsets need not be aligned for the typed array.
  return new Type(bin.buffer.slice(start, start + n * Type.BYTES_PER_ELEMENT));
}

function multiply(a, b) {
  const m = new Array(16).fill(0);
  for (let c = 0; c < 4; ++c) for (let r = 0; r < 4; ++r) for (let k = 0; k < 4; ++k) m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
  return m;
}
const IDENTITY = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];

// A node's own transform (column-major), from its matrix or its translation,
// rotation and scale.
function nodeMatrix(node) {
  if (node.matrix) return node.matrix;
  const [x, y, z, w] = node.rotation || [0, 0, 0, 1];
  const [sx, sy, sz] = node.scale || [1, 1, 1];
  const [tx, ty, tz] = node.translation || [0, 0, 0];
  return [(1 - 2 * (y * y + z * z)) * sx, 2 * (x * y + z * w) * sx, 2 * (x * z - y * w) * sx, 0,
          2 * (x * y - z * w) * sy, (1 - 2 * (x * x + z * z)) * sy, 2 * (y * z + x * w) * sy, 0,
          2 * (x * z + y * w) * sz, 2 * (y * z - x * w) * sz, (1 - 2 * (x * x + y * y)) * sz, 0, tx, ty, tz, 1];
}

// The triangles of one primitive as faces: where the library split a polygon
// (its fan of triangles sharing their first corner), a quadrilateral is given
// back whole, so that the engine splits it as the command does.
function facesOf(indices, ngons) {
  const corners = [], sizes = [];
  for (let t = 0; t < indices.length; t += 3) {
    const a = indices[t], b = indices[t + 1], c = indices[t + 2];
    const fan = ngons && t + 5 < indices.length && indices[t + 3] === a && indices[t + 4] === c &&
                (t + 8 >= indices.length || indices[t + 6] !== a);
    if (fan) {
      corners.push(a, b, c, indices[t + 5]); sizes.push(4); t += 3;
    } else {
      corners.push(a, b, c); sizes.push(3);
    }
  }
  return { corners, sizes };
}

// The meshes of a binary glTF the library wrote (glTF 2, or glTF 1, whose
// collections are keyed by name): their vertices, the normals at them (null
// unless every primitive has them), and their faces, in the order of the node
// tree, depth first, a node's own meshes before its children's, each placed by
// its whole transform.
function meshesOfGlb(glb) {
  const data = new DataView(glb.buffer, glb.byteOffset, glb.byteLength);
  const version = data.getUint32(4, true), jsonLength = data.getUint32(12, true);
  const gltf = JSON.parse(new TextDecoder().decode(glb.subarray(20, 20 + jsonLength)));
  // glTF 2's binary chunk has a header of its own; glTF 1's body follows its JSON.
  const bin = glb.subarray(20 + jsonLength + (version === 2 ? 8 : 0));
  const vertices = [], normals = [], corners = [], sizes = [];
  let allNormals = true;
  // The meshes in the order of the node tree, depth first, a node's own mesh
  // before its children's, each placed by its whole transform.
  const walk = (index, parent) => {
    const node = gltf.nodes[index];
    const whole = multiply(parent, nodeMatrix(node));
    const identity = whole.every((v, k) => v === IDENTITY[k]);
    for (const id of node.mesh !== undefined ? [node.mesh] : node.meshes || []) {
      for (const p of gltf.meshes[id].primitives) {
        if ((p.mode ?? 4) !== 4 || p.attributes.POSITION === undefined) continue;
        const at = accessorValues(gltf, bin, p.attributes.POSITION);
        const n = p.attributes.NORMAL !== undefined ? accessorValues(gltf, bin, p.attributes.NORMAL) : null;
        const base = vertices.length / 3;
        for (let v = 0; v < at.length; v += 3) {
          const [x, y, z] = [at[v], at[v + 1], at[v + 2]];
          if (identity) vertices.push(x, y, z);
          else vertices.push(whole[0] * x + whole[4] * y + whole[8] * z + whole[12],
                             whole[1] * x + whole[5] * y + whole[9] * z + whole[13],
                             whole[2] * x + whole[6] * y + whole[10] * z + whole[14]);
          if (n && identity) normals.push(n[v], n[v + 1], n[v + 2]);
          else if (n) normals.push(whole[0] * n[v] + whole[4] * n[v + 1] + whole[8] * n[v + 2],
                                   whole[1] * n[v] + whole[5] * n[v + 1] + whole[9] * n[v + 2],
                                   whole[2] * n[v] + whole[6] * n[v + 1] + whole[10] * n[v + 2]);
          else normals.push(0, 0, 0);
        }
        allNormals = allNormals && n !== null;
        const indices = p.indices !== undefined ? accessorValues(gltf, bin, p.indices)
                                                : Uint32Array.from({ length: at.length / 3 }, (_, k) => k);
        const ngons = !!(p.extensions && p.extensions.FB_ngon_encoding);
        const f = facesOf(indices, ngons);
        for (const c of f.corners) corners.push(base + c);
        for (const s of f.sizes) sizes.push(s);
      }
    }
    for (const child of node.children || []) walk(child, whole);
  };
  const scene = gltf.scenes ? gltf.scenes[gltf.scene ?? 0] : { nodes: Object.keys(gltf.nodes || {}) };
  for (const root of scene.nodes || []) walk(root, IDENTITY);
  return { vertices: Float64Array.from(vertices), normals: allNormals ? Float64Array.from(normals) : null,
           corners: Uint32Array.from(corners), sizes: Uint8Array.from(sizes) };
}

// The mesh of a file: {format, vertices, normals, corners, sizes, unitMm, yUp, bytes}
// for anamorfosi_mesh; throws MeshReadError in plain words.
export async function readMesh(name, bytes, library) {
  const format = meshFormat(name);
  if (!format) throw new MeshReadError(t('mesh_not_mesh', name));
  if (format === '3MF') throw new MeshReadError(t('mesh_3mf', name));
  const ajs = await meshLibrary(library);
  const convert = (to) => {
    const list = new ajs.FileList();
    list.AddFile(name, bytes);
    const result = ajs.ConvertFileList(list, to);
    return result.IsSuccess() && result.FileCount() > 0 ? result.GetFile(0).GetContent() : null;
  };
  // glTF 2 marks the triangles the library made of each polygon, so that a
  // quadrilateral is given back whole.
  const glb = convert('glb2');
  if (!glb) throw new MeshReadError(t('mesh_unreadable', name, format));
  const mesh = meshesOfGlb(glb);
  if (mesh.sizes.length === 0) throw new MeshReadError(t('mesh_no_triangle', name));
  if (mesh.normals) {
    // glTF 2's writer makes the normals unit vectors in single precision, which
    // moves them off the file's own; glTF 1's keeps them as the file has them.
    const one = convert('glb');
    const first = one ? meshesOfGlb(one) : null;
    const same = first && first.normals && first.vertices.length === mesh.vertices.length &&
                 first.vertices.every((v, k) => v === mesh.vertices[k]);
    if (same) mesh.normals = first.normals;
  }
  const gltfFile = format === 'GLTF' || format === 'GLB';
  return {
    format,
    ...mesh,
    // glTF is in metres, its up +Y, by its own definition.
    unitMm: gltfFile ? 1000 : 0,
    yUp: gltfFile,
    // The file itself, whose layout the engine checks as the command does (PLY, OFF).
    bytes: format === 'PLY' || format === 'OFF' ? Uint8Array.from(bytes) : new Uint8Array(0),
  };
}
