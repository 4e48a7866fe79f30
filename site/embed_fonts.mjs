// Writes the module of the fonts the browser's PDF is set in, from the
// system's TTF files at build time (nothing generated is committed):
//   node embed_fonts.mjs OUT.mjs DejaVuSans.ttf DejaVuSans-Bold.ttf
// OUT.mjs exports {normal, bold} as base64, for drawPdf (src/pdf_draw.js).
import { readFileSync, writeFileSync, renameSync } from "node:fs";

const [out, normal, bold] = process.argv.slice(2);
if (!out || !normal || !bold) {
  console.error("usage: node embed_fonts.mjs OUT.mjs NORMAL.ttf BOLD.ttf");
  process.exit(2);
}
const base64 = (file) => readFileSync(file).toString("base64");
const text =
  "// DejaVu Sans Book and Bold, from the system's fonts (fonts-dejavu-core), written by embed_fonts.mjs.\n" +
  `export const fonts = {\n  normal: "${base64(normal)}",\n  bold: "${base64(bold)}",\n};\n`;
// Written beside and renamed, so that a build stopped halfway leaves no half module.
writeFileSync(`${out}.part`, text);
renameSync(`${out}.part`, out);
