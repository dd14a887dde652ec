// The WebAssembly module itself under node, as a worker would load it: a file's readings are
// the command line's, live blocks read as the file does, the display and drawing and exports
// come out. Usage: node node_smoke.js ENGINE.js DIR NAME.wav (DIR holds NAME.wav and
// expected.json, wobblemeter --json NAME.wav run in DIR). Prints the times; exit 1 on a fault.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const [enginePath, dir, name] = process.argv.slice(2);
let failures = 0;
function check(ok, what) {
  if (!ok) {
    console.error('FAIL: ' + what);
    failures++;
  }
}

// What a worker has and node lacks; the module is built for the web and workers only.
globalThis.self = globalThis;
globalThis.importScripts = () => {};
globalThis.location = { href: 'file://' + path.resolve(enginePath) };
vm.runInThisContext(fs.readFileSync(enginePath, 'utf8') +
                    '\n;globalThis.createWobbleEngine = createWobbleEngine;',
                    { filename: enginePath });

// Every figure of a reading within 1e-6 relative of the other's, names and nulls the same.
function sameFigures(a, b, where) {
  if (typeof a === 'number' && typeof b === 'number') {
    const ok = a === b || Math.abs(a - b) <= 1e-6 * Math.max(Math.abs(a), Math.abs(b));
    check(ok, where + ': ' + a + ' is not ' + b);
    return;
  }
  if (a === null || b === null || typeof a !== 'object' || typeof b !== 'object') {
    check(a === b, where + ': ' + JSON.stringify(a) + ' is not ' + JSON.stringify(b));
    return;
  }
  const keys = new Set([...Object.keys(a), ...Object.keys(b)]);
  for (const key of keys) sameFigures(a[key], b[key], where + '.' + key);
}

// The samples of our generator's WAV: 16-bit PCM, one channel, as floats of full scale 1.
function wavSamples(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let at = 12;
  while (at + 8 <= bytes.length) {
    const id = String.fromCharCode(...bytes.subarray(at, at + 4));
    const size = view.getUint32(at + 4, true);
    if (id === 'data') {
      const samples = new Float32Array(size / 2);
      for (let i = 0; i < samples.length; i++) samples[i] = view.getInt16(at + 8 + 2 * i, true) / 32768;
      return samples;
    }
    at += 8 + size + (size & 1);
  }
  throw new Error('no data chunk');
}

async function main() {
  const started = process.hrtime.bigint();
  const progress = [];
  const M = await createWobbleEngine({
    wasmBinary: fs.readFileSync(enginePath.replace(/\.js$/, '.wasm')),
    wmProgress: (fraction) => progress.push(fraction),
  });
  const loaded = process.hrtime.bigint();
  const error = () => M.UTF8ToString(M._wm_last_error());
  const bytes = fs.readFileSync(path.join(dir, name));
  M.FS.mkdir('/in');
  M.FS.writeFile('/in/' + name, bytes);
  M.FS.chdir('/in');

  const before = process.hrtime.bigint();
  const status = M.ccall('wm_measure_file', 'number', ['string', 'string'], [name, '']);
  const measured = process.hrtime.bigint();
  check(status === 0, 'wm_measure_file: ' + error());
  const json = M.UTF8ToString(M._wm_readings_json());
  const expected = fs.readFileSync(path.join(dir, 'expected.json'), 'utf8');
  sameFigures(JSON.parse(json), JSON.parse(expected), 'readings');
  console.log('byte-identical to wobblemeter --json: ' + (json === expected ? 'yes' : 'no'));
  check(progress.length > 0 && progress[progress.length - 1] > 0.5, 'progress: ' + progress);

  for (const [kind, magic] of [['png', '\x89PNG'], ['svg', '<?xml'], ['csv', 'time (s),'],
                               ['json', '{"file"'], ['pdf', '%PDF']]) {
    const out = '/in/export.' + kind;
    check(M.ccall('wm_export', 'number', ['string', 'string'], [kind, out]) === 0,
          'export ' + kind + ': ' + error());
    const head = Buffer.from(M.FS.readFile(out)).toString('latin1', 0, magic.length);
    check(head === magic, 'export ' + kind + ' begins ' + JSON.stringify(head));
  }
  const width = 960, height = 640;
  const pixels = M._wm_render_panels(width, height, 1.0);
  check(pixels !== 0, 'render: ' + error());
  let dark = 0;
  for (let i = 0; i < width * height; i++) {
    const p = pixels + 4 * i;
    if (M.HEAPU8[p] < 80 && M.HEAPU8[p + 1] < 80 && M.HEAPU8[p + 2] < 80) dark++;
  }
  check(dark > 2000, 'render: ' + dark + ' dark pixels: no text drawn?');

  // Live: the same samples in the worklet's blocks of 128.
  const samples = wavSamples(bytes);
  const rate = new DataView(bytes.buffer, bytes.byteOffset).getUint32(24, true);
  const block = 128;
  const heap = M._malloc(4 * block);
  check(M.ccall('wm_live_start', 'number', ['number', 'string'], [rate, '']) === 0,
        'live start: ' + error());
  const liveStarted = process.hrtime.bigint();
  for (let at = 0; at < samples.length; at += block) {
    const part = samples.subarray(at, Math.min(at + block, samples.length));
    M.HEAPF32.set(part, heap >> 2);
    if (M._wm_live_push(heap, part.length) !== 0) {
      check(false, 'live push: ' + error());
      break;
    }
  }
  const liveFed = process.hrtime.bigint();
  const shown = JSON.parse(M.UTF8ToString(M._wm_display_json()));
  check(shown.state === 'measuring', 'live state ' + shown.state);
  check(M._wm_live_stop() === 0, 'live stop: ' + error());
  const live = JSON.parse(M.UTF8ToString(M._wm_readings_json()));
  const file = JSON.parse(expected);
  check(live.device === 'browser' && live.file === null, 'live source ' + live.device);
  delete live.device, delete live.file, delete file.file;
  sameFigures(live, file, 'live readings');
  M._free(heap);

  const ms = (a, b) => (Number(b - a) / 1e6).toFixed(0) + ' ms';
  console.log('module loaded in ' + ms(started, loaded) + ', file measured in ' +
              ms(before, measured) + ', live ' + ms(liveStarted, liveFed) + ' for ' +
              (samples.length / rate).toFixed(0) + ' s of blocks');
  process.exit(failures === 0 ? 0 : 1);
}
main().catch((e) => {
  console.error(e);
  process.exit(1);
});
