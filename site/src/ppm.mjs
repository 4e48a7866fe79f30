// A plain (P3) or raw (P6) PPM picture of maximum 255 as RGBA, for the
// bundled test card, which the browser cannot decode itself.
export function ppmToRgba(bytes) {
  let at = 0;
  const token = () => {
    for (;;) {
      while (at < bytes.length && /\s/.test(String.fromCharCode(bytes[at]))) at++;
      if (bytes[at] !== 35) break;  // '#': a comment to the end of its line
      while (at < bytes.length && bytes[at] !== 10) at++;
    }
    const start = at;
    while (at < bytes.length && !/\s/.test(String.fromCharCode(bytes[at]))) at++;
    return String.fromCharCode(...bytes.subarray(start, at));
  };
  const magic = token();
  if (magic !== 'P3' && magic !== 'P6') throw new Error('not a PPM picture');
  const width = Number(token()), height = Number(token()), max = Number(token());
  if (!(width > 0 && height > 0 && max === 255)) throw new Error('only a PPM of maximum 255 is read here');
  const rgba = new Uint8Array(width * height * 4);
  at++;  // the one whitespace after the maximum
  for (let i = 0, n = width * height * 3; i < n; i++) {
    let v;
    if (magic === 'P3') { const t = token(); v = t === '' ? NaN : Number(t); }
    else v = bytes[at++];
    if (!(v >= 0)) throw new Error('a PPM picture cut short');
    // A value above the maximum is clamped to it, as the command reads it.
    rgba[Math.floor(i / 3) * 4 + (i % 3)] = Math.min(v, 255);
    if (i % 3 === 2) rgba[Math.floor(i / 3) * 4 + 3] = 255;
  }
  return { width, height, rgba };
}
