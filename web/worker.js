// The meter's engine off the page's main thread: loads the WebAssembly module, measures files
// written into its file system, runs live sessions from the capture's blocks, draws the panels
// and writes the exports. Talks to app.js by messages, to worklet.js through a MessagePort.
'use strict';

// How often a live session's display and panels go to the page, ms.
const LIVE_REFRESH_MS = 200;
// Where files and exports live in the module's file system.
const IN_DIR = '/in';
const OUT_DIR = '/out';

let M = null;           // the module, once loaded
let engineError = null; // why it did not load
let lastFile = null;    // {path, name}: what a change of the platter measures again
let live = null;        // the session: {port, pointer, capacity, next, timer, lost}
let panelSize = { width: 800, height: 600, scale: 1 };

function errorText() {
  return M.UTF8ToString(M.ccall('wm_last_error', 'number', [], []));
}

function call(name, types, args) {
  return M.ccall(name, 'number', types, args);
}

function jsonOf(name) {
  const pointer = M.ccall(name, 'number', [], []);
  return pointer ? M.UTF8ToString(pointer) : null;
}

// The display model first, then, where the canvas has room, the panels drawn into it, as a
// message of their own: drawing a face takes longer than measuring a file, and the readings
// are not held back for it. The pixels go to the page as a transferred buffer.
function postDisplay(extra) {
  const text = jsonOf('wm_display_json');
  postMessage(Object.assign({ type: 'display', display: text ? JSON.parse(text) : null }, extra || {}));
  const { width, height, scale } = panelSize;
  if (width > 0 && height > 0) {
    const pointer = call('wm_render_panels', ['number', 'number', 'number'], [width, height, scale]);
    if (pointer) {
      const pixels = M.HEAPU8.slice(pointer, pointer + width * height * 4);
      const name = extra && extra.name;
      postMessage({ type: 'panels', panels: { width, height, pixels: pixels.buffer }, name },
                  [pixels.buffer]);
    }
  }
}

function fail(message, extra) {
  postMessage(Object.assign({ type: 'error', message }, extra || {}));
}

function measure(path, name, options) {
  postMessage({ type: 'progress', fraction: 0, name });
  const status = call('wm_measure_file', ['string', 'string'], [path, JSON.stringify(options || {})]);
  if (status !== 0) {
    lastFile = null;
    postDisplay({ error: errorText(), name });
    return;
  }
  lastFile = { path, name };
  postDisplay({ readings: jsonOf('wm_readings_json'), name });
}

function onFile(data) {
  stopLive();
  try { M.FS.mkdir(IN_DIR); } catch (e) { /* already there */ }
  if (lastFile) {
    try { M.FS.unlink(lastFile.path); } catch (e) { /* gone */ }
    lastFile = null;
  }
  // The name as given, without folders, in the folder of the recordings, which is the current
  // one: the readings then name the file as `wobblemeter --json NAME` does beside it.
  const base = String(data.name).replace(/^.*[\\/]/, '') || 'recording.wav';
  M.FS.chdir(IN_DIR);
  M.FS.writeFile(base, new Uint8Array(data.bytes));
  measure(base, base, data.options);
}

// Blocks from the worklet, in order; a number skipped is a block lost on the way.
function onBlock(e) {
  if (!live) return;
  const d = e.data;
  if (d.end) {
    if (d.sequence > live.next && live.frames) call('wm_live_gap', ['number'], [(d.sequence - live.next) * live.frames]);
    return;
  }
  const samples = new Float32Array(d.samples);
  if (d.sequence > live.next && live.next >= 0) {
    const missing = (d.sequence - live.next) * samples.length;
    call('wm_live_gap', ['number'], [missing]);
  }
  live.next = d.sequence + 1;
  live.frames = samples.length;
  if (samples.length > live.capacity) {
    if (live.pointer) M._free(live.pointer);
    live.pointer = M._malloc(samples.length * 4);
    live.capacity = samples.length;
  }
  // The heap's view is taken afresh: memory growth replaces the buffer.
  M.HEAPF32.set(samples, live.pointer >> 2);
  call('wm_live_push', ['number', 'number'], [live.pointer, samples.length]);
}

function onLiveStart(data) {
  stopLive();
  lastFile = null;
  const status = call('wm_live_start', ['number', 'string'], [data.sampleRate, JSON.stringify(data.options || {})]);
  if (status !== 0) {
    fail(errorText());
    return;
  }
  live = { port: data.port, pointer: 0, capacity: 0, next: 0, frames: 0, timer: 0 };
  live.port.onmessage = onBlock;
  live.timer = setInterval(() => postDisplay({ live: true }), LIVE_REFRESH_MS);
  postDisplay({ live: true });
}

function stopLive() {
  if (!live) return false;
  clearInterval(live.timer);
  live.port.onmessage = null;
  live.port.close();
  call('wm_live_stop', [], []);
  if (live.pointer) M._free(live.pointer);
  live = null;
  return true;
}

function onExport(data) {
  // A file's recording is the file itself, as it was opened.
  if (data.kind === 'wav' && lastFile) {
    const bytes = M.FS.readFile(lastFile.path);
    postMessage({ type: 'export', kind: data.kind, bytes: bytes.buffer, name: lastFile.name }, [bytes.buffer]);
    return;
  }
  try { M.FS.mkdir(OUT_DIR); } catch (e) { /* already there */ }
  const path = OUT_DIR + '/export.' + data.kind;
  if (call('wm_export', ['string', 'string'], [data.kind, path]) !== 0) {
    fail(errorText());
    return;
  }
  const bytes = M.FS.readFile(path);
  M.FS.unlink(path);
  postMessage({ type: 'export', kind: data.kind, bytes: bytes.buffer }, [bytes.buffer]);
}

const handlers = {
  file: onFile,
  remeasure: (data) => { if (lastFile && !live) measure(lastFile.path, lastFile.name, data.options); },
  'live-start': onLiveStart,
  'live-stop': () => { if (stopLive()) postDisplay({ live: false, stopped: true }); },
  export: onExport,
  panels: (data) => {
    panelSize = { width: data.width | 0, height: data.height | 0, scale: data.scale || 1 };
    if (M && !live) postDisplay();
  },
};

let queue = [];  // messages that came before the module was ready

function handle(data) {
  if (engineError) { fail(engineError); return; }
  const handler = handlers[data.type];
  if (!handler) return;
  try {
    handler(data);
  } catch (err) {
    fail(String(err && err.message ? err.message : err));
  }
}

onmessage = (e) => {
  if (!M && !engineError) queue.push(e.data);
  else handle(e.data);
};

try {
  importScripts('engine.js');
  createWobbleEngine({
    wmProgress: (fraction) => postMessage({ type: 'progress', fraction }),
    print: () => {},
    printErr: (line) => console.warn(line),
  }).then((module) => {
    M = module;
    postMessage({ type: 'ready' });
    postDisplay();
    const waiting = queue;
    queue = [];
    waiting.forEach(handle);
  }, (err) => {
    engineError = String(err && err.message ? err.message : err);
    fail(engineError, { fatal: true });
  });
} catch (err) {
  engineError = String(err && err.message ? err.message : err);
  fail(engineError, { fatal: true });
}
