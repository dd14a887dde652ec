// The browser meter's page: the controls, the readouts and the panels' canvas. Only the user
// interface runs here; the engine runs in worker.js and the capture in worklet.js.
import { TEXT, PLATTERS } from './text.js';

const $ = (id) => document.getElementById(id);
const ui = {
  state: $('state'), heading: $('heading'), status: $('status'), progress: $('progress'),
  readouts: $('readouts'), rate: $('rate'), overruns: $('overruns'), elapsed: $('elapsed'),
  canvas: $('panels'), device: $('device'), channel: $('channel'), platter: $('platter'),
  start: $('start'), stop: $('stop'), file: $('file'), exportKind: $('export'),
};

// The kinds of export the engine writes, in the menu's order.
const EXPORT_KINDS = ['json', 'csv', 'png', 'svg', 'wav', 'pdf'];
// Channels offered before an input is open (the chooser follows the input once it is).
const DEFAULT_CHANNELS = 2;

const worker = new Worker('worker.js');
let capture = null;       // {context, stream, node}: the live input while it runs
let measuredName = '';    // what the exports are named after
let hasResult = false;    // something to export
let readingsJson = null;  // the last file's readings, as the command line prints them
let shownSeconds = 0;     // the audio the display shown was made of, s

// ---- the page's own words, from the one table

function fillText() {
  for (const el of document.querySelectorAll('[data-text]')) el.textContent = TEXT[el.dataset.text];
  for (const el of document.querySelectorAll('[data-label]')) el.setAttribute('aria-label', TEXT[el.dataset.label]);
  document.title = TEXT.title;
  for (const p of PLATTERS) ui.platter.append(new Option(p.label, String(p.rpm)));
  for (const kind of EXPORT_KINDS) ui.exportKind.append(new Option(TEXT.exports[kind], kind));
  setChannels(DEFAULT_CHANNELS);
  setState('idle');
}

function setChannels(count) {
  const chosen = Number(ui.channel.value) || 1;
  ui.channel.replaceChildren();
  for (let c = 1; c <= Math.max(1, count); c++) ui.channel.append(new Option(String(c), String(c)));
  ui.channel.value = String(Math.min(chosen, Math.max(1, count)));
}

// The state as the engine names it (name), or, for the page's own states, from the table.
function setState(state, name) {
  ui.state.dataset.state = state;
  ui.state.textContent = name || TEXT.states[state] || state;
}

function say(line) {
  ui.status.textContent = line || '';
}

// ---- the readouts: one element per reading, data-reading="KEY", its figure and unit only

// The display's readings as [{key, name, standard, group, text}] (text null: not formed).
export function readingsOf(display) {
  let list = display && (display.readings || display.readouts);
  if (!list) return [];
  if (!Array.isArray(list)) list = Object.entries(list).map(([key, r]) => Object.assign({ key }, r));
  return list.map((r) => ({
    key: r.key,
    name: r.name || r.label || r.key,
    standard: r.standard || '',
    group: r.group || '',
    text: r.text !== undefined ? r.text : r.value,
  })).filter((r) => r.key);
}

// Builds the readouts' elements where the set of readings differs from what is shown.
function layOutReadouts(readings) {
  const keys = readings.map((r) => r.key).join(' ');
  if (ui.readouts.dataset.keys === keys) return;
  ui.readouts.dataset.keys = keys;
  ui.readouts.replaceChildren();
  let group = null;
  let list = null;
  for (const r of readings) {
    if (!list || r.group !== group) {
      group = r.group;
      const section = document.createElement('div');
      section.className = 'readout-group';
      const title = document.createElement('h2');
      title.textContent = group;
      list = document.createElement('dl');
      section.append(title, list);
      ui.readouts.append(section);
    }
    const term = document.createElement('dt');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = r.name;
    const standard = document.createElement('span');
    standard.className = 'standard';
    standard.textContent = r.standard;
    term.append(name, ' ', standard);
    const value = document.createElement('dd');
    value.dataset.reading = r.key;
    value.textContent = TEXT.noReading;
    list.append(term, value);
  }
}

function showReadings(display) {
  const readings = readingsOf(display);
  layOutReadouts(readings);
  for (const r of readings) {
    const el = ui.readouts.querySelector(`[data-reading="${CSS.escape(r.key)}"]`);
    const text = r.text === null || r.text === undefined || r.text === '' ? TEXT.noReading : String(r.text);
    if (el.textContent !== text) el.textContent = text;
    el.classList.toggle('unformed', text === TEXT.noReading);
    el.classList.toggle('range', text.includes(' to '));
  }
}

// ---- the display from the worker

// "m:ss" (or "h:mm:ss") of a time in seconds.
export function elapsedText(seconds) {
  if (!(seconds >= 0)) return TEXT.noReading;
  const s = Math.floor(seconds);
  const two = (n) => String(n).padStart(2, '0');
  const h = Math.floor(s / 3600), m = Math.floor((s % 3600) / 60);
  return (h ? h + ':' + two(m) : String(m)) + ':' + two(s % 60);
}

function showDisplay(display) {
  if (!display) return;
  showReadings(display);
  showBar(display.bar);
  if (display.state) setState(display.state, display.state_name);
  if (display.heading !== undefined) ui.heading.textContent = display.heading;
  if (display.status !== undefined) say(display.status);
  const rate = display.sample_rate;
  ui.rate.textContent = rate > 0 ? Math.round(rate) + ' Hz' : TEXT.noReading;
  const idle = display.state === 'idle';
  ui.overruns.textContent = !idle && Number.isInteger(display.overruns) ? String(display.overruns) : TEXT.noReading;
  const seconds = display.seconds;
  shownSeconds = seconds;
  ui.elapsed.textContent = !idle && seconds !== undefined && seconds !== null ? elapsedText(seconds) : TEXT.noReading;
}

// The bar meter: the figure's share of the scale (red beyond it), the hold as a thin mark.
function showBar(bar) {
  const fill = $('bar-fill'), hold = $('bar-hold');
  if (!bar) return;
  $('bar-name').textContent = bar.name || '';
  $('bar-scale').textContent = bar.scale_percent > 0 ? bar.scale_percent + ' %' : '';
  const share = (v) => Math.max(0, Math.min(1, v / bar.scale_percent));
  const value = Number.isFinite(bar.value_percent) ? bar.value_percent : null;
  fill.style.width = value === null ? '0' : (100 * share(value)) + '%';
  fill.classList.toggle('over', value !== null && value > bar.scale_percent);
  hold.hidden = !Number.isFinite(bar.hold_percent);
  if (!hold.hidden) hold.style.left = (100 * share(bar.hold_percent)) + '%';
}

function showPanels(panels) {
  if (!panels) return;
  const { width, height } = panels;
  if (ui.canvas.width !== width || ui.canvas.height !== height) {
    ui.canvas.width = width;
    ui.canvas.height = height;
  }
  const image = new ImageData(new Uint8ClampedArray(panels.pixels), width, height);
  ui.canvas.getContext('2d').putImageData(image, 0, 0);
}

// The smallest the engine lays its panels out in, units (its layout's own minimum).
const PANEL_UNITS = { width: 340, height: 400 };

// The scale the panels are drawn at in a canvas of width x height device pixels: the device
// pixel ratio, less where the canvas holds fewer units than the panels need.
export function panelScale(width, height, ratio) {
  return Math.min(ratio, width / PANEL_UNITS.width, height / PANEL_UNITS.height);
}

// The panels' canvas in device pixels: the engine draws at that size and scale.
function sendPanelSize() {
  const ratio = window.devicePixelRatio || 1;
  const box = ui.canvas.getBoundingClientRect();
  const width = Math.max(1, Math.round(box.width * ratio));
  const height = Math.max(1, Math.round(box.height * ratio));
  worker.postMessage({ type: 'panels', width, height, scale: panelScale(width, height, ratio) });
}

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes]));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// The export's file name: the recording's name with the kind's extension, or, live, the time.
export function exportName(measured, kind, now) {
  let base = measured.replace(/\.[^.]*$/, '');
  if (!base) {
    const t = now || new Date();
    const two = (n) => String(n).padStart(2, '0');
    base = `live-${t.getFullYear()}${two(t.getMonth() + 1)}${two(t.getDate())}-${two(t.getHours())}${two(t.getMinutes())}${two(t.getSeconds())}`;
  }
  return base + '.' + kind;
}

// A measurement that failed: its message, and no figures left from one before.
function showError(message) {
  ui.progress.hidden = true;
  say(message);
  setState('error');
  hasResult = false;
  ui.exportKind.disabled = true;
  for (const el of ui.readouts.querySelectorAll('[data-reading]')) {
    el.textContent = TEXT.noReading;
    el.classList.add('unformed');
  }
}

worker.onmessage = (e) => {
  const m = e.data;
  switch (m.type) {
    case 'ready':
      say('');
      break;
    case 'panels':
      showPanels(m.panels);
      // Which file's panels the canvas shows (for tests that look at it).
      if (m.name !== undefined) document.body.dataset.drawn = m.name;
      break;
    case 'display':
      showDisplay(m.display);
      if (m.error !== undefined) {
        showError(m.error);
        document.body.dataset.measured = m.name;
        break;
      }
      if (m.readings !== undefined) {
        readingsJson = m.readings;
        ui.progress.hidden = true;
        document.body.dataset.measured = m.name || '';
      }
      if (m.readings !== undefined || m.stopped) {
        hasResult = true;
        ui.exportKind.disabled = false;
      }
      break;
    case 'progress':
      ui.progress.hidden = false;
      ui.progress.value = m.fraction;
      break;
    case 'export':
      download(m.bytes, m.name || exportName(measuredName, m.kind));
      break;
    case 'error':
      showError(m.fatal ? TEXT.engineFailed + m.message : m.message);
      break;
  }
};

// ---- files: opened, dropped, or named in the address (#file=NAME)

// The engine's options: the platter, and for a file the channel where it is not the first (the
// command line's default); live blocks are of the chosen channel already.
function options(forFile) {
  const rpm = Number(ui.platter.value);
  const channel = Number(ui.channel.value) || 1;
  const o = {};
  if (forFile && channel > 1) o.channel = channel;
  if (rpm > 0) o.rpm = rpm;
  return o;
}

async function measureFile(file) {
  await stopLive();
  const bytes = await file.arrayBuffer();
  measureBytes(file.name, bytes);
}

function measureBytes(name, bytes) {
  measuredName = name;
  readingsJson = null;
  delete document.body.dataset.measured;
  delete document.body.dataset.drawn;
  setState('reading');
  ui.heading.textContent = name;
  say(TEXT.measuring + name);
  ui.progress.hidden = false;
  ui.progress.value = 0;
  worker.postMessage({ type: 'file', name, bytes, options: options(true) }, [bytes]);
}

// A recording beside the page, fetched with progress (the share fetched shown until it is in).
async function fetchFile(name) {
  say(TEXT.fetching + name);
  ui.progress.hidden = false;
  ui.progress.removeAttribute('value');
  try {
    const response = await fetch(new URL(name, document.baseURI), { credentials: 'same-origin' });
    if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
    const total = Number(response.headers.get('Content-Length')) || 0;
    const reader = response.body.getReader();
    const parts = [];
    let received = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      parts.push(value);
      received += value.length;
      if (total) ui.progress.value = received / total;
    }
    const bytes = new Uint8Array(received);
    let at = 0;
    for (const p of parts) { bytes.set(p, at); at += p.length; }
    await stopLive();
    measureBytes(name.replace(/^.*\//, ''), bytes.buffer);
  } catch (err) {
    ui.progress.hidden = true;
    setState('error');
    say(TEXT.fetchFailed + name + ': ' + err.message);
  }
}

// The name in "#file=NAME", or null. Only a name beside the page: no other origin is asked.
export function fileOfHash(hash) {
  const m = /^#file=(.+)$/.exec(hash || '');
  if (!m) return null;
  let name;
  try { name = decodeURIComponent(m[1]); } catch (e) { return null; }
  if (/^[a-z][a-z0-9+.-]*:|^\/\//i.test(name)) return null;
  return name;
}

function openFromHash() {
  const name = fileOfHash(location.hash);
  if (name) fetchFile(name);
}

// ---- live: the input, its channel, Start and Stop

async function listDevices() {
  if (!navigator.mediaDevices || !navigator.mediaDevices.enumerateDevices) return;
  const chosen = ui.device.value;
  const devices = (await navigator.mediaDevices.enumerateDevices()).filter((d) => d.kind === 'audioinput');
  const first = ui.device.options[0];
  ui.device.replaceChildren(first);
  devices.forEach((d, i) => {
    if (!d.deviceId || d.deviceId === 'default') return;
    ui.device.append(new Option(d.label || `${TEXT.input} ${i + 1}`, d.deviceId));
  });
  if ([...ui.device.options].some((o) => o.value === chosen)) ui.device.value = chosen;
}

// What the capture asks for: the signal as it comes, no processing by the browser.
export function captureConstraints(deviceId) {
  const audio = { echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: { ideal: 2 } };
  if (deviceId) audio.deviceId = { exact: deviceId };
  return { audio, video: false };
}

async function startLive() {
  if (capture) return;
  if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia || !window.AudioWorkletNode) {
    setState('error');
    say(TEXT.noCapture);
    return;
  }
  setState('starting');
  ui.start.disabled = true;
  let stream = null;
  let context = null;
  try {
    stream = await navigator.mediaDevices.getUserMedia(captureConstraints(ui.device.value));
    const settings = stream.getAudioTracks()[0].getSettings();
    if (settings.channelCount) setChannels(settings.channelCount);
    context = new AudioContext();
    await context.audioWorklet.addModule('worklet.js');
    const source = context.createMediaStreamSource(stream);
    const node = new AudioWorkletNode(context, 'wobble-capture', {
      numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [1],
      processorOptions: { channel: Number(ui.channel.value) || 1 },
    });
    const channel = new MessageChannel();
    worker.postMessage({ type: 'live-start', sampleRate: context.sampleRate, options: options(false), port: channel.port2 }, [channel.port2]);
    node.port.postMessage({ port: channel.port1 }, [channel.port1]);
    source.connect(node);
    node.connect(context.destination);  // silent: the graph pulls the node only when it leads out
    capture = { context, stream, node };
    measuredName = '';
    readingsJson = null;
    ui.stop.disabled = false;
    ui.channel.disabled = true;
    ui.device.disabled = true;
    ui.rate.textContent = context.sampleRate + ' Hz';
    listDevices();
  } catch (err) {
    if (stream) stream.getTracks().forEach((t) => t.stop());
    if (context) context.close();
    ui.start.disabled = false;
    setState('error');
    say(TEXT.captureFailed + (err && err.message ? err.message : err));
  }
}

async function stopLive() {
  if (!capture) return;
  const { context, stream, node } = capture;
  capture = null;
  node.port.postMessage({ stop: true });
  stream.getTracks().forEach((t) => t.stop());
  worker.postMessage({ type: 'live-stop' });
  await context.close();
  ui.start.disabled = false;
  ui.stop.disabled = true;
  ui.channel.disabled = false;
  ui.device.disabled = false;
}

// ---- wiring

function wire() {
  ui.start.addEventListener('click', startLive);
  ui.stop.addEventListener('click', stopLive);
  ui.file.addEventListener('change', () => {
    if (ui.file.files.length) measureFile(ui.file.files[0]);
    ui.file.value = '';
  });
  document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dropping'); });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dropping');
    const file = e.dataTransfer && e.dataTransfer.files[0];
    if (file) measureFile(file);
  });
  ui.platter.addEventListener('change', () => {
    if (!capture && measuredName) worker.postMessage({ type: 'remeasure', options: options(true) });
  });
  ui.exportKind.addEventListener('change', () => {
    const kind = ui.exportKind.value;
    ui.exportKind.value = '';
    if (kind && hasResult) worker.postMessage({ type: 'export', kind });
  });
  window.addEventListener('hashchange', openFromHash);
  if (navigator.mediaDevices && navigator.mediaDevices.addEventListener)
    navigator.mediaDevices.addEventListener('devicechange', listDevices);
  new ResizeObserver(sendPanelSize).observe(ui.canvas);
}

function registerOffline() {
  if (!('serviceWorker' in navigator)) return;
  navigator.serviceWorker.register('sw.js').then(() => navigator.serviceWorker.ready)
    .then(() => { document.body.dataset.offline = 'ready'; })
    .catch(() => { /* no offline copy: the page works online all the same */ });
}

// What the tests read: the last file's readings as the command line prints them, the capture's
// settings and rate, and the audio the display was made of, s.
window.wobblemeter = {
  readingsJson: () => readingsJson,
  trackSettings: () => (capture ? capture.stream.getAudioTracks()[0].getSettings() : null),
  contextRate: () => (capture ? capture.context.sampleRate : null),
  seconds: () => shownSeconds,
};

fillText();
say(TEXT.loadingEngine);
wire();
sendPanelSize();
listDevices();
openFromHash();
registerOffline();
