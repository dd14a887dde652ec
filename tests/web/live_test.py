"""Live from Chromium's fake capture device fed with a test tone: Start works at once on the
default input, the capture asks for no processing, the context's rate is shown, the readings
come within 1 % of the command line's for the file, and Stop keeps them."""
import json
import os

from meter_check import (arguments, cdp, check, check_same_origin, cli_json, measured,
                         shown_numbers, tone, workdir)

# Audio the session takes before its readings are compared, s (the live readings are over the
# meter's window, 10 s by default, after the settling).
LIVE_SECONDS = 16
TOLERANCE = 0.01
COMPARED = ('weighted_peak_percent', 'unweighted_peak_percent', 'weighted_rms_percent',
            'weighted_quasi_peak_percent')

args = arguments(__doc__)
work = workdir()
# Whole cycles of the carrier and of the modulation in the file: the device loops it seamlessly.
path = tone(args, work, 'live.wav', '--duration', '20', '--level', '0.2',
            '--mod', '4')
_, expected = cli_json(args, work, 'live.wav')
fake = ['--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
        f'--use-file-for-fake-audio-capture={path}']

with cdp.Session(args.site, [path], browser_args=fake) as s:
    b = s.browser
    # A file's readings first: the session's own replace them, dashes until they form.
    b.goto(s.origin + '/index.html#file=live.wav')
    measured(b, 'live.wav')
    b.eval('document.querySelector(\'[data-action="start"]\').click()', gesture=True)
    early = b.wait_for('(() => { const s = document.getElementById("state").dataset.state;'
                       ' return (s === "waiting" || s === "settling") && [...document.querySelectorAll("[data-reading]")]'
                       '.map(e => e.textContent); })()', 30, 'the session waiting')
    check(set(early) == {'\u2013'}, f'figures of the file shown in the new session: {early}')
    b.wait_for('window.wobblemeter.trackSettings()', 30, 'the capture')
    settings = b.eval('window.wobblemeter.trackSettings()')
    for key in ('echoCancellation', 'noiseSuppression', 'autoGainControl'):
        check(settings.get(key) is False, f'{key} is {settings.get(key)!r}')
    rate = b.eval('window.wobblemeter.contextRate()')
    check(b.eval('document.getElementById("rate").textContent') == f'{rate} Hz', 'the rate shown')
    b.wait_for('document.getElementById("state").dataset.state === "measuring"', 60, 'measuring')
    b.wait_for(f'window.wobblemeter.seconds() >= {LIVE_SECONDS}', 90, f'{LIVE_SECONDS} s of audio')
    shown = b.readings()
    for key in COMPARED:
        numbers = shown_numbers(shown.get(key, ''))
        check(numbers, f'{key}: {shown.get(key)!r}')
        live, want = numbers[0][0], expected[key]
        check(abs(live - want) <= TOLERANCE * want, f'{key}: live {live}, the file {want}')
    check(b.eval('document.getElementById("overruns").textContent') == '0', 'overruns')
    b.eval('document.querySelector(\'[data-action="stop"]\').click()', gesture=True)
    b.wait_for('document.getElementById("state").dataset.state === "stopped"', 30, 'stopped')
    after = b.readings()
    check(all(after[k] != '\u2013' for k in COMPARED), f'the readings went with Stop: {after}')
    check(b.eval('document.querySelector(\'[data-action="stop"]\').disabled') is True,
          'Stop still enabled')
    check_same_origin(b, s.origin)
print('ok', json.dumps({k: shown[k] for k in COMPARED}))
