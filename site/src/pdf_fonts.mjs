// The PDF's fonts (1.9 MB of base64) are not in app.js: they come in a
// script of their own, pdf_fonts.js beside index.html, added by a <script>
// tag the first time a PDF is asked for. A script tag loads from file:// as
// well as from a server, where fetch would be refused; the script sets
// self.anamorfosiPdfFonts = {normal, bold}.
import { addTexts, t } from './i18n.mjs';

addTexts({
  en: { 'pdf_fonts.missing': "the PDF's fonts (pdf_fonts.js, beside index.html) could not be loaded" },
  it: { 'pdf_fonts.missing': 'non si riescono a caricare i caratteri del PDF (pdf_fonts.js, accanto a index.html)' },
});

let loading = null;

// A promise of {normal, bold}; rejected, with the words to show, when the
// file cannot be loaded (a later call tries again).
export function loadPdfFonts(doc = document) {
  if (globalThis.anamorfosiPdfFonts) return Promise.resolve(globalThis.anamorfosiPdfFonts);
  if (!loading) {
    loading = new Promise((resolve, reject) => {
      const script = doc.createElement('script');
      script.src = 'pdf_fonts.js';
      script.onload = () => {
        if (globalThis.anamorfosiPdfFonts) resolve(globalThis.anamorfosiPdfFonts);
        else fail();
      };
      const fail = () => {
        loading = null;
        script.remove();
        reject(new Error(t('pdf_fonts.missing')));
      };
      script.onerror = fail;
      doc.head.appendChild(script);
    });
  }
  return loading;
}
