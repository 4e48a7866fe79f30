// The page's words in English and Italian: the texts of index.html (each
// element marked data-t="key", data-t-html, data-t-title, data-t-aria-label
// or data-t-placeholder), the statuses and messages of app.mjs, the mirror's
// fields in words a pupil knows, the engine's refusals told in plain words
// beside their field, where to look from, and how many sheets the PDF needs.
import { addTexts, LANGUAGES, language, onLanguage, setLanguage, t } from './i18n.mjs';

addTexts({
  en: {
    'page.title': 'anamorfosi: make a print for your mirror',
    'page.heading': 'Make a print for your mirror',
    'page.intro': 'Choose a picture and describe your mirror: the print on the left, stood under the mirror, shows ' +
                  'the picture undistorted to an eye at the place you give (right). Everything is computed in this ' +
                  'browser: nothing is sent anywhere, and the page works without a network.',
    'picture.legend': '1. The picture',
    'picture.drop': 'Drop a photo here (PNG, JPEG, WebP, PPM) or choose one:',
    'picture.card': 'the test card',
    'picture.mine': 'my picture',
    'picture.size': '{0} ({1} x {2} pixels)',
    'picture.grid': 'a numbered grid to draw by hand',
    'picture.grid_size': 'the grid\'s cells:',
    'picture.grid_columns': 'columns (1 to 200)',
    'picture.grid_rows': 'rows (1 to 200)',
    'mirror.legend': '2. The mirror',
    'mirror.kind': 'kind of mirror',
    'eye.legend': '3. The eye',
    'eye.auto': 'where such prints are usually seen from',
    'eye.x': 'X (across)',
    'eye.y': 'Y (in front, negative)',
    'eye.z': 'Z (height)',
    'print.legend': '4. The print',
    'print.units': 'units of the sizes above',
    'print.dpi': 'dots per inch',
    'print.dpi_hint': 'the print\'s resolution: 300 suits most printers; lower is quicker',
    'print.accuracy': 'accuracy (1 to 20)',
    'print.accuracy_hint': 'sample points along each side of a picture\'s pixel: higher fills the print more finely ' +
                           'and takes longer',
    'download.legend': '5. Download',
    'download.paper': 'paper',
    'download.paper_hint': 'the PDF\'s paper: a print larger than one sheet is cut into tiles, with an assembly page',
    'download.fit': 'fit on one sheet',
    'download.pdf': 'Download PDF',
    'download.png': 'Download PNG',
    'download.scene': 'Download scene file',
    'download.hint': 'Print the PNG at 100 % ("actual size", not "fit to page"): it says its own resolution. Stand ' +
                     'the mirror on the circle or outline drawn on it. The scene file remakes the print with ' +
                     '<code translate="no">anamorfosi run</code>.',
    'pictures.print': 'The print, with the mirror\'s place',
    'pictures.print_alt': 'The print, with the mirror\'s place',
    'pictures.view': 'What the eye sees',
    'pictures.view_alt': 'What the eye sees in the mirror',
    'pictures.stale': 'The preview shows the last values that worked, not the ones in the form: {0}',
    'field.standing': 'standing',
    'field.degrees': 'degrees',

    'kind.cilindro': 'cylinder (a can)',
    'kind.cono': 'cone',
    'kind.sfera': 'mirror ball',
    'kind.specchio': 'flat mirror (from a DXF file)',
    'kind.generico': 'any mirror shape (DXF, STL, OBJ, PLY mesh)',
    'label.cilindro.axis': 'where the can stands (its middle)',
    'label.cilindro.radius': 'radius of the can (half its width)',
    'label.cono.axis': 'where the cone stands (its middle)',
    'label.cono.radius': 'radius of the cone\'s base (half its width)',
    'label.cono.height': 'height of the cone',
    'label.sfera.centre': 'where the ball\'s centre is',
    'label.sfera.radius': 'radius of the ball (half its width)',
    'label.specchio.file': 'the mirror\'s DXF file',
    'label.generico.file': 'the mirror\'s file (DXF, STL, OBJ, PLY, ...)',
    'label.generico.vertical_axis': 'the mirror stands round the eye\'s vertical line',
    'label.generico.smooth': 'smooth mirror (the mesh stands for a curved surface)',
    'label.generico.crease': 'crease angle',
    'thing.cilindro': 'The can',
    'thing.cono': 'The cone',
    'thing.sfera': 'The ball',
    'thing.specchio': 'The mirror',
    'thing.generico': 'The mirror',

    'status.starting': 'Starting the engine...',
    'status.no_engine': 'The engine cannot start in this browser: {0}',
    'status.no_card': 'The test card cannot be read: {0}',
    'status.engine_stopped': 'the engine stopped',
    'status.choose_picture': 'Drop a picture or choose one.',
    'status.quick': 'Making a quick preview...',
    'status.refused': 'This set-up cannot work: see the message in red.',
    'status.reading': 'Reading {0}...',
    'status.read_again': 'Choose the picture again.',
    'status.unusable_file': 'That file cannot be used.',
    'status.laying_out': 'Laying out the PDF...',
    'status.no_pdf': 'The PDF was not made.',
    'status.pdf_done': 'Downloaded anamorfosi.pdf ({0}): print it at 100 % ("actual size").',
    'status.pages_one': '1 page',
    'status.pages_many': '{0} pages',
    'status.writing_png': 'Writing the PNG...',
    'status.png_done': 'Downloaded anamorfosi.png: print it at 100 % ("actual size").',

    'sheets.one': 'The print fits on one {0} sheet.',
    'sheets.many': 'The print needs {0} {1} sheets, and a page showing how to join them.',
    'sheets.too_big': 'The print is too large for {0} paper.',
    'look.front': 'Look from {0} in front of the mirror, {1} above the sheet.',
    'look.above': 'Look straight down from {0} above the middle of the mirror.',
    'place.circle': 'Stand the mirror on the circle drawn on the print.',
    'place.outline': 'Stand the mirror on the outline drawn on the print.',
    'place.front': 'Stand the mirror on the {0}; look from {1} in front, {2} up, along the arrow.',
    'place.above': 'Stand the mirror on the {0}; look straight down from {1} above its middle.',
    'place.circle_word': 'circle',
    'place.outline_word': 'outline',

    'err.detail': 'Details: {0}',
    'err.size': '{0}\'s {1} must be more than 0 {2}.',
    'err.radius_word': 'radius',
    'err.base_radius_word': 'base radius',
    'err.height_word': 'height',
    'err.place': 'Where the mirror stands must be given as numbers.',
    'err.centre_below': 'The ball\'s centre is too far below the sheet: raise it.',
    'err.crease': 'The crease angle must be between 0 and 89.9 degrees.',
    'err.file_choose': 'Choose the mirror\'s file.',
    'err.file': 'The mirror\'s file cannot be used.',
    'err.mirror_kind': 'Choose a kind of mirror.',
    'err.mesh': 'This page cannot read a mirror made of triangles yet.',
    'err.eye_inside': 'The eye is inside the mirror: move it further away from the mirror.',
    'err.eye_low': 'The eye must be above the sheet: give it a height (Z) of more than 0.',
    'err.eye_numbers': 'The eye needs three numbers: X, Y and Z.',
    'err.eye_sees': 'From this eye the mirror cannot show the picture: move the eye further away or higher.',
    'err.eye': 'This eye cannot be used.',
    'err.dpi': 'The dots per inch must be a number from 1 to 2400.',
    'err.memory': 'Not enough memory for this print: lower the dots per inch.',
    'err.too_big': 'The print would be too large: lower the dots per inch.',
    'err.accuracy': 'The accuracy must be a whole number from 1 to 20.',
    'err.units': 'Choose mm, cm or in.',
    'err.picture_big': 'This picture is too large: use a smaller one.',
    'err.picture_plain': 'This picture cannot be used.',
    'err.grid': 'The grid needs whole numbers of columns and rows, each from 1 to 200.',
    'err.grid_font': 'The grid\'s labels cannot be drawn: their font did not load.',
    'err.fit_smallest': 'Even the smallest print does not fit on one {0} sheet: choose a larger paper, or turn off ' +
                        '"fit on one sheet".',
    'err.paper': 'This paper leaves no room for a print: choose another.',
    'err.changed': 'The print changed meanwhile: download it again.',
    'err.other': 'This set-up cannot work.',
  },
  it: {
    'page.title': 'anamorfosi: crea una stampa per il tuo specchio',
    'page.heading': 'Crea una stampa per il tuo specchio',
    'page.intro': 'Scegli un\'immagine e descrivi il tuo specchio: la stampa a sinistra, messa sotto lo specchio, ' +
                  'mostra l\'immagine senza deformazioni a un occhio nel punto che indichi (a destra). Tutto viene ' +
                  'calcolato in questo browser: non si invia niente a nessuno e la pagina funziona anche senza rete.',
    'picture.legend': '1. L\'immagine',
    'picture.drop': 'Trascina qui una foto (PNG, JPEG, WebP, PPM) oppure scegline una:',
    'picture.card': 'il cartello di prova',
    'picture.mine': 'la mia immagine',
    'picture.size': '{0} ({1} x {2} pixel)',
    'picture.grid': 'una griglia numerata da disegnare a mano',
    'picture.grid_size': 'le caselle della griglia:',
    'picture.grid_columns': 'colonne (da 1 a 200)',
    'picture.grid_rows': 'righe (da 1 a 200)',
    'mirror.legend': '2. Lo specchio',
    'mirror.kind': 'tipo di specchio',
    'eye.legend': '3. L\'occhio',
    'eye.auto': 'da dove si guardano di solito queste stampe',
    'eye.x': 'X (di lato)',
    'eye.y': 'Y (davanti, negativo)',
    'eye.z': 'Z (altezza)',
    'print.legend': '4. La stampa',
    'print.units': 'unità delle misure qui sopra',
    'print.dpi': 'punti per pollice',
    'print.dpi_hint': 'la risoluzione della stampa: 300 va bene per quasi tutte le stampanti; meno è più veloce',
    'print.accuracy': 'precisione (da 1 a 20)',
    'print.accuracy_hint': 'punti di campionamento per lato di ogni pixel dell\'immagine: di più riempie meglio la ' +
                           'stampa ma ci vuole più tempo',
    'download.legend': '5. Scarica',
    'download.paper': 'carta',
    'download.paper_hint': 'la carta del PDF: una stampa più grande di un foglio viene divisa in pezzi, con una ' +
                           'pagina che mostra come unirli',
    'download.fit': 'fai stare tutto in un foglio',
    'download.pdf': 'Scarica il PDF',
    'download.png': 'Scarica il PNG',
    'download.scene': 'Scarica il file della scena',
    'download.hint': 'Stampa il PNG al 100 % ("dimensioni reali", non "adatta alla pagina"): la risoluzione è ' +
                     'scritta nel file. Metti lo specchio sul cerchio o sul contorno disegnato. Il file della scena ' +
                     'rifà la stampa con <code translate="no">anamorfosi run</code>.',
    'pictures.print': 'La stampa, con il posto dello specchio',
    'pictures.print_alt': 'La stampa, con il posto dello specchio',
    'pictures.view': 'Quello che vede l\'occhio',
    'pictures.view_alt': 'Quello che l\'occhio vede nello specchio',
    'pictures.stale': 'L\'anteprima mostra gli ultimi valori che funzionavano, non quelli del modulo: {0}',
    'field.standing': 'appoggiata',
    'field.degrees': 'gradi',

    'kind.cilindro': 'cilindro (una lattina)',
    'kind.cono': 'cono',
    'kind.sfera': 'sfera a specchio',
    'kind.specchio': 'specchio piano (da un file DXF)',
    'kind.generico': 'specchio di qualsiasi forma (mesh DXF, STL, OBJ, PLY)',
    'label.cilindro.axis': 'dove sta la lattina (il suo centro)',
    'label.cilindro.radius': 'raggio della lattina (metà della sua larghezza)',
    'label.cono.axis': 'dove sta il cono (il suo centro)',
    'label.cono.radius': 'raggio della base del cono (metà della sua larghezza)',
    'label.cono.height': 'altezza del cono',
    'label.sfera.centre': 'dove sta il centro della sfera',
    'label.sfera.radius': 'raggio della sfera (metà della sua larghezza)',
    'label.specchio.file': 'il file DXF dello specchio',
    'label.generico.file': 'il file dello specchio (DXF, STL, OBJ, PLY, ...)',
    'label.generico.vertical_axis': 'lo specchio sta attorno alla verticale dell\'occhio',
    'label.generico.smooth': 'specchio liscio (la mesh rappresenta una superficie curva)',
    'label.generico.crease': 'angolo degli spigoli',
    'thing.cilindro': 'La lattina',
    'thing.cono': 'Il cono',
    'thing.sfera': 'La sfera',
    'thing.specchio': 'Lo specchio',
    'thing.generico': 'Lo specchio',

    'status.starting': 'Avvio del motore...',
    'status.no_engine': 'Il motore non riesce a partire in questo browser: {0}',
    'status.no_card': 'Non si riesce a leggere il cartello di prova: {0}',
    'status.engine_stopped': 'il motore si è fermato',
    'status.choose_picture': 'Trascina un\'immagine o scegline una.',
    'status.quick': 'Preparo un\'anteprima veloce...',
    'status.refused': 'Così non può funzionare: leggi il messaggio in rosso.',
    'status.reading': 'Leggo {0}...',
    'status.read_again': 'Scegli di nuovo l\'immagine.',
    'status.unusable_file': 'Quel file non si può usare.',
    'status.laying_out': 'Preparo le pagine del PDF...',
    'status.no_pdf': 'Il PDF non è stato creato.',
    'status.pdf_done': 'Scaricato anamorfosi.pdf ({0}): stampalo al 100 % ("dimensioni reali").',
    'status.pages_one': '1 pagina',
    'status.pages_many': '{0} pagine',
    'status.writing_png': 'Scrivo il PNG...',
    'status.png_done': 'Scaricato anamorfosi.png: stampalo al 100 % ("dimensioni reali").',

    'sheets.one': 'La stampa sta in un foglio {0}.',
    'sheets.many': 'La stampa ha bisogno di {0} fogli {1}, più una pagina che mostra come unirli.',
    'sheets.too_big': 'La stampa è troppo grande per la carta {0}.',
    'look.front': 'Guarda da {0} davanti allo specchio, {1} sopra il foglio.',
    'look.above': 'Guarda dall\'alto, da {0} sopra il centro dello specchio.',
    'place.circle': 'Metti lo specchio sul cerchio disegnato sulla stampa.',
    'place.outline': 'Metti lo specchio sul contorno disegnato sulla stampa.',
    'place.front': 'Metti lo specchio sul {0}; guarda da {1} davanti, {2} in alto, nella direzione della freccia.',
    'place.above': 'Metti lo specchio sul {0}; guarda dall\'alto, da {1} sopra il suo centro.',
    'place.circle_word': 'cerchio',
    'place.outline_word': 'contorno',

    'err.detail': 'Dettagli: {0}',
    'err.size': '{0}: {1} deve essere più di 0 {2}.',
    'err.radius_word': 'il raggio',
    'err.base_radius_word': 'il raggio della base',
    'err.height_word': 'l\'altezza',
    'err.place': 'La posizione dello specchio va data con dei numeri.',
    'err.centre_below': 'Il centro della sfera è troppo sotto il foglio: alzalo.',
    'err.crease': 'L\'angolo degli spigoli deve essere tra 0 e 89,9 gradi.',
    'err.file_choose': 'Scegli il file dello specchio.',
    'err.file': 'Il file dello specchio non si può usare.',
    'err.mirror_kind': 'Scegli un tipo di specchio.',
    'err.mesh': 'Questa pagina non sa ancora leggere uno specchio fatto di triangoli.',
    'err.eye_inside': 'L\'occhio è dentro lo specchio: allontanalo dallo specchio.',
    'err.eye_low': 'L\'occhio deve stare sopra il foglio: dagli un\'altezza (Z) maggiore di 0.',
    'err.eye_numbers': 'Per l\'occhio servono tre numeri: X, Y e Z.',
    'err.eye_sees': 'Da questo occhio lo specchio non può mostrare l\'immagine: allontana l\'occhio o alzalo.',
    'err.eye': 'Questo occhio non si può usare.',
    'err.dpi': 'I punti per pollice devono essere un numero da 1 a 2400.',
    'err.memory': 'Non c\'è abbastanza memoria per questa stampa: abbassa i punti per pollice.',
    'err.too_big': 'La stampa verrebbe troppo grande: abbassa i punti per pollice.',
    'err.accuracy': 'La precisione deve essere un numero intero da 1 a 20.',
    'err.units': 'Scegli mm, cm o in.',
    'err.picture_big': 'Questa immagine è troppo grande: usane una più piccola.',
    'err.picture_plain': 'Questa immagine non si può usare.',
    'err.grid': 'La griglia vuole un numero intero di colonne e di righe, ciascuno da 1 a 200.',
    'err.grid_font': 'Non si riescono a scrivere le etichette della griglia: il loro carattere non si è caricato.',
    'err.fit_smallest': 'Anche la stampa più piccola non sta in un foglio {0}: scegli una carta più grande, oppure ' +
                        'togli "fai stare tutto in un foglio".',
    'err.paper': 'Questa carta non lascia spazio per la stampa: scegline un\'altra.',
    'err.changed': 'La stampa è cambiata nel frattempo: scaricala di nuovo.',
    'err.other': 'Così non può funzionare.',
  },
});

// The words of the page's own elements in the current language.
export function translatePage(root) {
  root.querySelectorAll('[data-t]').forEach((e) => { e.textContent = t(e.dataset.t); });
  root.querySelectorAll('[data-t-html]').forEach((e) => { e.innerHTML = t(e.dataset.tHtml); });
  for (const [data, attribute] of [['tTitle', 'title'], ['tAriaLabel', 'aria-label'], ['tPlaceholder', 'placeholder']])
    root.querySelectorAll('[data-' + attribute.replace(/^/, 't-') + ']').forEach((e) => {
      e.setAttribute(attribute, t(e.dataset[data]));
    });
}

// The switch's buttons (lang_en, lang_it): the current one pressed.
export function setUpLanguageSwitch(root, redraw) {
  const mark = () => {
    for (const l of LANGUAGES) {
      const b = root.getElementById('lang_' + l);
      if (b) b.setAttribute('aria-pressed', String(l === language()));
    }
  };
  for (const l of LANGUAGES) {
    const b = root.getElementById('lang_' + l);
    if (b) b.addEventListener('click', () => setLanguage(l));
  }
  onLanguage(() => { translatePage(root); mark(); redraw(); });
  root.documentElement.lang = language();
  translatePage(root);
  mark();
}

// A kind's choice and its fields' labels, in plain words where the page has
// them, else the engine's.
export function kindChoice(kind) {
  const key = 'kind.' + kind.name;
  return t(key) === key ? kind.choice || kind.words : t(key);
}
export function fieldLabel(kind, parameter) {
  const key = 'label.' + kind.name + '.' + parameter.field;
  return t(key) === key ? parameter.label : t(key);
}

// A length in millimetres as a ruler shows it in the page's units: inches to
// a tenth, else centimetres (whole from 10 cm on), written as the language does.
export function lengthWords(mm, units) {
  const write = (v, decimals) => v.toLocaleString(language(), { maximumFractionDigits: decimals });
  if (units === 'in') return write(mm / 25.4, 1) + ' in';
  return write(mm / 10, mm >= 100 ? 0 : 1) + ' cm';
}

// Where to look from, from the engine's placement ({circle, has_eye,
// distance_mm, height_mm}); '' without an eye. Within half a millimetre of the
// middle, as the PDF's words, the eye is straight above it.
export function lookWords(placement, units) {
  if (!placement || !placement.has_eye) return '';
  const h = lengthWords(placement.height_mm, units);
  return placement.distance_mm < 0.5 ? t('look.above', h)
                                     : t('look.front', lengthWords(placement.distance_mm, units), h);
}

// The placing instruction the PDF carries, in the page's language.
export function placementWords(placement, units) {
  if (!placement) return '';
  const on = t(placement.circle ? 'place.circle_word' : 'place.outline_word');
  if (!placement.has_eye) return t(placement.circle ? 'place.circle' : 'place.outline');
  const h = lengthWords(placement.height_mm, units);
  return placement.distance_mm < 0.5 ? t('place.above', on, h)
                                     : t('place.front', on, lengthWords(placement.distance_mm, units), h);
}

// The sheets of paper the PDF needs (the engine's sheets: {paper: {tiles, pages}}).
export function sheetsWords(sheets, paper) {
  const s = sheets && sheets[paper];
  if (!sheets) return '';
  if (!s) return t('sheets.too_big', paper);
  return s.tiles === 1 ? t('sheets.one', paper) : t('sheets.many', s.tiles, paper);
}

// An engine's refusal in plain words: {text, detail}. field is the page's
// field the refusal belongs to, message the engine's text (kept as the detail
// only when nothing better is known), kind the mirror kind's name.
export function plainError(field, message, { kind = '', units = 'mm', paper = 'A4' } = {}) {
  const m = String(message || '');
  const said = (key, ...args) => ({ text: t(key, ...args), detail: '' });
  const unknown = (key, ...args) => ({ text: t(key, ...args), detail: m });
  const thing = t('thing.' + kind) === 'thing.' + kind ? t('thing.generico') : t('thing.' + kind);
  const size = (word) => said('err.size', thing, t(word), units);
  switch (field) {
    case 'radius':
      if (/above 0|a number|missing|finite/.test(m)) return size(kind === 'cono' ? 'err.base_radius_word'
                                                                                   : 'err.radius_word');
      return unknown('err.other');
    case 'height':
      if (/above 0|a number|missing|finite/.test(m)) return size('err.height_word');
      return unknown('err.other');
    case 'axis': return said('err.place');
    case 'centre': return /below the sheet/.test(m) ? said('err.centre_below') : said('err.place');
    case 'crease': return said('err.crease');
    case 'file':
    case 'mirror_file':
      if (/missing|choose|must be a text/.test(m) || /"file" /.test(m)) return said('err.file_choose');
      return unknown('err.file');
    case 'mirror':
      if (/"file" (is missing|must be a text)|choose/.test(m)) return said('err.file_choose');
      if (/triangles|mesh|generico/.test(m)) return unknown('err.mesh');
      if (/must be/.test(m)) return said('err.mirror_kind');
      return unknown('err.file');
    case 'eye':
      if (/inside/.test(m)) return said('err.eye_inside');
      if (/above the sheet|Z > 0/.test(m)) return said('err.eye_low');
      if (/\[x, y, z\]|a number|missing/.test(m)) return said('err.eye_numbers');
      if (/no picture face|no sight ray|no extent|too narrow/.test(m)) return said('err.eye_sees');
      return unknown('err.eye');
    case 'dpi':
    case 'pixels':
      if (/memory/.test(m)) return said('err.memory');
      if (/more cells|would be|window that results/.test(m)) return said('err.too_big');
      return said('err.dpi');
    case 'accuracy': return said('err.accuracy');
    case 'units': return said('err.units');
    case 'picture':
      if (/too large/.test(m)) return said('err.picture_big');
      return unknown('err.picture_plain');
    case 'grid': return /font/.test(m) ? unknown('err.grid_font') : said('err.grid');
    case 'fit':
    case 'paper':
      if (/smallest/.test(m)) return said('err.fit_smallest', paper);
      if (/no room/.test(m)) return said('err.paper');
      return unknown('err.other');
    default:
      return unknown('err.other');
  }
}
