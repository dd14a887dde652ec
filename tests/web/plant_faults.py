#!/usr/bin/env python3
"""Faults planted in the browser meter's files one at a time (scripts/mutants.py plants them in
C++ only), each against the browser test that should catch it: a copy of the built site with one
file changed. Usage: /usr/bin/python3 tests/web/plant_faults.py [--site build-web]
[--build build] [N ...] (N: the faults to plant, by number; none: all)."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WEB = os.path.join(ROOT, 'web')

# (file of web/, text, what it becomes, the test that must fail)
MUTANTS = [
 ('app.js', "echoCancellation: false", "echoCancellation: true", 'live'),
 ('app.js', "const text = r.text === null || r.text === undefined || r.text === '' ? TEXT.noReading : String(r.text);\n    if (el.textContent !== text)", "const text = r.text === null || r.text === undefined || r.text === '' ? TEXT.noReading : String(r.text);\n    if (text !== TEXT.noReading && el.textContent !== text)", 'live'),
 ('worker.js', "M.FS.chdir(IN_DIR);\n  M.FS.writeFile(base, new Uint8Array(data.bytes));\n  measure(base, base, data.options);", "M.FS.writeFile(IN_DIR + '/' + base, new Uint8Array(data.bytes));\n  measure(IN_DIR + '/' + base, base, data.options);", 'file_link'),
 ('sw.js', "'engine.js', 'engine.wasm', ", "'engine.js', ", 'offline'),
 ('app.js', "if (/^[a-z][a-z0-9+.-]*:|^\\/\\//i.test(name)) return null;", "if (/^[a-z][a-z0-9+.-]*:/i.test(name)) return null;", 'file_link'),
 ('style.css', "@media (min-width: 900px)", "@media (min-width: 300px)", 'screens'),
 ('app.js', "  worker.postMessage({ type: 'live-stop' });\n", "", 'live'),
 ('worker.js', "M.HEAPF32.set(samples, live.pointer >> 2);", "M.HEAPF32.set(samples, live.pointer >> 3);", 'live'),
 ('app.js', "return base + '.' + kind;", "return base + kind;", 'file_link'),
 ('worklet.js', "this.block.set(samples.subarray(i, i + n), this.filled);", "this.block.set(samples.subarray(i, i + n), 0);", 'live'),
 ('sw.js', "}).catch(() => caches.open(CACHE)", "}).catch(() => caches.open('wobblemeter-other')", 'offline'),
 ('worker.js', "if (data.kind === 'wav' && lastFile) {", "if (data.kind === 'json' && lastFile) {", 'file_link'),
  ('app.js', "    if (!response.ok) throw new Error(response.status + ' ' + response.statusText);\n", "", 'file_link'),
  ('style.css', "margin: 0; font-size: 1.5rem;", "margin: 0; font-size: 1rem;", 'screens'),
  ('app.js', "      showPanels(m.panels);\n      // Which file's", "      // Which file's", 'screens'),
  ('app.js', "if (total) ui.progress.value = received / total;", "if (total) ui.progress.value = received / total;\n      break;", 'file_link'),
]


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('--site', default=os.path.join(ROOT, 'build-web'))
    p.add_argument('--build', default=os.path.join(ROOT, 'build'))
    p.add_argument('faults', nargs='*', type=int)
    args = p.parse_args()
    survivors = 0
    for i, (name, old, new, test) in enumerate(MUTANTS):
        if args.faults and i not in args.faults:
            continue
        scratch = tempfile.mkdtemp(prefix='wobble-fault-')
        site = os.path.join(scratch, 'site')
        shutil.copytree(os.path.abspath(args.site), site)
        text = open(os.path.join(WEB, name)).read()
        if text.count(old) != 1:
            sys.exit(f'fault {i}: its text is not once in web/{name}')
        open(os.path.join(site, name), 'w').write(text.replace(old, new))
        r = subprocess.run([sys.executable, os.path.join(HERE, f'{test}_test.py'), '--site', site,
                            '--meter', os.path.join(args.build, 'meter', 'wobblemeter'),
                            '--generator', os.path.join(args.build, 'wobblegen-cli'),
                            '--out', scratch], capture_output=True, text=True)
        shutil.rmtree(scratch, ignore_errors=True)
        caught = r.returncode not in (0, 77)
        survivors += not caught
        last = (r.stderr.strip().splitlines() or [''])[-1][:150]
        print(f'{i:2} {"caught" if caught else "SURVIVED"} web/{name} by {test}: {last}', flush=True)
    return 1 if survivors else 0


if __name__ == '__main__':
    sys.exit(main())
