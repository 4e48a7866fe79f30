// The page in the browser with nothing installed: the form's values become a
// scene, which the engine (a WebAssembly module in a worker) makes into the
// print, the view from the eye and its fidelity line; the PNG is written here.
import WORKER_SOURCE from 'site:worker';
import CARD_PPM from 'site:card';
import { jsPDF } from 'jspdf';
import { encode as encodePng } from 'fast-png';
import { loadPdfFonts } from './pdf_fonts.mjs';
import { drawPdf } from './pdf_draw.js';
import { printPng } from './print_png.mjs';
import { meshFormat, MeshReadError, readMesh } from './mesh_read.mjs';
import { addFaceFileField, faceFile } from './face_file.mjs';
import { t } from './i18n.mjs';
import { fieldLabel, kindChoice, lookWords, placementWords, plainError, setUpLanguageSwitch,
         sheetsWords } from './words.mjs';
import { EngineWorker } from './engine_worker.mjs';
import { eyeDrag } from './eye_drag.mjs';
import { previewSizes, reducedSize } from './preview.mjs';
import { drawGrid, loadGridFont, rgbOf } from './grid_draw.mjs';

const $ = (id) => document.getElementById(id);
let KINDS = null;
let kinds = new Map();
const files = {};            // a kind's file field -> its path in the module's memory
let picture = null;          // {name, width, height, rgba}
let card = null;
let grid = null;             // the grid to draw by hand last drawn: a picture, with its text "CxR"
let last = null;             // the full print made for the download: {key, result, cells, grid}
let shown = null;            // the preview shown: {key, result, view, closeup, grid (its grid picture, if one)}
let shownKey = '';
let timer = null, generation = 0;
let previewing = false, previewWanted = false;
let fullUnderWay = null;     // the full print being made: {key, promise}

// The workers are made from the bundled code itself: from file:// a worker
// cannot load a script file. One makes the previews and keeps the last for
// the eye's moves; the other makes the full print for the downloads, and is
// ended, without touching the first, when the values change meanwhile.
const workerUrl = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));
const previewWorker = new EngineWorker(workerUrl, (m) => {
  if (m.type === 'kinds' && !KINDS) start(m.kinds);
  else if (m.type === 'failed') setStatus('status.no_engine', false, m.error);
});
const fullWorker = new EngineWorker(workerUrl, () => {});
// The engine's answers to prints, counted for the tests: a print ended unfinished gives none.
function answered(m) {
  if (m) $('status').dataset.answers = String(Number($('status').dataset.answers || 0) + 1);
  return m;
}

// A PPM picture read by the engine's reader, the programs' own: {width,
// height, rgba} or {error}; null when its worker was ended meanwhile.
function readPpm(bytes) {
  const copy = bytes.slice();
  return previewWorker.call('ppm', { bytes: copy.buffer }, [copy.buffer]);
}

// The eye moved by hand over the view: the engine's view of the preview's
// print from there, and the close-up, drawn in place of the chosen eye's.
const eye = eyeDrag({
  canvas: $('view'), button: $('eye_back'), note: $('eye_note'),
  lookFrom: (at) => previewWorker.call('view', { request: { eye: at, view: shown.result.view_width,
                                                                closeup: shown.result.closeup_width } }),
  showMoved: (m) => {
    const r = m.result;
    if (r.error !== undefined) return;
    draw($('view'), r.view_width, r.view_height, m.view);
    if (r.closeup_width) draw($('closeup'), r.closeup_width, r.closeup_height, m.closeup);
  },
  showChosen: () => {
    if (!shown) return;
    const r = shown.result;
    draw($('view'), r.view_width, r.view_height, shown.view);
    if (r.closeup_width) draw($('closeup'), r.closeup_width, r.closeup_height, shown.closeup);
  },
});

// The full print's PDF pages laid out by the engine: {pages} or {error}.
function layOutPdf(request) {
  return fullWorker.call('pdf', { request });
}

// The PDF of the print shown, drawn here from the pages the engine laid out
// as the command lays out its own: the same tiles, footprint, rulers, eye
// arrow and title block.
async function downloadPdf() {
  if (!await fullPrint()) return;
  const shown = last;
  setStatus('status.laying_out', true);
  const date = new Date().toISOString().slice(0, 10);
  const made = await layOutPdf({ paper: $('paper').value, date });
  if (!made || made.error || last !== shown) {
    if (made && made.error) showErrors('paper', made.error);
    else showErrors('paper', '', 'err.changed');
    setStatus('status.no_pdf', false);
    return;
  }
  let fonts;
  try {
    fonts = await loadPdfFonts();
  } catch (e) {
    showErrors('paper', e.message);
    setStatus('status.no_pdf', false);
    return;
  }
  showErrors();
  const picture = { width: shown.result.width, height: shown.result.height, rgb: shown.cells };
  const pictures = { print: picture };
  // A grid's PDF has the plain grid, as it was drawn, on its first page.
  if (shown.grid) pictures.grid = { width: shown.grid.width, height: shown.grid.height, rgb: rgbOf(shown.grid.rgba) };
  const doc = drawPdf({ jsPDF, encodePng }, made.pages, pictures, fonts);
  save(doc.output('arraybuffer'), 'anamorfosi.pdf', 'application/pdf');
  const sheets = made.pages.pages.length;
  if (last.result.fidelity_warning) setStatus('downloaded_unfaithful', false);
  else setStatus('status.pdf_done', false, sheets === 1 ? t('status.pages_one') : t('status.pages_many', sheets));
}

function source() { return document.querySelector('input[name=source]:checked').value; }

// The grid's "CxR" from its fields, or '' while a field is not a whole number from 1 to 200.
function gridText() {
  const sides = [$('grid_columns').value, $('grid_rows').value];
  return sides.every((v) => /^[1-9][0-9]{0,2}$/.test(v.trim()) && Number(v) <= 200)
    ? sides.map((v) => Number(v)).join('x') : '';
}

// The picture the form's source gives: the test card, the reader's picture,
// or the grid to draw by hand, laid out by the engine and drawn here (once a
// size); null when there is none yet or the grid cannot be drawn (its
// refusal then shown beside its fields).
async function pictureOfForm() {
  if (source() === 'upload') return picture;
  if (source() !== 'grid') return card;
  // Refused as the engine's refusals are: beside the field, the last preview greyed.
  const refuse = (message, key) => {
    showStale(showErrors('grid', message, key));
    setStatus('status.refused', false);
    shownKey = '';
    return null;
  };
  const text = gridText();
  if (!text) return refuse('', 'err.grid');
  if (grid && grid.text === text) return grid;
  const made = await previewWorker.call('grid', { grid: text });
  if (!made) return null;
  if (made.error) return refuse(made.error);
  try {
    await loadGridFont((await loadPdfFonts()).bold);
  } catch (e) {
    return refuse('font: ' + ((e && e.message) || e));
  }
  const drawn = drawGrid(made.layout);
  grid = { text, name: 'grid ' + text, width: drawn.width, height: drawn.height, rgba: drawn.rgba, serial: ++serial };
  return grid;
}
function num(id) { const v = $(id).value; return v === '' ? null : Number(v); }
function kind() { return kinds.get($('mirror').value); }
function valuesOf(k, type) { return k.parameters.filter((p) => p.value === type); }

// The mirror choice and the fields of every kind's values, each field once
// (kinds that share one keep its value), as the served page builds them.
function buildMirrorFields() {
  for (const k of KINDS.kinds) {
    const o = document.createElement('option');
    o.value = k.name; o.textContent = kindChoice(k);
    $('mirror').appendChild(o);
  }
  const seen = new Set();
  const fields = (type) => KINDS.kinds.flatMap((k) => valuesOf(k, type)).filter((p) => !seen.has(p.field) && seen.add(p.field));
  const attr = (v) => String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
  const lengths = fields('length'), points = fields('plan point'), spacePoints = fields('point');
  const fileFields = fields('file'), flags = fields('flag'), angles = fields('angle');
  let h = '<div class="numbers">';
  for (const p of lengths)
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span> <input type="number" id="' +
         attr(p.field) + '" value="' + attr(p.start) + '" min="0" step="any"> <span class="unit">mm</span></label></span> ';
  h += '<br>';
  for (const p of points) {
    const at = (p.default || '0,0').split(',');
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span>: X <input type="number" id="' +
         attr(p.field) + '_x" value="' + attr(at[0]) + '" step="any"></label> <label>Y <input type="number" id="' +
         attr(p.field) + '_y" value="' + attr(at[1]) + '" step="any"> <span class="unit">mm</span></label></span>';
  }
  for (const p of spacePoints) {
    const at = (p.default || '0,0').split(',');
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span>: X <input type="number" id="' +
         attr(p.field) + '_x" value="' + attr(at[0]) + '" step="any"></label> <label>Y <input type="number" id="' +
         attr(p.field) + '_y" value="' + attr(at[1]) + '" step="any"></label> <label>Z <input type="number" id="' +
         attr(p.field) + '_z" value="' + attr(at[2] || '') + '" step="any"' +
         (p.z_left_out ? ' placeholder="' + attr(t('field.standing')) + '" data-t-placeholder="field.standing"' : '') + '> <span class="unit">mm</span></label></span>';
  }
  h += '</div>';
  for (const p of lengths.concat(points, spacePoints)) h += '<div class="error" data-for="' + attr(p.field) + '"></div>';
  for (const p of fileFields)
    h += '<div data-field="' + attr(p.field) + '"><label><span class="label"></span> <input type="file" id="' +
         attr(p.field) + '_input" accept=".dxf"></label><div id="' + attr(p.field) + '_name" class="name"></div></div>' +
         '<div class="error" data-for="' + attr(p.field) + '"></div>';
  for (const p of flags)
    h += '<span data-field="' + attr(p.field) + '"><label><input type="checkbox" id="' + attr(p.field) +
         '"> <span class="label"></span></label></span>';
  for (const p of angles)
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span> <input type="number" id="' +
         attr(p.field) + '" value="' + attr(p.default) + '" min="0" max="89.9" step="any"> <span data-t="field.degrees">' + t('field.degrees') + '</span></label></span>';
  for (const p of angles) h += '<div class="error" data-for="' + attr(p.field) + '"></div>';
  $('mirror_fields').innerHTML = h;
  for (const p of fileFields)
    $(p.field + '_input').addEventListener('change', async (e) => {
      const file = e.target.files[0];
      if (!file) return;
      // The module reads the file from its own memory, under the file's name.
      const path = '/' + file.name.replace(/[^A-Za-z0-9._-]/g, '_');
      const bytes = await file.arrayBuffer();
      if (meshFormat(file.name)) {
        // A mesh is read here, by the mesh reader loaded the first time.
        setStatus('mesh_reading', true, file.name);
        try {
          const mesh = await readMesh(file.name, new Uint8Array(bytes));
          previewWorker.mesh(path, mesh);
          fullWorker.mesh(path, mesh);
        } catch (err) {
          files[p.field] = '';
          $(p.field + '_name').textContent = file.name;
          showErrors(p.field, err instanceof MeshReadError ? err.message : file.name + ': ' + err.message);
          setStatus('status.unusable_file', false);
          shownKey = '';
          return;
        }
      } else {
        previewWorker.file(path, bytes.slice(0));
        fullWorker.file(path, bytes);
      }
      files[p.field] = path;
      $(p.field + '_name').textContent = file.name;
      later();
    });
}

function showMirrorFields() {
  const k = kind();
  const mine = new Map(k.parameters.map((p) => [p.field, p]));
  document.querySelectorAll('#mirror_fields [data-field]').forEach((e) => {
    const p = mine.get(e.dataset.field);
    e.hidden = !p;
    if (!p) return;
    e.querySelector('.label').textContent = fieldLabel(k, p);
    const file = e.querySelector('input[type=file]');
    if (file && k.accept) file.accept = k.accept;
  });
  document.querySelector('#mirror_fields .numbers').hidden =
    !k.parameters.some((p) => ['length', 'plan point', 'point'].includes(p.value));
  $('eye_auto').disabled = !k.automatic_face;
  if (!k.automatic_face) $('eye_auto').checked = false;
  document.querySelectorAll('.unit').forEach((e) => { e.textContent = $('units').value; });
}

// The scene file's JSON of the form (pipeline/scene.h reads it); the eye left
// out places the kind's usual one; the face is the automatic one unless its DXF is given.
function sceneOfForm() {
  const k = kind();
  const mirror = { type: k.name };
  for (const p of k.parameters) {
    if (p.value === 'length' || p.value === 'angle') mirror[p.key] = num(p.field);
    else if (p.value === 'plan point') mirror[p.key] = [num(p.field + '_x'), num(p.field + '_y')];
    else if (p.value === 'point') {
      const xyz = [num(p.field + '_x'), num(p.field + '_y'), num(p.field + '_z')];
      mirror[p.key] = xyz[2] === null && p.z_left_out ? xyz.slice(0, 2) : xyz;
    } else if (p.value === 'flag') mirror[p.key] = $(p.field).checked;
    else if (p.value === 'file') mirror[p.key] = files[p.field] || '';
  }
  const scene = { mirror };
  if (!$('eye_auto').checked) scene.eye = [num('eye_x'), num('eye_y'), num('eye_z')];
  if (faceFile()) scene.face_file = faceFile();
  if (source() === 'grid') scene.grid = gridText();
  else scene.picture = picture ? picture.name : 'cartello.ppm';
  Object.assign(scene, { units: $('units').value, dpi: num('dpi'), accuracy: num('accuracy'), antialias: 2,
                         background: 'white', marks: true, program_window: false });
  return scene;
}

// The form's field of a field the engine names: a kind's option or scene key
// is the field of that value.
function fieldOf(field) {
  for (const p of kind().parameters) if (p.option === field || p.key === field) return p.field;
  // The paper's box tells what "fit on one sheet" refuses.
  if (field === 'fit') return 'paper';
  return field || '';
}

// The refusal shown, kept to be told again in another language: the engine's
// field and text, or a text of the page's own (key).
let shownError = null;
function showErrors(field, message, key) {
  document.querySelectorAll('.error').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('.wrong').forEach((e) => e.classList.remove('wrong'));
  document.querySelectorAll('[aria-invalid]').forEach((e) => e.removeAttribute('aria-invalid'));
  shownError = message === undefined ? null : { field, message, key };
  if (!shownError) return;
  const box = document.querySelector('.error[data-for="' + fieldOf(field) + '"]') ||
              document.querySelector('.error[data-for=""]');
  const plain = key ? { text: t(key), detail: '' }
                    : plainError(fieldOf(field) || field, message,
                                 { kind: kind() ? kind().name : '', units: $('units').value, paper: $('paper').value });
  box.textContent = plain.text;
  if (plain.detail) {
    const detail = document.createElement('span');
    detail.className = 'detail';
    detail.textContent = ' ' + t('err.detail', plain.detail);
    box.appendChild(detail);
  }
  const set = box.closest('fieldset');
  if (set && box.dataset.for !== '') {
    set.classList.add('wrong');
    set.querySelectorAll('input, select').forEach((e) => {
      if (!e.closest('[hidden]') && (e.id === fieldOf(field) || e.id.startsWith(fieldOf(field) + '_')))
        e.setAttribute('aria-invalid', 'true');
    });
  }
  return plain.text;
}

let ticking = null;
let shownStatus = null;
// The status line: a text of the page (key, with its arguments), kept to be
// told again in another language.
function setStatus(key, isBusy, ...args) {
  clearInterval(ticking);
  shownStatus = { key, isBusy, args };
  const text = t(key, ...args);
  $('status').textContent = text;
  $('status').className = isBusy ? 'busy' : '';
  if (!isBusy) return;
  const started = Date.now();
  ticking = setInterval(() => {
    $('status').textContent = text + ' ' + Math.round((Date.now() - started) / 1000) + ' s';
  }, 1000);
}

function draw(canvas, width, height, rgb) {
  canvas.width = width;
  canvas.height = height;
  const image = new ImageData(width, height);
  for (let i = 0, j = 0; i < rgb.length; i += 3, j += 4) {
    image.data[j] = rgb[i]; image.data[j + 1] = rgb[i + 1]; image.data[j + 2] = rgb[i + 2]; image.data[j + 3] = 255;
  }
  canvas.getContext('2d').putImageData(image, 0, 0);
}

// The picture reduced to at most side pixels on its longer side, for the
// previews: made once a picture (kept with it), by the browser's own
// resampling of the picture's bitmap.
async function reducedPicture(pic, side) {
  if (pic.reduced) return pic.reduced;
  const size = reducedSize(pic.width, pic.height, side);
  if (size.width === pic.width && size.height === pic.height) return (pic.reduced = pic);
  const bitmap = pic.bitmap ||
    await createImageBitmap(new ImageData(new Uint8ClampedArray(pic.rgba.buffer, pic.rgba.byteOffset, pic.rgba.length),
                                          pic.width, pic.height), { premultiplyAlpha: 'none' });
  const small = await createImageBitmap(bitmap, { resizeWidth: size.width, resizeHeight: size.height,
                                                  resizeQuality: 'high', premultiplyAlpha: 'none' });
  const g = new OffscreenCanvas(size.width, size.height).getContext('2d');
  g.drawImage(small, 0, 0);
  small.close();
  pic.reduced = { name: pic.name, width: size.width, height: size.height, serial: pic.serial,
                  rgba: new Uint8Array(g.getImageData(0, 0, size.width, size.height).data.buffer) };
  return pic.reduced;
}

// The preview's cells are each the mean of 2 x 2 samples, as a pixel of the
// screen shows the mean of what it covers: its fidelity line then tells the
// scene's faults, not its few cells'.
// The longer side of the previews' reduced picture, in pixels.
const kPreviewSide = 250;

// Each change shows a preview: the print of the same scene from the picture
// reduced, with as many cells as the screen shows, and the view from the eye
// with the mirror's close-up. The full print is made for a download only. A
// change while a preview is made waits for it and is then shown; a full
// print under way for values no longer wanted is ended. Nothing is
// recomputed when the values and the picture are those already shown.
// "Fit on one sheet" chooses the face for the paper: the paper then makes another print.
function fitOfForm() { return $('fit').checked ? $('paper').value : ''; }

async function refresh() {
  const mine = ++generation;
  $('grid_fields').hidden = source() !== 'grid';
  const pic = await pictureOfForm();
  if (mine !== generation) return;
  if (!pic) {
    if (source() !== 'grid') setStatus('status.choose_picture', false);
    return;
  }
  const scene = sceneOfForm();
  const fit = fitOfForm();
  const key = JSON.stringify(scene) + '|' + pic.name + '|' + pic.width + 'x' + pic.height + '|' + pic.serial + '|' + fit;
  if (fullUnderWay && fullUnderWay.key !== key) endFullPrint();
  if (previewing) { previewWanted = true; return; }
  if (key === shownKey) return;
  previewing = true;
  previewWanted = false;
  $('get_png').disabled = $('get_scene').disabled = $('get_pdf').disabled = true;
  setStatus('status.quick', true);
  performance.mark('preview-asked');
  previewWorker.keepPicture(await reducedPicture(pic, kPreviewSide));
  const sizes = previewSizes($('print'), $('view'), $('closeup'), window.devicePixelRatio || 1);
  const made = answered(await previewWorker.call('print', { request: {
    scene, preview: { pixels: sizes.cells, accuracy: 2, antialias: 2 }, view: sizes.view, closeup: sizes.closeup,
    aspect: [pic.width, pic.height], fit } }));
  previewing = false;
  if (made && mine === generation) showPreview(made, key, pic);
  if (previewWanted || mine !== generation) refresh();
}

function showPreview(made, key, pic) {
  if (!show(made, true)) { shown = null; eye.shown(null); return; }
  shown = { key, result: made.result, view: made.view, closeup: made.closeup, grid: pic.text ? pic : null };
  shownKey = key;
  eye.shown(made.result);
  performance.mark('preview-shown');
  // The count of prints shown for new values, for the user's own curiosity and the tests.
  $('status').dataset.made = String(Number($('status').dataset.made || 0) + 1);
  $('get_png').disabled = $('get_scene').disabled = $('get_pdf').disabled = false;
  const d = made.result.download;
  // The preview's score is its few cells': a low one is told, and the full
  // print is scored for itself when it is made for a download.
  setStatus(made.result.fidelity_warning ? 'preview_unsure' : 'preview_ready', false, d.width, d.height,
            made.seconds.toFixed(2));
}

function endFullPrint() {
  fullUnderWay = null;
  fullWorker.end();
  $('full_progress').hidden = true;
}

// The full print of the values shown, for the downloads: made once for a set
// of values and kept, its progress shown by the bar; false when it could not
// be made (the values changed meanwhile, or the engine refused it).
// A view this small costs little; asking for one has the full print scored.
const kScoredView = 64;
async function fullPrint() {
  const key = shownKey;
  if (last && last.key === key) return true;
  if (!fullUnderWay || fullUnderWay.key !== key) {
    const pic = (shown && shown.grid) || (source() === 'upload' ? picture : card);
    const scene = sceneOfForm(), fit = fitOfForm();
    const bar = $('full_progress');
    bar.value = 0;
    bar.hidden = false;
    fullWorker.keepPicture(pic);
    const promise = fullWorker.call('print', { request: { scene, view: kScoredView, fit } }, [], (row, rows) => {
      bar.max = rows;
      bar.value = row;
    });
    fullUnderWay = { key, promise };
  }
  setStatus('full_making', true);
  const under = fullUnderWay;
  const full = answered(await under.promise);
  if (fullUnderWay === under) fullUnderWay = null;
  $('full_progress').hidden = true;
  if (!full || key !== shownKey) { setStatus('full_ended', false); return false; }
  if (full.result.error !== undefined) {
    showErrors(full.result.field, full.result.error);
    setStatus('status.refused', false);
    return false;
  }
  last = { key, result: full.result, cells: full.cells, grid: shown && shown.key === key ? shown.grid : null };
  // The download's own score, and its warning when the print is wrong.
  showFidelity('full_score', full.result);
  $('fidelity_warning').textContent = full.result.fidelity_warning || '';
  $('status').dataset.full = String(Number($('status').dataset.full || 0) + 1);
  return true;
}

// The fidelity line, said to be the preview's or the download's.
let fidelityShown = null;
function showFidelity(key, r) {
  fidelityShown = [key, r];
  $('fidelity').textContent = (key ? t(key, r.width, r.height) : '') + (r.fidelity || '');
}

function show(made, quick) {
  const r = made.result;
  if (r.error !== undefined) {
    const reason = showErrors(r.field, r.error);
    setStatus('status.refused', false);
    showStale(reason);
    shownKey = '';
    return false;
  }
  showErrors();
  showStale();
  shownResult = r;
  showWords();
  draw($('print'), r.width, r.height, made.cells);
  $('print').dataset.quality = quick ? 'quick' : 'full';
  draw($('view'), r.view_width, r.view_height, made.view);
  if (r.closeup_width) draw($('closeup'), r.closeup_width, r.closeup_height, made.closeup);
  showFidelity(quick ? 'preview_score' : '', r);
  $('fidelity_warning').textContent = r.fidelity_warning || '';
  $('report').innerHTML = '';
  for (const line of r.report.concat(r.warnings)) {
    const li = document.createElement('li'); li.textContent = line; $('report').appendChild(li);
  }
  return true;
}

// A change is taken up at once (after the events of the same moment, such as
// a field's input and change): a preview under way makes the next one wait
// for it (refresh), so quick keys cost no more than one preview each.
function later() { clearTimeout(timer); timer = setTimeout(refresh, 0); }

function save(bytes, name, type) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type }));
  a.download = name;
  document.body.appendChild(a); a.click(); a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

let serial = 0;
// A picture as the browser decodes it, turned upright by its EXIF
// orientation, its alpha kept.
async function decodedPicture(file) {
  const bitmap = await createImageBitmap(file, { imageOrientation: 'from-image', premultiplyAlpha: 'none' });
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const g = canvas.getContext('2d');
  g.drawImage(bitmap, 0, 0);
  const rgba = new Uint8Array(g.getImageData(0, 0, bitmap.width, bitmap.height).data.buffer);
  const picture = { name: file.name, width: bitmap.width, height: bitmap.height, rgba, serial: ++serial, bitmap };
  // The previews' copy made now, from the bitmap decoded, once for the picture.
  await reducedPicture(picture, kPreviewSide);
  picture.bitmap = null;
  bitmap.close();
  return picture;
}

async function takePicture(file) {
  setStatus('status.reading', true, file.name);
  try {
    if (/\.ppm$/i.test(file.name)) {
      // The programs' own pictures, which browsers do not decode.
      const p = await readPpm(new Uint8Array(await file.arrayBuffer()));
      if (!p) { setStatus('status.read_again', false); return; }
      if (p.error) throw new Error(p.error.replace(/^[^:]*: /, ''));
      picture = { name: file.name, width: p.width, height: p.height, rgba: p.rgba, serial: ++serial };
    } else {
      picture = await decodedPicture(file);
    }
  } catch (e) {
    showErrors('picture', (e && e.message) || file.name);
    setStatus('status.unusable_file', false);
    return;
  }
  $('picture_name').textContent = t('picture.size', file.name, picture.width, picture.height);
  $('source_upload').checked = true;
  later();
}

function changed(e) {
  // The paper is the PDF's only, unless the print must fit it: the print stays as it is.
  if (e.target.type === 'file') return;
  if (e.target.id === 'paper' && !$('fit').checked) { showWords(); return; }
  if (['eye_x', 'eye_y', 'eye_z'].includes(e.target.id)) $('eye_auto').checked = false;
  showMirrorFields(); later();
}

async function start(list) {
  KINDS = list;
  kinds = new Map(KINDS.kinds.map((k) => [k.name, k]));
  const p = await readPpm(new TextEncoder().encode(CARD_PPM));
  if (!p || p.error) { setStatus('status.no_card', false, p ? p.error : t('status.engine_stopped')); return; }
  card = { name: 'cartello.ppm', width: p.width, height: p.height, rgba: p.rgba, serial: 0 };
  buildMirrorFields();
  addFaceFileField($('eye_auto').closest('fieldset'), (path, bytes) => {
    previewWorker.file(path, bytes.slice(0));
    fullWorker.file(path, bytes);
  }, later);
  // A refusal beside its field is read out as it appears.
  document.querySelectorAll('.error').forEach((e) => e.setAttribute('aria-live', 'polite'));
  $('form').addEventListener('input', changed);
  $('form').addEventListener('change', changed);
  $('picture_input').addEventListener('change', (e) => { if (e.target.files[0]) takePicture(e.target.files[0]); });
  const drop = $('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault(); drop.classList.remove('over');
    if (e.dataTransfer.files[0]) takePicture(e.dataTransfer.files[0]);
  });
  $('get_pdf').addEventListener('click', downloadPdf);
  $('get_png').addEventListener('click', async () => {
    if (!await fullPrint()) return;
    setStatus('status.writing_png', true);
    save(printPng(last.result, last.cells), 'anamorfosi.png', 'image/png');
    setStatus(last.result.fidelity_warning ? 'downloaded_unfaithful' : 'status.png_done', false);
  });
  $('get_scene').addEventListener('click', () => save(shown.result.scene, 'anamorfosi.json', 'application/json'));
  showMirrorFields();
  refresh();
}

// The words drawn from the print shown: the sheets it needs on the paper
// chosen, where to look from, how to stand the mirror.
let shownResult = null;
function showWords() {
  const r = shownResult;
  $('sheets').textContent = r ? sheetsWords(r.sheets, $('paper').value) : '';
  $('eye_words').textContent = r ? lookWords(r.placement, $('units').value) : '';
  $('placement').textContent = r ? placementWords(r.placement, $('units').value) : '';
}

// While a value is refused the last preview stays, greyed, with the reason.
function showStale(reason) {
  $('pictures').classList.toggle('stale', reason !== undefined && shownResult !== null);
  $('stale').hidden = reason === undefined || shownResult === null;
  $('stale').textContent = reason === undefined ? '' : t('pictures.stale', reason);
}

// Everything on the page told again in the language chosen.
setUpLanguageSwitch(document, () => {
  if (shownStatus) setStatus(shownStatus.key, shownStatus.isBusy, ...shownStatus.args);
  if (KINDS) {
    for (const o of $('mirror').options) o.textContent = kindChoice(kinds.get(o.value));
    showMirrorFields();
  }
  if (shownError) {
    const reason = showErrors(shownError.field, shownError.message, shownError.key);
    if (!$('stale').hidden) showStale(reason);
  }
  if (picture && $('picture_name').textContent) 
    $('picture_name').textContent = t('picture.size', picture.name, picture.width, picture.height);
  if (fidelityShown) showFidelity(...fidelityShown);
  showWords();
});
