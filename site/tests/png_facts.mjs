// What a PNG holds, for the browser test (python has no PNG reader here):
// its size, pHYs, texts and its cells' RGB bytes written to a file.
//   node png_facts.mjs NODE_MODULES PNG CELLS_OUT
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [nodeModules, png, cellsOut] = process.argv.slice(2);
const { decode } = await import(pathToFileURL(path.join(nodeModules, 'fast-png/lib/index.js')));
const p = decode(fs.readFileSync(png));
fs.writeFileSync(cellsOut, p.data);
console.log(JSON.stringify({ width: p.width, height: p.height, channels: p.channels, depth: p.depth,
                             resolution: p.resolution || null, text: p.text }));
