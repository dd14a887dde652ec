"""What the browser meter's tests share: the command line's readings of a recording, the
figures the page shows read back as numbers, and the arguments every test takes."""
import argparse
import atexit
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

# The exit status ctest reads as a test skipped (SKIP_RETURN_CODE in CMakeLists.txt).
SKIPPED = 77
# A figure and its unit as the page shows it: "0.1663 %", "+0.012 %".
FIGURE = re.compile(r'^([+-]?\d+(?:\.\d+)?) %$')
# The speed error's range: "-0.100 % to +0.050 %".
RANGE = re.compile(r'^([+-]?\d+(?:\.\d+)?) % to ([+-]?\d+(?:\.\d+)?) %$')


def arguments(description):
    p = argparse.ArgumentParser(description=description)
    p.add_argument('--site', required=True, help='the built site (build-web)')
    p.add_argument('--meter', required=True, help='wobblemeter')
    p.add_argument('--generator', required=True, help='wobblegen-cli')
    p.add_argument('--out', help='where pictures go')
    args = p.parse_args()
    for name in ('site', 'meter', 'generator', 'out'):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if not os.path.exists(os.path.join(args.site, 'engine.wasm')):
        # Skipped, not passed (ctest shows it): make test builds the site before.
        print(f'{args.site} holds no engine.wasm: run make web first', file=sys.stderr)
        sys.exit(SKIPPED)
    return args


def workdir():
    """A temp folder for the test's files, removed when it ends."""
    folder = tempfile.mkdtemp(prefix='wobble-web-test-')
    atexit.register(shutil.rmtree, folder, ignore_errors=True)
    return folder


def tone(args, folder, name, *options):
    """A test tone written by the generator into folder; its path."""
    path = os.path.join(folder, name)
    subprocess.run([args.generator, *options, '-o', path], check=True, stdout=subprocess.DEVNULL)
    return path


def cli_json(args, folder, name, *options):
    """`wobblemeter --json NAME` run beside the file: (stdout as bytes, parsed)."""
    r = subprocess.run([args.meter, '--json', *options, name], cwd=folder, capture_output=True,
                       check=True)
    return r.stdout, json.loads(r.stdout)


def cli_error(args, folder, name):
    """The command line's message for a file it cannot measure, without the program's name."""
    r = subprocess.run([args.meter, name], cwd=folder, capture_output=True, text=True)
    assert r.returncode == 1, r
    return r.stderr.strip().splitlines()[-1].removeprefix('wobblemeter: ')


def shown_numbers(text):
    """The numbers of a figure as shown and their decimals: [(value, decimals)]; None: no match."""
    m = FIGURE.match(text) or RANGE.match(text)
    if not m:
        return None
    return [(float(g), len(g.split('.')[1]) if '.' in g else 0) for g in m.groups()]


def agrees_as_shown(text, value):
    """Whether a shown figure is value rounded to the digits shown."""
    numbers = shown_numbers(text)
    values = value if isinstance(value, list) else [value]
    if numbers is None or len(numbers) != len(values):
        return False
    return all(abs(shown - v) <= 0.5 * 10 ** -decimals * (1 + 1e-9) + 1e-12
               for (shown, decimals), v in zip(numbers, values))


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def check_same_origin(browser, origin):
    foreign = cdp.foreign_requests(browser.requests, origin)
    check(not foreign, f'requests to another origin: {foreign}')
    check(len(browser.requests) > 3, 'the requests were not followed')


def measured(browser, name, seconds=120):
    """Waits until the page shows the readings of the file name."""
    browser.wait_for(f'document.body.dataset.measured === {json.dumps(name)} '
                     '&& document.getElementById("state").dataset.state !== "reading"',
                     seconds, f'the readings of {name}')
