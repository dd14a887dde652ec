"""A recording opened by an index.html#file= link reads as the command line reads it: every
data-reading figure, the readings JSON and its export byte for byte; before, only dashes; a file
the meter cannot read and one that is not there say so; no request leaves the origin."""
import json
import os
import time

from meter_check import (agrees_as_shown, arguments, cdp, check, check_same_origin, cli_error,
                         cli_json, measured, tone, workdir)

args = arguments(__doc__)
work = workdir()
downloads = os.path.join(work, 'downloads')
os.makedirs(downloads)
tone(args, work, 'tone.wav', '--level', '0.1', '--mod', '4')
bad = os.path.join(work, 'notaudio.wav')
with open(bad, 'w') as f:
    f.write('this is not a recording\n')
expected_bytes, expected = cli_json(args, work, 'tone.wav')
bad_message = cli_error(args, work, 'notaudio.wav')

with cdp.Session(args.site, [os.path.join(work, 'tone.wav'), bad], downloads=downloads) as s:
    b = s.browser
    b.goto(s.origin + '/index.html')
    b.wait_for('document.querySelectorAll("[data-reading]").length > 0', 60, 'the readouts')
    blank = b.readings()
    check(set(blank.values()) == {'\u2013'}, f'figures before any measurement: {blank}')
    for action in ('start', 'stop'):
        label = b.eval(f'document.querySelector(\'[data-action="{action}"]\').getAttribute("aria-label")')
        check(label, f'the {action} button has no ARIA label')

    # Names of another origin are never fetched; an escaped name beside the page is.
    names = b.eval('import("./app.js").then(m => ["#file=https://example.org/x.wav",'
                   ' "#file=%2F%2Fexample.org%2Fx.wav", "#file=take%20one.wav", "#file=", "#x"]'
                   '.map(m.fileOfHash))')
    check(names == [None, None, 'take one.wav', None, None], f'names of links: {names}')

    b.goto(s.origin + '/index.html#file=tone.wav')
    measured(b, 'tone.wav')
    shown = b.readings()
    check(b.eval('window.wobblemeter.readingsJson()') == expected_bytes.decode(),
          'the readings JSON differs from the command line\'s')
    for key, text in shown.items():
        check(key in expected, f'data-reading="{key}" is no key of the readings')
        value = expected[key]
        if value is None:
            check(text == '\u2013', f'{key}: {text!r} where the command line has none')
        else:
            check(agrees_as_shown(text, value), f'{key}: shows {text!r}, the command line {value}')
    for key in ('weighted_peak_percent', 'unweighted_peak_percent', 'weighted_rms_percent',
                'wow_rms_percent', 'flutter_rms_percent', 'speed_error_percent'):
        check(key in shown, f'no data-reading="{key}"')
    check(b.eval('document.getElementById("rate").textContent') == f'{expected["sample_rate"]} Hz',
          'the sample rate shown')

    # The JSON export, as a download.
    b.eval('(() => { const s = document.getElementById("export"); s.value = "json";'
           ' s.dispatchEvent(new Event("change")); })()')
    path = os.path.join(downloads, 'tone.json')
    deadline = time.time() + 30
    while not os.path.exists(path) and time.time() < deadline:
        time.sleep(0.1)
    check(os.path.exists(path), f'no download tone.json: {os.listdir(downloads)}')
    time.sleep(0.3)
    check(open(path, 'rb').read() == expected_bytes, 'the exported JSON differs')

    b.goto(s.origin + '/index.html#file=notaudio.wav')
    measured(b, 'notaudio.wav')
    check(b.eval('document.getElementById("state").dataset.state') == 'error', 'a bad file is no error')
    status = b.eval('document.getElementById("status").textContent')
    check(status == bad_message, f'the message {status!r}, the command line\'s {bad_message!r}')
    check(set(b.readings().values()) == {'\u2013'}, 'figures left from the file before')

    b.goto(s.origin + '/index.html#file=missing.wav')
    b.wait_for('document.getElementById("status").textContent.includes("missing.wav")', 30,
               'the message for a file not there')
    check(b.eval('document.getElementById("state").dataset.state') == 'error', 'no error shown')
    # The server's answer, not the meter's reading of its error page.
    status = b.eval('document.getElementById("status").textContent')
    check(status.startswith('Could not fetch missing.wav: 404'), f'the message {status!r}')
    check_same_origin(b, s.origin)
print('ok')
