'use strict';
// The page: the form's values go to the server, which runs the command and
// answers the print, the view from the eye and the fidelity line.
const $ = (id) => document.getElementById(id);
const uploads = { picture: null, mirror_file: null, face_file: null };
let busy = false, dirty = false, timer = null, generation = 0;

function source() { return document.querySelector('input[name=source]:checked').value; }
function num(id) { const v = $(id).value; return v === '' ? null : Number(v); }

function formValues() {
  const f = { mirror: $('mirror').value, units: $('units').value, paper: $('paper').value,
              dpi: num('dpi'), accuracy: num('accuracy'), radius: num('radius'), height: num('height'),
              axis_x: num('axis_x'), axis_y: num('axis_y') };
  if (source() === 'card') f.picture = 'card';
  else if (source() === 'upload') f.picture = uploads.picture;
  else { f.grid_columns = num('grid_columns'); f.grid_rows = num('grid_rows'); }
  if (f.mirror === 'specchio' || f.mirror === 'generico') f.mirror_file = uploads.mirror_file;
  if (f.mirror === 'generico') f.face_file = uploads.face_file;
  if (!$('eye_auto').checked || f.mirror === 'generico') {
    f.eye_x = num('eye_x'); f.eye_y = num('eye_y'); f.eye_z = num('eye_z');
  }
  return f;
}

function showErrors(field, text) {
  document.querySelectorAll('.error').forEach((e) => { e.textContent = ''; });
  if (text === undefined) return;
  const box = document.querySelector('.error[data-for="' + field + '"]') || document.querySelector('.error[data-for=""]');
  box.textContent = text;
}

function setStatus(text, isBusy) { $('status').textContent = text; $('status').className = isBusy ? 'busy' : ''; }

// A reduced preview first (fewer cells, a smaller view), then the full one.
async function refresh() {
  if (busy) { dirty = true; return; }
  busy = true; dirty = false;
  const mine = ++generation;
  const f = formValues();
  if (source() === 'upload' && !f.picture) { setStatus('Drop a picture or choose one.', false); busy = false; return; }
  try {
    const reduced = Object.assign({}, f, { dpi: Math.min(f.dpi || 300, 50), accuracy: 2, antialias: 1 });
    setStatus('Making a quick preview...', true);
    if (await preview(reduced, 400) && !dirty) {
      setStatus('Making the full preview...', true);
      if (await preview(f, 900)) setStatus('Ready: the preview shows the print you will download.', false);
    }
  } catch (e) {
    setStatus('The server cannot be reached: is anamorfosi serve still running?', false);
  }
  busy = false;
  if (dirty) refresh();
  return mine;
}

async function preview(f, size) {
  const r = await fetch('/api/preview?size=' + size, { method: 'POST', body: JSON.stringify(f) });
  const body = await r.json();
  if (!r.ok) { showErrors(body.field || '', body.error); setStatus('This set-up cannot work: see the message in red.', false); return false; }
  showErrors();
  $('print').src = 'data:image/png;base64,' + body.print;
  $('view').src = 'data:image/png;base64,' + body.view;
  $('fidelity').textContent = body.fidelity || '';
  $('report').innerHTML = '';
  for (const line of (body.report || []).concat(body.warnings || [])) {
    const li = document.createElement('li'); li.textContent = line; $('report').appendChild(li);
    const eye = /^eye: \(([-\d.e]+), ([-\d.e]+), ([-\d.e]+)\)/.exec(line);
    if (eye) plan([+eye[1], +eye[2], +eye[3]]);
  }
  if ((body.warnings || []).some((w) => w.startsWith('warning'))) showErrors('eye', body.warnings.find((w) => w.startsWith('warning')));
  if (!$('eye_auto').checked) plan([num('eye_x'), num('eye_y'), num('eye_z')]);
  $('print').dataset.generation = String(generation);
  return true;
}

// The set-up from above: the mirror's footprint, the eye, the sight line.
function plan(eye) {
  const svg = $('plan');
  const r = num('radius') || 1, ax = num('axis_x') || 0, ay = num('axis_y') || 0;
  const axial = ['cilindro', 'cono'].includes($('mirror').value);
  const span = Math.max(4 * r, eye ? Math.hypot(eye[0] - ax, eye[1] - ay) * 1.2 : 0, 1);
  const s = 110 / span, X = (x) => 120 + (x - ax) * s, Y = (y) => 120 - (y - ay) * s;
  let h = '<rect x="0" y="0" width="240" height="240" fill="#fff"/>';
  if (axial) h += '<circle cx="120" cy="120" r="' + r * s + '" fill="#cde" stroke="#357"/>';
  else h += '<text x="120" y="124" text-anchor="middle" font-size="11">mirror from the file</text>';
  if (eye) {
    h += '<line x1="' + X(eye[0]) + '" y1="' + Y(eye[1]) + '" x2="120" y2="120" stroke="#999" stroke-dasharray="3"/>';
    h += '<circle cx="' + X(eye[0]) + '" cy="' + Y(eye[1]) + '" r="4" fill="#b00"/>';
    h += '<text x="' + (X(eye[0]) + 6) + '" y="' + Y(eye[1]) + '" font-size="11">eye, ' + eye[2] + ' up</text>';
  }
  svg.innerHTML = h;
}

function later() { clearTimeout(timer); timer = setTimeout(refresh, 300); }

async function upload(file, role) {
  const data = new FormData();
  data.append('role', role);
  data.append('file', file);
  setStatus('Sending ' + file.name + '...', true);
  const r = await fetch('/api/upload', { method: 'POST', body: data });
  const body = await r.json();
  if (!r.ok) { showErrors(body.field || role, body.error); setStatus('That file cannot be used.', false); return; }
  uploads[role] = body.id;
  if (role === 'picture') $('source_upload').checked = true;
  later();
}

async function download(kind) {
  const r = await fetch('/api/download?kind=' + kind, { method: 'POST', body: JSON.stringify(formValues()) });
  if (!r.ok) { const body = await r.json(); showErrors(body.field || 'download', body.error); return; }
  const a = document.createElement('a');
  a.href = URL.createObjectURL(await r.blob());
  a.download = kind === 'scene' ? 'anamorfosi.json' : 'anamorfosi.' + kind;
  document.body.appendChild(a); a.click(); a.remove();
}

function showMirrorFields() {
  const m = $('mirror').value;
  document.querySelectorAll('.axial').forEach((e) => { e.hidden = !['cilindro', 'cono'].includes(m); });
  document.querySelectorAll('.cone').forEach((e) => { e.hidden = m !== 'cono'; });
  document.querySelectorAll('.file').forEach((e) => { e.hidden = !['specchio', 'generico'].includes(m); });
  document.querySelectorAll('.mesh').forEach((e) => { e.hidden = m !== 'generico'; });
}

$('form').addEventListener('input', (e) => {
  if (e.target.type === 'file') return;
  if (['eye_x', 'eye_y', 'eye_z'].includes(e.target.id)) $('eye_auto').checked = false;
  showMirrorFields(); later();
});
$('picture_input').addEventListener('change', (e) => { if (e.target.files[0]) upload(e.target.files[0], 'picture'); });
$('mirror_input').addEventListener('change', (e) => { if (e.target.files[0]) upload(e.target.files[0], 'mirror_file'); });
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
