'use strict';
// The page: the form's values go to the server, which runs the command and
// answers the print, the view from the eye and the fidelity line.
const $ = (id) => document.getElementById(id);
const uploads = { picture: null, face_file: null };
// This page's name for the server, so that a newer preview ends its older ones.
const pageId = Math.random().toString(36).slice(2, 12) || 'page';
let timer = null, generation = 0;
let reportedEye = null;  // the eye the last answer named (plane and mesh mirrors place it themselves)
let sheet = null;        // the print's rectangle of the last answer, with the generation it is for

function source() { return document.querySelector('input[name=source]:checked').value; }
function num(id) { const v = $(id).value; return v === '' ? null : Number(v); }

// The mirror kinds as the server lists them (kinds.js): each value's field,
// its kind of value and its words. The chosen kind and its values of a kind.
const kinds = new Map(KINDS.kinds.map((k) => [k.name, k]));
function kind() { return kinds.get($('mirror').value); }
function valuesOf(k, type) { return k.parameters.filter((p) => p.value === type); }
// The value that places a kind: its point on the sheet, or its point in space.
function placeOf(k) { return valuesOf(k, 'plan point')[0] || valuesOf(k, 'point')[0]; }
// A kind placed by a point with a length round it (its first): drawn from
// above as that circle, its usual eye placed from them.
function standing(k) { return placeOf(k) && valuesOf(k, 'length')[0] ? k : null; }

// The mirror choice and the fields of every kind's values, each field once
// (kinds that share one keep its value); showMirrorFields shows the chosen
// kind's. Numbers, then the point the mirror stands on, then the files, the
// picture face of a kind that takes it as a file and the switches.
function buildMirrorFields() {
  for (const k of KINDS.kinds) {
    const o = document.createElement('option');
    o.value = k.name; o.textContent = k.choice || k.words;
    $('mirror').appendChild(o);
  }
  const seen = new Set();
  const fields = (type) => KINDS.kinds.flatMap((k) => valuesOf(k, type)).filter((p) => !seen.has(p.field) && seen.add(p.field));
  const attr = (v) => String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
  const lengths = fields('length'), points = fields('plan point'), files = fields('file'), flags = fields('flag');
  const spacePoints = fields('point');
  const angles = fields('angle');
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
  // A point in space: its Z may be left empty where the kind places it.
  for (const p of spacePoints) {
    const at = (p.default || '0,0').split(',');
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span>: X <input type="number" id="' +
         attr(p.field) + '_x" value="' + attr(at[0]) + '" step="any"></label> <label>Y <input type="number" id="' +
         attr(p.field) + '_y" value="' + attr(at[1]) + '" step="any"></label> <label>Z <input type="number" id="' +
         attr(p.field) + '_z" value="' + attr(at[2] || '') + '" step="any"' +
         (p.z_left_out ? ' placeholder="standing"' : '') + '> <span class="unit">mm</span></label></span>';
  }
  h += '</div>';
  for (const p of lengths.concat(points, spacePoints)) h += '<div class="error" data-for="' + attr(p.field) + '"></div>';
  for (const p of files) {
    uploads[p.field] = null;
    h += '<div data-field="' + attr(p.field) + '"><label><span class="label"></span> <input type="file" id="' +
         attr(p.field.replace(/_file$/, '')) + '_input" accept=".dxf"></label><div id="' + attr(p.field) +
         '_name" class="name"></div></div><div class="error" data-for="' + attr(p.field) + '"></div>';
  }
  h += '<div class="face-given"><label>picture face (where the picture should appear: one 3DFACE in a DXF file) ' +
       '<input type="file" id="face_input" accept=".dxf"></label><div id="face_file_name" class="name"></div></div>';
  for (const p of flags)
    h += '<span data-field="' + attr(p.field) + '"><label><input type="checkbox" id="' + attr(p.field) +
         '"> <span class="label"></span></label></span>';
  // An angle (a smooth mesh's crease) goes with the switches, in degrees.
  for (const p of angles)
    h += '<span data-field="' + attr(p.field) + '"><label><span class="label"></span> <input type="number" id="' +
         attr(p.field) + '" value="' + attr(p.default) + '" min="0" max="89.9" step="any"> degrees</label></span>';
  for (const p of angles) h += '<div class="error" data-for="' + attr(p.field) + '"></div>';
  h += '<div class="error" data-for="face_file"></div>';
  $('mirror_fields').innerHTML = h;
  for (const p of files)
    $(p.field.replace(/_file$/, '') + '_input').addEventListener('change', (e) => {
      if (e.target.files[0]) upload(e.target.files[0], p.field);
    });
}

function formValues() {
  const k = kind();
  const f = { mirror: $('mirror').value, units: $('units').value, paper: $('paper').value,
              dpi: num('dpi'), accuracy: num('accuracy') };
  for (const p of k.parameters) {
    if (p.value === 'length') f[p.field] = num(p.field);
    else if (p.value === 'plan point') { f[p.field + '_x'] = num(p.field + '_x'); f[p.field + '_y'] = num(p.field + '_y'); }
    else if (p.value === 'point') for (const c of ['_x', '_y', '_z']) f[p.field + c] = num(p.field + c);
    else if (p.value === 'file') f[p.field] = uploads[p.field];
    else if (p.value === 'flag') f[p.field] = $(p.field).checked;
    else if (p.value === 'angle') f[p.field] = num(p.field);
  }
  if (source() === 'card') f.picture = 'card';
  else if (source() === 'upload') f.picture = uploads.picture;
  else { f.grid_columns = num('grid_columns'); f.grid_rows = num('grid_rows'); }
  if (!k.automatic_face) f.face_file = uploads.face_file;
  if (!$('eye_auto').checked || !k.automatic_face) {
    f.eye_x = num('eye_x'); f.eye_y = num('eye_y'); f.eye_z = num('eye_z');
  }
  return f;
}

function showErrors(field, text) {
  document.querySelectorAll('.error').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('.wrong').forEach((e) => e.classList.remove('wrong'));
  if (text === undefined) return;
  const box = document.querySelector('.error[data-for="' + field + '"]') || document.querySelector('.error[data-for=""]');
  box.textContent = text;
  const set = box.closest('fieldset');
  if (set && box.dataset.for !== '') set.classList.add('wrong');
}

// The status line; while busy it counts the seconds, so that a long full
// preview of a large photo reads as work going on.
let ticking = null;
function setStatus(text, isBusy) {
  clearInterval(ticking);
  $('status').textContent = text;
  $('status').className = isBusy ? 'busy' : '';
  if (!isBusy) return;
  const start = Date.now();
  ticking = setInterval(() => {
    $('status').textContent = text + ' ' + Math.round((Date.now() - start) / 1000) + ' s';
  }, 1000);
}

// Each change asks first for a quick preview (the picture reduced, a few
// hundred cells, the coarsest sampling), then for the full one; a newer change
// ends both on the server and its answers are never shown.
async function refresh() {
  const mine = ++generation;
  const f = formValues();
  plan();
  if (source() === 'upload' && !f.picture) { setStatus('Drop a picture or choose one.', false); return; }
  try {
    const quick = Object.assign({}, f, { pixels: 400, accuracy: 2, antialias: 1 });
    setStatus('Making a quick preview...', true);
    if (!await preview(quick, 500, true, mine)) return;
    setStatus('Quick preview shown; making the full one...', true);
    const full = await preview(f, 900, false, mine);
    if (!full) return;
    if (full.faithful === false) setStatus('Made, but the print is wrong: see the warning in red beside the preview.', false);
    else setStatus('Ready: the preview shows the print you will download.', false);
  } catch (e) {
    if (mine === generation) setStatus('The server cannot be reached: is anamorfosi serve still running?', false);
  }
}

// Shows one preview and answers the server's answer; null when it failed or
// newer values came meanwhile.
async function preview(f, size, quick, mine) {
  const r = await fetch('/api/preview?size=' + size + (quick ? '&quick=1' : '') + '&page=' + pageId +
                        '&generation=' + mine, { method: 'POST', body: JSON.stringify(f) });
  const body = await r.json();
  if (mine !== generation || body.superseded) return null;
  if (!r.ok) {
    showErrors(body.field || '', body.error);
    setStatus('This set-up cannot work: see the message in red.', false);
    return null;
  }
  showErrors();
  $('print').dataset.quality = quick ? 'quick' : 'full';
  $('print').src = 'data:image/png;base64,' + body.print;
  $('view').src = 'data:image/png;base64,' + body.view;
  $('closeup').src = 'data:image/png;base64,' + body.closeup;
  $('fidelity').textContent = (quick ? '(quick preview, reduced picture) ' : '') + (body.fidelity || '');
  // A print that fails its fidelity check is said so in red beside the preview.
  $('fidelity_warning').textContent = body.fidelity_warning || '';
  $('report').innerHTML = '';
  let printSize = null, place = null, sheets = '';
  for (const line of (body.report || []).concat(body.warnings || [])) {
    if (line === body.fidelity_warning) continue;  // shown in red beside the preview
    // The sheets the print takes on the chosen paper, beside the downloads.
    if (line.startsWith('paper: ')) sheets = 'Paper: ' + line.slice(7) + '.';
    const li = document.createElement('li'); li.textContent = line; $('report').appendChild(li);
    const eye = /^eye: \(([-\d.e+]+), ([-\d.e+]+), ([-\d.e+]+)\)/.exec(line);
    if (eye) reportedEye = [+eye[1], +eye[2], +eye[3]];
    const s = /^print: .*, ([\d.]+) x ([\d.]+) mm/.exec(line);
    if (s) printSize = [+s[1], +s[2]];
    const p = /^mirror on the print: centre ([\d.]+) mm from the left edge, ([\d.]+) mm from the top edge/.exec(line);
    if (p) place = [+p[1], +p[2]];
  }
  sheet = printSize && place ? { size: printSize, place, generation: mine } : null;
  $('sheets').textContent = sheets;
  // The eye the command chose, shown in its empty fields.
  ['eye_x', 'eye_y', 'eye_z'].forEach((id, i) => { $(id).placeholder = reportedEye ? String(reportedEye[i]) : ''; });
  const warning = (body.warnings || []).find((w) => w.startsWith('warning') && w !== body.fidelity_warning);
  if (warning) showErrors('eye', warning);
  plan();
  return body;
}

const MM = { mm: 1, cm: 10, in: 25.4 };

// The set-up from above, from the form's numbers (so that it follows them even
// when the server refuses them): the mirror's footprint, the eye and its sight
// line, and the print's sheet once a preview of these very values has told it.
function plan() {
  const svg = $('plan');
  const k = kind(), u = $('units').value;
  const stands = standing(k);
  // A mirror from its file is drawn at the scale of the page's first length.
  const at = stands ? placeOf(k).field : null;
  const first = document.querySelector('#mirror_fields .numbers input');
  const round = stands ? valuesOf(k, 'length')[0].field : first ? first.id : null;
  const r = round ? Math.max(num(round) || 0, 0) : 0, ax = stands ? num(at + '_x') || 0 : 0;
  const ay = stands ? num(at + '_y') || 0 : 0;
  let eye = null;
  if (!$('eye_auto').checked || !k.automatic_face) {
    const e = [num('eye_x'), num('eye_y'), num('eye_z')];
    if (e.every((v) => v !== null && isFinite(v))) eye = e;
  } else if (stands && k.eye.per) {
    // The kind's usual eye: the point it stands on plus multiples of one of its lengths.
    const v = k.eye.per === round ? r : num(k.eye.per) || 0, o = k.eye.offset;
    eye = [ax + o[0] * v, ay + o[1] * v, o[2] * v];
  } else eye = reportedEye;
  const cx = stands ? ax : (eye ? eye[0] : 0), cy = stands ? ay : (eye ? eye[1] + 1 : 0);
  let box = null;
  if (sheet && sheet.generation === generation && stands) {
    const k = 1 / MM[u];
    box = { x0: ax - sheet.place[0] * k, y1: ay + sheet.place[1] * k, w: sheet.size[0] * k, h: sheet.size[1] * k };
  }
  let span = Math.max(2.2 * r, 1);
  if (eye) span = Math.max(span, 1.15 * Math.hypot(eye[0] - cx, eye[1] - cy));
  if (box) span = Math.max(span, ...[[box.x0, box.y1], [box.x0 + box.w, box.y1 - box.h]].map(
    ([x, y]) => 1.1 * Math.max(Math.abs(x - cx), Math.abs(y - cy))));
  const s = 105 / span, X = (x) => 120 + (x - cx) * s, Y = (y) => 120 - (y - cy) * s;
  let h = '<rect x="0" y="0" width="240" height="240" fill="#fff"/>';
  if (box)
    h += '<rect x="' + X(box.x0) + '" y="' + Y(box.y1) + '" width="' + box.w * s + '" height="' + box.h * s +
         '" fill="#f6f3e8" stroke="#a96" stroke-dasharray="4 2"/><text x="' + (X(box.x0) + 3) + '" y="' +
         (Y(box.y1) + 11) + '" font-size="10" fill="#a96">the print</text>';
  if (stands) h += '<circle cx="' + X(ax) + '" cy="' + Y(ay) + '" r="' + Math.max(r * s, 1) + '" fill="#cde" stroke="#357"/>';
  else h += '<text x="120" y="20" text-anchor="middle" font-size="11">mirror: from its file</text>';
  if (eye) {
    h += '<line x1="' + X(eye[0]) + '" y1="' + Y(eye[1]) + '" x2="' + X(cx) + '" y2="' + Y(cy) +
         '" stroke="#999" stroke-dasharray="3"/>';
    h += '<circle cx="' + X(eye[0]) + '" cy="' + Y(eye[1]) + '" r="4" fill="#b00"/>';
    const left = X(eye[0]) > 150;
    h += '<text x="' + (X(eye[0]) + (left ? -6 : 6)) + '" y="' + (Y(eye[1]) + 4) + '" font-size="11"' +
         (left ? ' text-anchor="end"' : '') + '>eye, ' + +eye[2].toFixed(2) + ' ' + u + ' up</text>';
  }
  h += '<text x="236" y="236" text-anchor="end" font-size="9" fill="#777">seen from above, Y up</text>';
  svg.innerHTML = h;
}

function later() { clearTimeout(timer); plan(); timer = setTimeout(refresh, 300); }

async function upload(file, role) {
  const data = new FormData();
  data.append('role', role);
  data.append('file', file);
  setStatus('Sending ' + file.name + '...', true);
  let r, body;
  try {
    r = await fetch('/api/upload', { method: 'POST', body: data });
    body = await r.json();
  } catch (e) {
    setStatus('The server cannot be reached: is anamorfosi serve still running?', false);
    return;
  }
  if (!r.ok) { showErrors(body.field || role, body.error); setStatus('That file cannot be used.', false); return; }
  uploads[role] = body.id;
  const name = $(role + '_name');
  if (name) name.textContent = file.name + (body.width ? ' (' + body.width + ' x ' + body.height + ' pixels)' : '');
  if (role === 'picture') $('source_upload').checked = true;
  later();
}

async function download(kind) {
  const names = { pdf: 'the PDF', png: 'the PNG', scene: 'the scene file' };
  setStatus('Making ' + names[kind] + ' at full size...', true);
  const r = await fetch('/api/download?kind=' + kind, { method: 'POST', body: JSON.stringify(formValues()) });
  if (!r.ok) {
    const body = await r.json();
    showErrors(body.field || 'download', body.error);
    setStatus('This set-up cannot work: see the message in red.', false);
    return;
  }
  const a = document.createElement('a');
  a.href = URL.createObjectURL(await r.blob());
  a.download = kind === 'scene' ? 'anamorfosi.json' : 'anamorfosi.' + kind;
  document.body.appendChild(a); a.click(); a.remove();
  setStatus('Downloaded ' + a.download + (kind === 'pdf' ? ': print it at 100 % ("actual size").' : '.'), false);
}

function showMirrorFields() {
  const k = kind();
  const mine = new Map(k.parameters.map((p) => [p.field, p]));
  document.querySelectorAll('#mirror_fields [data-field]').forEach((e) => {
    const p = mine.get(e.dataset.field);
    e.hidden = !p;
    if (!p) return;
    e.querySelector('.label').textContent = p.label;
    const file = e.querySelector('input[type=file]');
    if (file && k.accept) file.accept = k.accept;
  });
  document.querySelector('#mirror_fields .numbers').hidden =
    !k.parameters.some((p) => ['length', 'plan point', 'point'].includes(p.value));
  document.querySelector('#mirror_fields .face-given').hidden = k.automatic_face;
  $('eye_auto').disabled = !k.automatic_face;
  if (!k.automatic_face) $('eye_auto').checked = false;
  document.querySelectorAll('.unit').forEach((e) => { e.textContent = $('units').value; });
}

// Lists, boxes and buttons tell their changes by "change" in some browsers
// only; both come to the same (delayed) refresh.
function changed(e) {
  if (e.target.type === 'file') return;
  if (['eye_x', 'eye_y', 'eye_z'].includes(e.target.id)) $('eye_auto').checked = false;
  if (['grid_columns', 'grid_rows'].includes(e.target.id)) document.querySelector('input[value=grid]').checked = true;
  showMirrorFields(); later();
}
buildMirrorFields();
$('form').addEventListener('input', changed);
$('form').addEventListener('change', changed);
$('picture_input').addEventListener('change', (e) => { if (e.target.files[0]) upload(e.target.files[0], 'picture'); });
$('face_input').addEventListener('change', (e) => { if (e.target.files[0]) upload(e.target.files[0], 'face_file'); });
const drop = $('drop');
drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (e) => {
  e.preventDefault(); drop.classList.remove('over');
  if (e.dataTransfer.files[0]) upload(e.dataTransfer.files[0], 'picture');
});
$('get_pdf').addEventListener('click', () => download('pdf'));
$('get_png').addEventListener('click', () => download('png'));
$('get_scene').addEventListener('click', () => download('scene'));
showMirrorFields();
refresh();
