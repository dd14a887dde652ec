"""A small driver of headless Chromium over its DevTools protocol for the browser meter's tests:
serves a site from 127.0.0.1, starts the browser with its own profile, follows every request of
the page and its workers, and stops both by their pids however the test ends."""
import base64
import json
import os
import queue
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websocket  # python3-websocket

CHROMIUM = os.environ.get('WOBBLEGEN_CHROMIUM', 'chromium')
# How long a browser gets to start and print its port, s.
START_SECONDS = 30


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def stop_pid(proc):
    """Ends a process the test started (by its pid), waiting for it."""
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()


class Server:
    """python3 -m http.server on 127.0.0.1 and a free port, serving folder."""

    def __init__(self, folder, port=None):
        self.folder = folder
        self.port = port or free_port()
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(
            [sys.executable, '-m', 'http.server', '--bind', '127.0.0.1', str(self.port),
             '--directory', self.folder],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.time() + START_SECONDS
        while time.time() < deadline:
            try:
                with socket.create_connection(('127.0.0.1', self.port), timeout=1):
                    return self
            except OSError:
                time.sleep(0.1)
        raise RuntimeError('the http server did not start')

    @property
    def origin(self):
        return f'http://127.0.0.1:{self.port}'

    def stop(self):
        stop_pid(self.proc)
        self.proc = None


class Browser:
    """Headless Chromium with a profile of its own in a temp folder, one page attached."""

    def __init__(self, extra_args=(), downloads=None):
        self.profile = tempfile.mkdtemp(prefix='wobble-chromium-')
        self.downloads = downloads
        self.extra_args = list(extra_args)
        self.proc = None
        self.ws = None
        self.next_id = 0
        self.replies = {}
        self.events = queue.Queue()
        self.requests = []          # (target type, url) of every request seen
        self.console = []           # console messages and exceptions
        self.lock = threading.Condition()
        self.page = None            # the page's session id
        self.sessions = {}          # target id -> session id, of the pages

    def start(self, width=1280, height=900):
        args = [CHROMIUM, '--headless=new', '--no-sandbox', '--remote-debugging-port=0',
                f'--user-data-dir={self.profile}', '--no-first-run', '--no-default-browser-check',
                '--disable-extensions', '--disable-background-networking', '--disable-sync',
                '--disable-component-update', '--disable-default-apps', '--mute-audio',
                '--autoplay-policy=no-user-gesture-required', f'--window-size={width},{height}',
                '--disable-gpu', *self.extra_args, 'about:blank']
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     start_new_session=True)
        port_file = os.path.join(self.profile, 'DevToolsActivePort')
        deadline = time.time() + START_SECONDS
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError('chromium did not start')
            time.sleep(0.1)
        time.sleep(0.2)
        port, path = open(port_file).read().split('\n')[:2]
        self.ws = websocket.create_connection(f'ws://127.0.0.1:{port}{path}', timeout=None,
                                              suppress_origin=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.send('Target.setAutoAttach', autoAttach=True, waitForDebuggerOnStart=True,
                  flatten=True)
        if self.downloads:
            self.send('Browser.setDownloadBehavior', behavior='allow',
                      downloadPath=self.downloads, eventsEnabled=True)
        target = self.send('Target.createTarget', url='about:blank')['targetId']
        deadline = time.time() + START_SECONDS
        with self.lock:
            while target not in self.sessions:
                self.lock.wait(0.2)
                if time.time() > deadline:
                    raise RuntimeError('no page session')
            self.page = self.sessions[target]
        return self

    def _read(self):
        while True:
            try:
                message = json.loads(self.ws.recv())
            except Exception:
                return
            if 'id' in message:
                with self.lock:
                    self.replies[message['id']] = message
                    self.lock.notify_all()
            else:
                self._event(message)

    def _event(self, m):
        method, params, session = m.get('method'), m.get('params', {}), m.get('sessionId')
        if method == 'Target.attachedToTarget':
            info = params['targetInfo']
            child = params['sessionId']
            threading.Thread(target=self._attach, args=(child, info), daemon=True).start()
        elif method == 'Network.requestWillBeSent':
            self.requests.append((session, params['request']['url']))
        elif method == 'Runtime.consoleAPICalled':
            self.console.append(' '.join(str(a.get('value', a.get('description', '')))
                                         for a in params.get('args', [])))
        elif method == 'Runtime.exceptionThrown':
            self.console.append('exception: ' + json.dumps(params['exceptionDetails'])[:500])
        self.events.put(m)

    def _attach(self, session, info):
        kind = info['type']
        # Every page and worker: its requests followed, then let it run. Sent at once, not one
        # reply after the other: a worker paused at its start answers only once it runs.
        if kind in ('page', 'worker', 'service_worker', 'shared_worker', 'iframe'):
            self.post('Network.enable', session)
            self.post('Runtime.enable', session)
            self.post('Target.setAutoAttach', session, autoAttach=True,
                      waitForDebuggerOnStart=True, flatten=True)
        self.post('Runtime.runIfWaitingForDebugger', session)
        if kind == 'page':
            self.post('Page.enable', session)
            with self.lock:
                self.sessions[info['targetId']] = session
                self.lock.notify_all()

    def post(self, method, session, **params):
        """Sends a command without waiting for its reply."""
        with self.lock:
            self.next_id += 1
            ident = self.next_id
        self.ws.send(json.dumps({'id': ident, 'method': method, 'params': params,
                                 'sessionId': session}))

    def send(self, method, session=None, timeout=60, **params):
        with self.lock:
            self.next_id += 1
            ident = self.next_id
        message = {'id': ident, 'method': method, 'params': params}
        if session:
            message['sessionId'] = session
        self.ws.send(json.dumps(message))
        deadline = time.time() + timeout
        with self.lock:
            while ident not in self.replies:
                if not self.lock.wait(max(0.0, deadline - time.time())) and time.time() > deadline:
                    raise TimeoutError(method)
            reply = self.replies.pop(ident)
        if 'error' in reply:
            raise RuntimeError(f'{method}: {reply["error"]}')
        return reply.get('result', {})

    # ---- the page

    def goto(self, url):
        self.send('Page.navigate', session=self.page, url=url)

    def reload(self):
        self.send('Page.reload', session=self.page, ignoreCache=False)

    def eval(self, expression, gesture=False):
        """The value of a JavaScript expression in the page (promises awaited)."""
        r = self.send('Runtime.evaluate', session=self.page, expression=expression,
                      returnByValue=True, awaitPromise=True, userGesture=gesture)
        if 'exceptionDetails' in r:
            raise RuntimeError(f'{expression}: {r["exceptionDetails"]}')
        return r['result'].get('value')

    def wait_for(self, expression, seconds=60, what=None):
        """Waits until expression is true in the page; its value."""
        deadline = time.time() + seconds
        last = None
        while time.time() < deadline:
            try:
                last = self.eval(expression)
            except RuntimeError:
                last = None
            if last:
                return last
            time.sleep(0.1)
        state = self.eval('document.getElementById("state") && document.getElementById("state").dataset.state + " / " + document.getElementById("status").textContent')
        raise TimeoutError(f'{what or expression} (state: {state}; console: {self.console[-5:]})')

    def readings(self):
        """{KEY: text} of every data-reading element."""
        return self.eval('Object.fromEntries([...document.querySelectorAll("[data-reading]")]'
                         '.map(e => [e.dataset.reading, e.textContent]))')

    def set_viewport(self, width, height):
        self.send('Emulation.setDeviceMetricsOverride', session=self.page, width=width,
                  height=height, deviceScaleFactor=1, mobile=width < 600)

    def screenshot(self, path, whole_page=False):
        """The viewport, or the whole page as tall as its content (whole_page)."""
        extra = {}
        if whole_page:
            size = self.send('Page.getLayoutMetrics', session=self.page)['cssContentSize']
            extra = {'captureBeyondViewport': True,
                     'clip': {'x': 0, 'y': 0, 'width': size['width'], 'height': size['height'],
                              'scale': 1}}
        data = self.send('Page.captureScreenshot', session=self.page, format='png',
                         **({'captureBeyondViewport': False} | extra))['data']
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data))

    def stop(self):
        try:
            if self.ws:
                self.ws.close()
        finally:
            stop_pid(self.proc)
            self.proc = None
            shutil.rmtree(self.profile, ignore_errors=True)


def foreign_requests(requests, origin):
    """The URLs requested of anything but origin (data: and blob: stay in the page)."""
    return [url for _, url in requests
            if not (url.startswith(origin + '/') or url.startswith(('data:', 'blob:')))]


def site_copy(site, extra_files=()):
    """A temp folder with links to every file of the built site, and the given files beside."""
    folder = tempfile.mkdtemp(prefix='wobble-site-')
    for name in os.listdir(site):
        os.symlink(os.path.abspath(os.path.join(site, name)), os.path.join(folder, name))
    for path in extra_files:
        shutil.copy(path, folder)
    return folder


class Session:
    """A server and a browser for one test, both stopped by pid on the way out, signals too."""

    def __init__(self, site, extra_files=(), browser_args=(), downloads=None):
        self.folder = site_copy(site, extra_files)
        self.server = Server(self.folder)
        self.browser = Browser(browser_args, downloads)

    def __enter__(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, self._signal)
        self.server.start()
        self.browser.start()
        return self

    def _signal(self, number, frame):
        self.__exit__(None, None, None)
        sys.exit(128 + number)

    def __exit__(self, *exc):
        self.browser.stop()
        self.server.stop()
        shutil.rmtree(self.folder, ignore_errors=True)
        return False

    @property
    def origin(self):
        return self.server.origin
