// The service worker: keeps a copy of every file of the site so that the meter opens and
// measures with no network; the cache is named by the version, so a new release replaces it.
'use strict';

const VERSION = '1.0.0.3';
const CACHE = 'wobblemeter-' + VERSION;
// Every file the page needs, relative to this worker (the site's folder).
const FILES = [
  './', 'index.html', 'app.js', 'text.js', 'worker.js', 'worklet.js', 'style.css',
  'engine.js', 'engine.wasm', 'manifest.webmanifest', 'icons/icon-192.png', 'icons/icon-512.png', 'icons/icon.svg',
];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('wobblemeter-') && n !== CACHE).map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The network first (a new build shows at once), the copy where there is none; what the site
// hands out (a recording opened by #file= too) is kept for the next time offline.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).then((response) => {
    if (response.ok && response.type === 'basic') {
      const copy = response.clone();
      event.waitUntil(caches.open(CACHE).then((cache) => cache.put(request, copy)));
    }
    return response;
  }).catch(() => caches.open(CACHE).then((cache) => cache.match(request, { ignoreSearch: true }))
    .then((hit) => hit || Response.error())));
});
