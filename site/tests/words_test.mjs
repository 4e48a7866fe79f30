// The page's words: every English text has an Italian one; no text of the
// page's HTML is left outside the words' tables; the page's script passes its
// statuses and messages through them; where to look from and the sheets said
// as a user reads them.
//   node words_test.mjs INDEX_HTML APP_MJS
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { setLanguage, t, textKeys, untranslated } from '../src/i18n.mjs';
import { lengthWords, lookWords, placementWords, plainError, sheetsWords } from '../src/words.mjs';
// The other parts of the page that add texts of their own.
import '../src/eye_drag.mjs';
import '../src/face_file.mjs';
import '../src/mesh_read.mjs';
import '../src/preview.mjs';

const [indexHtml, appMjs] = process.argv.slice(2);
const fails = [];
const check = (ok, what) => { if (!ok) fails.push(what); };

// Every English key has an Italian text, and no Italian text is left without its English key.
setLanguage('en');
check(untranslated().length === 0, 'English keys without Italian: ' + untranslated().join(', '));
const english = (key) => { setLanguage('en'); const v = t(key); return v === key ? null : v; };
const italian = (key) => { setLanguage('it'); const v = t(key); setLanguage('en'); return v; };

// The page's HTML read as tags and texts: a text must lie in an element whose
// words come from the tables (data-t, data-t-html) or that is not to be
// translated (translate="no": units, paper names, the languages' own names);
// a title, aria-label, placeholder or alt must have its data-t-... key.
const html = fs.readFileSync(indexHtml, 'utf8').replace(/<!--[\s\S]*?-->/g, '');
const voids = new Set(['meta', 'link', 'input', 'br', 'img', 'hr']);
const stack = [];
let at = 0;
const keys = [];
while (at < html.length) {
  const open = html.indexOf('<', at);
  const text = html.slice(at, open < 0 ? html.length : open).trim();
  if (text && !/^<!doctype/i.test(text)) {
    const covered = stack.some((e) => e.translated);
    check(covered, 'untranslated text in index.html: "' + text.slice(0, 60) + '" in <' +
                   (stack.length ? stack[stack.length - 1].name : '') + '>');
  }
  if (open < 0) break;
  const close = html.indexOf('>', open);
  const tag = html.slice(open + 1, close);
  at = close + 1;
  if (tag.startsWith('!')) continue;
  if (tag.startsWith('/')) {
    const name = tag.slice(1).trim().toLowerCase();
    const i = stack.map((e) => e.name).lastIndexOf(name);
    check(i >= 0, 'index.html: </' + name + '> closes nothing');
    if (i >= 0) stack.length = i;
    continue;
  }
  const name = tag.split(/[\s/]/)[0].toLowerCase();
  const attributes = {};
  for (const m of tag.matchAll(/([a-zA-Z-]+)(?:="([^"]*)")?/g)) attributes[m[1].toLowerCase()] = m[2] ?? '';
  delete attributes[name];
  for (const a of ['title', 'aria-label', 'placeholder', 'alt']) {
    if (a in attributes && !('data-t-' + a in attributes) && attributes.translate !== 'no' &&
        !stack.some((e) => e.noTranslate))
      check(false, 'index.html: <' + name + '> ' + a + '="' + attributes[a] + '" has no data-t-' + a);
  }
  for (const a of ['data-t', 'data-t-html', 'data-t-title', 'data-t-aria-label', 'data-t-placeholder'])
    if (a in attributes) keys.push(attributes[a]);
  if (name === 'script' || name === 'style') {
    at = html.indexOf('>', html.indexOf('</' + name, at)) + 1;
    continue;
  }
  if (voids.has(name) || tag.endsWith('/')) continue;
  stack.push({ name, translated: 'data-t' in attributes || 'data-t-html' in attributes || attributes.translate === 'no',
               noTranslate: attributes.translate === 'no' });
}
check(stack.length === 0, 'index.html: elements left open: ' + stack.map((e) => e.name).join(' '));
check(keys.length > 20, 'index.html: only ' + keys.length + ' texts marked');
for (const k of keys) check(english(k) !== null, 'index.html: key "' + k + '" has no English text');

// The page's script: its statuses, messages and labels are keys of the
// tables, never English written in place.
const app = fs.readFileSync(appMjs, 'utf8');
for (const m of app.matchAll(/\b(?:setStatus|t)\('([^']*)'/g))
  check(english(m[1]) !== null, 'app.mjs: key "' + m[1] + '" has no English text');
for (const m of app.matchAll(/(?:textContent\s*=|setStatus\(|showErrors\([^,)]*,)\s*'([^']*[a-z] [a-z][^']*)'/g))
  check(false, 'app.mjs: English written in place: "' + m[1] + '"');

// No text is left in the tables that no part of the page asks for: each key
// is named, quoted, somewhere in the page's sources other than its own
// definition (a line that starts with it), or begins with a prefix the
// sources complete ('kind.' + name).
{
  const folder = path.dirname(appMjs);
  const sources = fs.readdirSync(folder).filter((f) => /\.m?js$/.test(f) && f !== 'i18n.mjs')
    .map((f) => fs.readFileSync(path.join(folder, f), 'utf8'));
  sources.push(html);
  const all = sources.join('\n');
  const prefixes = [...new Set([...all.matchAll(/'([a-z_]+\.)' \+/g)].map((m) => m[1]))];
  const quoted = (k) => new RegExp('(?<!^[ \\t]*)[\'"`]' + k.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + '[\'"`]', 'm');
  const unused = textKeys().filter((k) => !prefixes.some((p) => k.startsWith(p)) && !quoted(k).test(all));
  check(unused.length === 0, 'texts no part of the page uses: ' + unused.join(', '));
}

// The refusals in plain words, with the field's own words and unit and
// without the engine's option names; what is not known keeps the engine's
// text as its detail.
const can = plainError('radius', '--radius: the cylinder\'s radius must be above 0', { kind: 'cilindro' });
check(can.text === 'The can\'s radius must be more than 0 mm.' && can.detail === '', 'cylinder radius: ' + can.text);
const cone = plainError('radius', 'scene: "base_radius" must be a number', { kind: 'cono', units: 'cm' });
check(cone.text === 'The cone\'s base radius must be more than 0 cm.', 'cone radius: ' + cone.text);
const odd = plainError('eye', 'eye: something new', { kind: 'cilindro' });
check(odd.text === 'This eye cannot be used.' && odd.detail === 'eye: something new', 'unknown eye refusal');
check(plainError('', 'a fault nobody foresaw').detail === 'a fault nobody foresaw', 'an unknown field keeps the text');
setLanguage('it');
const palla = plainError('radius', '--radius: the sphere\'s radius must be above 0', { kind: 'sfera' });
check(palla.text === 'La sfera: il raggio deve essere più di 0 mm.', 'Italian ball radius: ' + palla.text);
setLanguage('en');

// Lengths as a ruler reads them: centimetres, whole from 10 cm, inches to a tenth.
check(lengthWords(400, 'mm') === '40 cm' && lengthWords(45, 'cm') === '4.5 cm' &&
      lengthWords(254, 'in') === '10 in', 'lengths: ' + [lengthWords(400, 'mm'), lengthWords(45, 'cm')]);
const place = { circle: true, has_eye: true, distance_mm: 403, height_mm: 331 };
check(lookWords(place, 'mm') === 'Look from 40 cm in front of the mirror, 33 cm above the sheet.',
      'look: ' + lookWords(place, 'mm'));
check(lookWords({ ...place, distance_mm: 0.2 }, 'mm') === 'Look straight down from 33 cm above the middle of the mirror.',
      'look from above');
check(placementWords(place, 'mm') ===
      'Stand the mirror on the circle; look from 40 cm in front, 33 cm up, along the arrow.', 'placement');
setLanguage('it');
check(lookWords(place, 'mm') === 'Guarda da 40 cm davanti allo specchio, 33 cm sopra il foglio.', 'Italian look');
check(lengthWords(45, 'mm') === '4,5 cm', 'Italian decimal comma: ' + lengthWords(45, 'mm'));
setLanguage('en');
const sheets = { A4: { tiles: 4, pages: 5 }, A3: { tiles: 1, pages: 1 } };
check(sheetsWords(sheets, 'A3') === 'The print fits on one A3 sheet.', 'one sheet');
check(sheetsWords(sheets, 'A4').startsWith('The print needs 4 A4 sheets'), 'four sheets');

if (fails.length) {
  console.error(fails.join('\n'));
  process.exit(1);
}
console.log('words: every check passed (' + keys.length + ' texts of index.html)');
