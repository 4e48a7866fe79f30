// Builds the page that runs in the browser into one folder (OUT): index.html,
// style.css and app.js, in which the worker's code (the engine module and
// worker.mjs) and the test card are bundled, so that the folder opens from any
// static host and from a double-clicked index.html alike; and two scripts the
// page adds only when they are needed: pdf_fonts.js, the PDF's fonts, when a
// PDF is asked for (src/pdf_fonts.mjs), and mesh.js, the mesh reader, when a
// mesh is read (src/mesh_read.mjs).
//   node build.mjs ENGINE_JS NODE_MODULES CARD_PPM PDF_FONTS OUT
// (PDF_FONTS: the module of the PDF's fonts the build writes, embed_fonts.mjs)
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [engineJs, nodeModules, cardPpm, pdfFonts, out] = process.argv.slice(2);
const here = path.dirname(new URL(import.meta.url).pathname);
const esbuild = await import(pathToFileURL(path.join(nodeModules, 'esbuild/lib/main.js')));
const common = { bundle: true, write: false, format: 'iife', target: 'es2020', minify: true, nodePaths: [nodeModules],
                 logLevel: 'error' };

const worker = await esbuild.build({ ...common, entryPoints: [path.join(here, 'src/worker.mjs')] });
const workerSource = fs.readFileSync(engineJs, 'utf8') + '\n' + worker.outputFiles[0].text;
// The bundle's own modules: the worker's code and the test card as text.
const virtual = {
  name: 'site',
  setup(b) {
    b.onResolve({ filter: /^site:(worker|card)$/ }, (a) => ({ path: a.path, namespace: 'site' }));
    b.onLoad({ filter: /.*/, namespace: 'site' }, (a) => ({
      contents: a.path === 'site:worker' ? workerSource : fs.readFileSync(cardPpm, 'latin1'),
      loader: 'text',
    }));
  },
};
const app = await esbuild.build({ ...common, entryPoints: [path.join(here, 'src/app.mjs')], plugins: [virtual] });
fs.mkdirSync(out, { recursive: true });
fs.writeFileSync(path.join(out, 'app.js'), app.outputFiles[0].text);
// The mesh reader, loaded by the page only when a mesh is chosen (mesh_read.mjs):
// a classic script, which loads from file:// too, with its module inside it.
const meshLibrary = path.join(nodeModules, 'assimpjs/dist');
fs.writeFileSync(path.join(out, 'mesh.js'),
                 'self.ASSIMPJS_WASM = "' + fs.readFileSync(path.join(meshLibrary, 'assimpjs.wasm')).toString('base64') +
                 '";\n' + fs.readFileSync(path.join(meshLibrary, 'assimpjs.js'), 'utf8'));
fs.copyFileSync(path.join(here, 'page/index.html'), path.join(out, 'index.html'));
fs.copyFileSync(path.join(here, 'page/site.css'), path.join(out, 'style.css'));
const { fonts } = await import(pathToFileURL(path.resolve(pdfFonts)));
fs.writeFileSync(path.join(out, 'pdf_fonts.js'),
                 `self.anamorfosiPdfFonts = {normal: "${fonts.normal}", bold: "${fonts.bold}"};\n`);
