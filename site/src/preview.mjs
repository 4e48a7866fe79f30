// The preview's sizes: the picture reduced once, and the print's cells and
// the view's pixels as many as the screen shows of them.
import { addTexts } from './i18n.mjs';

addTexts({
  en: { preview_ready: 'Ready: the preview shows the print you will download ({0} x {1} cells, made in full when you download it; preview in {2} s).',
        full_making: 'Making the full print for the download...',
        full_ended: 'The full print was ended: the values changed. Download it again.',
        preview_unsure: 'Ready, though the preview\'s few cells score below the mark: the full print is checked when you download it ({0} x {1} cells; preview in {2} s).',
        preview_score: 'Preview, {0} x {1} cells: ',
        full_score: 'The print downloaded, {0} x {1} cells: ',
        downloaded_unfaithful: 'Downloaded, but the print is wrong: see the warning in red beside the preview.' },
  it: { preview_ready: 'Pronto: l\'anteprima mostra la stampa che scaricherai ({0} x {1} celle, fatta per intero quando la scarichi; anteprima in {2} s).',
        full_making: 'Sto facendo la stampa completa da scaricare...',
        full_ended: 'La stampa completa è stata interrotta perché i valori sono cambiati. Scaricala di nuovo.',
        preview_unsure: 'Pronto, anche se le poche celle dell\'anteprima restano sotto la soglia: la stampa completa viene controllata quando la scarichi ({0} x {1} celle; anteprima in {2} s).',
        preview_score: 'Anteprima, {0} x {1} celle: ',
        full_score: 'La stampa scaricata, {0} x {1} celle: ',
        downloaded_unfaithful: 'Scaricata, ma la stampa è sbagliata: leggi l\'avviso in rosso accanto all\'anteprima.' },
});

// width x height reduced to at most side pixels on the longer side, the
// shape kept (each side at least 1); unchanged when already that small.
export function reducedSize(width, height, side) {
  const k = side / Math.max(width, height);
  if (k >= 1) return { width, height };
  return { width: Math.max(1, Math.round(width * k)), height: Math.max(1, Math.round(height * k)) };
}

// The cells of the preview's print and the view's width in pixels: what the
// canvases show on the screen (device pixels), within bounds that keep a
// preview quick on a large screen and legible on a small one.
export const kLeastCells = 200, kMostCells = 800, kLeastView = 240, kLeastCloseUp = 160, kMostView = 900;
export function previewSizes(printCanvas, viewCanvas, closeupCanvas, pixelRatio) {
  const shows = (c) => Math.round(Math.max(c.clientWidth || 0, c.clientHeight || 0) * pixelRatio);
  const within = (v, least, most) => Math.min(most, Math.max(least, v || least));
  return { cells: within(shows(printCanvas), kLeastCells, kMostCells),
           view: within(shows(viewCanvas), kLeastView, kMostView),
           closeup: within(Math.round((closeupCanvas.clientWidth || 0) * pixelRatio), kLeastCloseUp, kMostView) };
}
