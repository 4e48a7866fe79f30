// Draws a print's pages from their operations with jsPDF, as the page in the
// browser does, for the comparison with cairo's PDF:
//   node draw.mjs NODE_MODULES FONTS.mjs PAGES.json PRINT.png GRID.png|- OUT.pdf
import { readFileSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [modules, fontsFile, pagesFile, printFile, gridFile, out] = process.argv.slice(2);
if (!out) {
  console.error("usage: node draw.mjs NODE_MODULES FONTS.mjs PAGES.json PRINT.png GRID.png|- OUT.pdf");
  process.exit(2);
}
const require = createRequire(join(modules, "draw.js"));
const { jsPDF } = require("jspdf");
const { decode, encode } = await import(pathToFileURL(require.resolve("fast-png")));
const { fonts } = await import(pathToFileURL(fontsFile));
const { drawPdf } = await import(new URL("../src/pdf_draw.js", import.meta.url));

// A PNG of 8-bit RGB as drawPdf takes it.
function picture(file) {
  const png = decode(readFileSync(file));
  if (png.depth !== 8 || png.channels !== 3) throw new Error(`${file}: not 8-bit RGB`);
  return { width: png.width, height: png.height, rgb: png.data };
}

const pictures = { print: picture(printFile) };
if (gridFile !== "-") pictures.grid = picture(gridFile);
const doc = drawPdf({ jsPDF, encodePng: encode }, JSON.parse(readFileSync(pagesFile, "utf8")), pictures, fonts);
writeFileSync(out, Buffer.from(doc.output("arraybuffer")));
