#!/usr/bin/env python3
"""The browser meter's size and speed (a benchmark, not a test): what a first visit transfers,
as sent and gzipped, and the time from opening the default 30 s test tone to its readings in
headless Chromium, beside the command line's time on the same file.
Usage: /usr/bin/python3 bench/web_bench.py [--site build-web] [--build build] [--runs 3]"""
import argparse
import gzip
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import cdp  # noqa: E402

# The compression level a web server's gzip uses by default (nginx, Apache's mod_deflate).
GZIP_LEVEL = 6


def site_files(site):
    """The files the service worker keeps: what a first visit fetches."""
    text = open(os.path.join(site, 'sw.js')).read()
    listed = re.search(r'const FILES = \[(.*?)\];', text, re.S).group(1)
    names = re.findall(r"'([^']+)'", listed)
    return [n for n in names if n != './']


def sizes(site):
    rows = []
    for name in site_files(site):
        data = open(os.path.join(site, name), 'rb').read()
        rows.append((name, len(data), len(gzip.compress(data, GZIP_LEVEL))))
    return rows


def cli_seconds(meter, folder, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([meter, '--json', 'tone.wav'], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return times


def browser_seconds(site, folder, runs):
    """Seconds to the readings shown, each run, the engine loaded and the worker idle: from
    choosing tone.wav in the page's file chooser (read from the disk, as the command line reads
    it), and from setting #file=tone.wav (fetched from the local server)."""
    opened, linked = [], []
    path = os.path.join(folder, 'tone.wav')
    with cdp.Session(site, [path]) as s:
        b = s.browser
        b.goto(s.origin + '/index.html')
        b.wait_for('document.querySelectorAll("[data-reading]").length > 0', 60)
        document = b.send('DOM.getDocument', session=b.page)['root']['nodeId']
        chooser = b.send('DOM.querySelector', session=b.page, nodeId=document,
                         selector='#file')['nodeId']
        for _ in range(runs):
            b.eval('delete document.body.dataset.measured; delete document.body.dataset.drawn;'
                   ' document.getElementById("file").value = ""')
            start = time.perf_counter()
            b.send('DOM.setFileInputFiles', session=b.page, nodeId=chooser, files=[path])
            b.wait_for('document.body.dataset.measured === "tone.wav"', 120)
            opened.append(time.perf_counter() - start)
            # The panels follow the readings; the next run starts once the worker is idle.
            b.wait_for('document.body.dataset.drawn === "tone.wav"', 120)
        for _ in range(runs):
            b.eval('delete document.body.dataset.measured; location.hash = ""')
            start = time.perf_counter()
            b.eval('location.hash = "#file=tone.wav"')
            b.wait_for('document.body.dataset.measured === "tone.wav"', 120)
            linked.append(time.perf_counter() - start)
            b.wait_for('document.body.dataset.drawn === "tone.wav"', 120)
    return opened, linked


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('--site', default='build-web')
    p.add_argument('--build', default='build')
    p.add_argument('--runs', type=int, default=3)
    args = p.parse_args()
    args.site, args.build = os.path.abspath(args.site), os.path.abspath(args.build)
    rows = sizes(args.site)
    total, zipped = sum(r[1] for r in rows), sum(r[2] for r in rows)
    for name, size, z in rows:
        print(f'{name:24} {size:>10} B  gzip {z:>9} B')
    print(f'{"first visit":24} {total:>10} B  gzip {zipped:>9} B  ({zipped / 1e6:.2f} MB)')
    folder = tempfile.mkdtemp(prefix='wobble-bench-')
    subprocess.run([os.path.join(args.build, 'wobblegen-cli'), '-o', os.path.join(folder, 'tone.wav')],
                   check=True, stdout=subprocess.DEVNULL)
    cli = cli_seconds(os.path.join(args.build, 'meter', 'wobblemeter'), folder, args.runs)
    web, linked = browser_seconds(args.site, folder, args.runs)
    shutil.rmtree(folder, ignore_errors=True)
    cli_s, web_s, linked_s = (statistics.median(t) for t in (cli, web, linked))
    print(f'default 30 s tone: command line {cli_s:.3f} s, browser {web_s:.3f} s opened from the '
          f'disk, {linked_s:.3f} s by a #file= link (medians of {args.runs}); '
          f'ratio {web_s / cli_s:.2f} (opened), {linked_s / cli_s:.2f} (link)')
    print(json.dumps({'bytes': total, 'gzip_bytes': zipped, 'cli_s': cli, 'browser_s': web,
                      'browser_link_s': linked}))

if __name__ == '__main__':
    main()
