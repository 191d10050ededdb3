// Reads glTF files with independent readers and prints what they see.
//   node read_gltf.mjs validate FILE...  Khronos glTF-Validator: one line of
//                                        counts per file, then its messages
//   node read_gltf.mjs three FILE        three.js GLTFLoader: the scene tree,
//                                        one object per line
// Exits 77 when a reader module is missing.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const modules = path.join(path.dirname(new URL(import.meta.url).pathname), 'node_modules');

async function need(name, load) {
  try {
    return await load();
  } catch (error) {
    console.log(`missing reader module ${name} under ${modules}`);
    process.exit(77);
  }
}

async function validate(files) {
  const validator = await need('gltf-validator', () => createRequire(import.meta.url)('gltf-validator'));
  for (const file of files) {
    const folder = path.dirname(file);
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
      uri: path.basename(file),
      externalResourceFunction: async (uri) =>
        new Uint8Array(fs.readFileSync(path.join(folder, decodeURIComponent(uri)))),
    });
    const issues = report.issues;
    console.log(`${path.basename(file)}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos`);
    for (const message of issues.messages) {
      console.log(`  ${message.code} ${message.pointer ?? ''}: ${message.message}`);
    }
  }
}

const round = (value) => Number(value.toFixed(4)) + 0;

function describeMaterial(material) {
  const color = material.color.toArray().map(round).join(' ');
  const texture = material.map ? ' map' : '';
  const roughness = material.roughness === undefined ? '' : ` roughness ${round(material.roughness)}`;
  return ` ${material.type} ${material.name || '-'} color ${color} opacity ${round(material.opacity)}` +
         ` transparent ${material.transparent}${roughness}${texture}`;
}

function describe(object, depth, lines) {
  let line = `${'  '.repeat(depth)}${object.type} ${object.name || '-'}`;
  if (!object.matrix.equals(object.matrix.clone().identity())) {
    line += ` matrix ${object.matrix.elements.map(round).join(' ')}`;
  }
  if (object.geometry) {
    const attributes = Object.keys(object.geometry.attributes).sort().join(',');
    line += ` ${attributes} ${object.geometry.index.count} indices` + describeMaterial(object.material);
  }
  if (object.userData.file) {
    line += ` file ${object.userData.file}`;
  }
  lines.push(line);
  object.children.forEach((child) => describe(child, depth + 1, lines));
}

async function three(file) {
  const url = pathToFileURL(path.join(modules, 'three/examples/jsm/loaders/GLTFLoader.js'));
  const { GLTFLoader } = await need('three', () => import(url));
  // Node has no image decoder: a .glb's images load as empty bitmaps, which
  // is enough to see which material holds one.
  globalThis.self = globalThis;
  globalThis.fetch = async () => new Response(new Blob([]));
  globalThis.createImageBitmap = async () => ({ width: 1, height: 1, close() {} });
  const bytes = fs.readFileSync(file);
  const gltf = await new GLTFLoader().parseAsync(
    bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length), '');
  const lines = [];
  gltf.scene.children.forEach((child) => describe(child, 0, lines));
  console.log(lines.join('\n'));
}

const [mode, ...files] = process.argv.slice(2);
await (mode === 'validate' ? validate(files) : three(files[0]));
