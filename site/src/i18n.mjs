// The page's words in English and Italian. Each part of the page adds its own
// table of texts; the language is the browser's first one we speak, unless
// the reader picks the other, and every part redraws its words on a change.
export const LANGUAGES = ['en', 'it'];
const tables = { en: {}, it: {} };
const listeners = [];

function browserLanguage() {
  const wanted = (typeof navigator !== 'undefined' && navigator.languages) || [];
  for (const l of wanted) {
    const base = String(l).toLowerCase().split('-')[0];
    if (LANGUAGES.includes(base)) return base;
  }
  return 'en';
}
let current = browserLanguage();

// table: {en: {key: text}, it: {key: text}}; "{0}", "{1}"... are the arguments of t.
export function addTexts(table) {
  for (const l of LANGUAGES) Object.assign(tables[l], table[l] || {});
}

// The text of key in the current language (English when a text has no
// translation yet, the key itself when it has no text at all).
export function t(key, ...args) {
  const text = tables[current][key] ?? tables.en[key] ?? key;
  return text.replace(/\{(\d+)\}/g, (_, i) => String(args[Number(i)]));
}

export function language() { return current; }

export function setLanguage(l) {
  if (!LANGUAGES.includes(l) || l === current) return;
  current = l;
  if (typeof document !== 'undefined') document.documentElement.lang = l;
  for (const f of listeners) f(l);
}

export function onLanguage(f) { listeners.push(f); }

// Keys with an English text but no Italian one, for the tests.
export function untranslated() {
  return Object.keys(tables.en).filter((k) => !(k in tables.it));
}

// Every key with an English text, for the tests.
export function textKeys() { return Object.keys(tables.en); }
