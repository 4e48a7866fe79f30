// The picture face given as a DXF file (the command's --face FILE: the plane
// of its last 3DFACE is where the eye sees the picture), in place of the
// automatic face; offered for every mirror, as the command offers it.
import { addTexts, onLanguage, t } from './i18n.mjs';

addTexts({
  en: {
    face_file_label: 'picture face from a DXF file (instead of the automatic one)',
    face_file_clear: 'use the automatic face',
  },
  it: {
    face_file_label: 'faccia dell\'immagine da un file DXF (al posto di quella automatica)',
    face_file_clear: 'usa la faccia automatica',
  },
});

let path = '';

// The face's path in the module's memory, or '' for the automatic face.
export function faceFile() { return path; }

// Adds the field at the end of parent; putFile(path, bytes) puts the file in
// the module's memory, changed() is called when the face changes.
export function addFaceFileField(parent, putFile, changed) {
  const box = document.createElement('div');
  box.dataset.field = 'face';
  box.innerHTML = '<label><span class="label" id="face_file_label"></span> <input type="file" id="face_file_input" ' +
                  'accept=".dxf"></label> <button type="button" id="face_file_clear" hidden></button>' +
                  '<div id="face_file_name" class="name"></div><div class="error" data-for="face"></div>';
  parent.appendChild(box);
  const words = () => {
    box.querySelector('#face_file_label').textContent = t('face_file_label');
    box.querySelector('#face_file_clear').textContent = t('face_file_clear');
  };
  words();
  onLanguage(words);
  const input = box.querySelector('#face_file_input'), clear = box.querySelector('#face_file_clear');
  input.addEventListener('change', async () => {
    const file = input.files[0];
    if (!file) return;
    // Apart from the mirror's files, whatever its name.
    path = '/face_' + file.name.replace(/[^A-Za-z0-9._-]/g, '_');
    putFile(path, await file.arrayBuffer());
    box.querySelector('#face_file_name').textContent = file.name;
    clear.hidden = false;
    changed();
  });
  clear.addEventListener('click', () => {
    path = '';
    input.value = '';
    box.querySelector('#face_file_name').textContent = '';
    clear.hidden = true;
    changed();
  });
}
