// The eye moved round the mirror by hand: a drag on the view turns it round
// the middle of the mirror (across) and raises or lowers it (up and down),
// the wheel or a pinch brings it nearer or farther, the arrow keys do the
// same in steps. Each place asks the engine for the view of the print made
// for the chosen eye, so that the reader sees the picture break up away from
// it; a button goes back to the chosen eye.
import { addTexts, onLanguage, t } from './i18n.mjs';

addTexts({
  en: { eye_back: 'Back to the eye the print is made for',
        eye_hint: 'Drag the view to move the eye round the mirror, the wheel to bring it nearer or farther.',
        eye_moved: 'Eye moved to ({0}, {1}, {2}): the print is still the one made for ({3}, {4}, {5}).',
        closeup_caption: 'The mirror close up' },
  it: { eye_back: 'Torna all\'occhio per cui è fatta la stampa',
        eye_hint: 'Trascina la vista per spostare l\'occhio attorno allo specchio; con la rotellina lo avvicini o lo allontani.',
        eye_moved: 'Occhio spostato in ({0}, {1}, {2}): la stampa resta quella fatta per ({3}, {4}, {5}).',
        closeup_caption: 'Lo specchio da vicino' },
});

// Radians of turn for a pixel of drag across.
const kTurnPerPixel = 0.01;
// Height scale for a pixel of drag up and down, and distance scale per unit of wheel.
const kRisePerPixel = 0.005, kNearPerWheel = 0.001;
// The moved eye stays within a fifth and five times the chosen height and distance.
const kLeast = 0.2, kMost = 5;

// The eye of chosen moved by turn (radians round the vertical through middle),
// rise (its height times) and reach (its distance from the middle's foot times).
export function movedEye(chosen, middle, { turn, rise, reach }) {
  const dx = chosen[0] - middle[0], dy = chosen[1] - middle[1];
  const r = Math.hypot(dx, dy) * reach, a = Math.atan2(dy, dx) + turn;
  return [middle[0] + r * Math.cos(a), middle[1] + r * Math.sin(a), chosen[2] * rise * reach];
}

const clamp = (v) => Math.min(kMost, Math.max(kLeast, v));

// canvas: the view; lookFrom(eye) answers the engine's view from eye (null
// when ended), showMoved(answer) draws it, showChosen() draws the chosen eye's
// view again.
export function eyeDrag({ canvas, button, note, lookFrom, showMoved, showChosen }) {
  let scene = null;                 // {eye, middle} of the print shown
  let move = { turn: 0, rise: 1, reach: 1 };
  let asking = false, wanted = null, serial = 0;
  const pointers = new Map();
  let pinch = 0;
  canvas.tabIndex = 0;
  button.hidden = true;
  const words = () => {
    button.textContent = t('eye_back');
    canvas.title = t('eye_hint');
    const caption = document.getElementById('closeup_caption');
    if (caption) caption.textContent = t('closeup_caption');
    tell();
  };
  const fixed = (v) => (Math.round(v * 10) / 10).toString();
  function tell() {
    if (!scene || button.hidden) { note.textContent = ''; return; }
    const e = movedEye(scene.eye, scene.middle, move);
    note.textContent = t('eye_moved', ...e.map(fixed), ...scene.eye.map(fixed));
  }
  onLanguage(words);
  words();

  // One view asked at a time; the latest place waits for the one under way.
  async function ask() {
    if (!scene) return;
    const mine = serial;
    if (asking) { wanted = true; return; }
    asking = true;
    wanted = false;
    const eye = movedEye(scene.eye, scene.middle, move);
    canvas.dataset.eye = eye.join(',');
    const answer = await lookFrom(eye);
    asking = false;
    // Shown unless the eye went back, or a new print came, meanwhile.
    if (answer && mine === serial) showMoved(answer);
    if (wanted) ask();
  }
  function moveBy(change) {
    if (!scene) return;
    move = { turn: move.turn + (change.turn || 0), rise: clamp(move.rise * (change.rise || 1)),
             reach: clamp(move.reach * (change.reach || 1)) };
    button.hidden = false;
    canvas.dataset.moved = 'yes';
    tell();
    ask();
  }
  function back() {
    move = { turn: 0, rise: 1, reach: 1 };
    button.hidden = true;
    canvas.dataset.moved = 'no';
    ++serial;
    wanted = false;
    tell();
    showChosen();
  }
  button.addEventListener('click', back);
  canvas.addEventListener('pointerdown', (e) => {
    pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
    canvas.setPointerCapture(e.pointerId);
    pinch = 0;
  });
  const release = (e) => { pointers.delete(e.pointerId); pinch = 0; };
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('pointermove', (e) => {
    const was = pointers.get(e.pointerId);
    if (!was) return;
    pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
    if (pointers.size === 2) {
      // Two fingers: their spread brings the eye nearer (apart) or farther.
      const [a, b] = [...pointers.values()];
      const spread = Math.hypot(a.x - b.x, a.y - b.y);
      if (pinch > 0 && spread > 0) moveBy({ reach: pinch / spread });
      pinch = spread;
      return;
    }
    moveBy({ turn: -(e.clientX - was.x) * kTurnPerPixel, rise: Math.exp(-(e.clientY - was.y) * kRisePerPixel) });
  });
  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    moveBy({ reach: Math.exp(e.deltaY * kNearPerWheel) });
  }, { passive: false });
  canvas.addEventListener('keydown', (e) => {
    const step = { ArrowLeft: { turn: 0.1 }, ArrowRight: { turn: -0.1 }, ArrowUp: { rise: 1.1 }, ArrowDown: { rise: 1 / 1.1 },
                   PageUp: { reach: 1 / 1.1 }, PageDown: { reach: 1.1 } }[e.key];
    if (!step) return;
    e.preventDefault();
    moveBy(step);
  });
  return {
    // A new print shown for the chosen eye: the eye goes back there.
    shown(result) {
      scene = result && result.eye && result.mirror_middle ? { eye: result.eye, middle: result.mirror_middle } : null;
      move = { turn: 0, rise: 1, reach: 1 };
      button.hidden = true;
      canvas.dataset.moved = 'no';
      ++serial;
      tell();
    },
    moved: () => !button.hidden,
  };
}
