"""The page at a phone's width held upright and at a desktop's, with a file's readings: the
readouts above the panels on the phone, beside them on the desktop, nothing wider than the
screen, the figures large enough to read, the panels drawn; the screenshots are saved."""
import os

from meter_check import arguments, cdp, check, measured, tone, workdir

SIZES = {'phone': (390, 844), 'desktop': (1280, 900)}
# The figures' smallest size on a phone, CSS px.
PHONE_FIGURE_PX = 20

args = arguments(__doc__)
work = workdir()
out = args.out or work
os.makedirs(out, exist_ok=True)
tone(args, work, 'take.wav', '--level', '0.15', '--mod', '4')
BOX = 'JSON.parse(JSON.stringify(document.querySelector("{}").getBoundingClientRect()))'

with cdp.Session(args.site, [os.path.join(work, 'take.wav')]) as s:
    b = s.browser
    b.set_viewport(*SIZES['desktop'])
    b.goto(s.origin + '/index.html#file=take.wav')
    measured(b, 'take.wav')
    b.wait_for('document.body.dataset.drawn === "take.wav"', 60, 'the panels of take.wav')
    for name, (width, height) in SIZES.items():
        b.set_viewport(width, height)
        # The panels drawn again at the canvas's new size.
        b.wait_for(f'(() => {{ const c = document.getElementById("panels"); const r = c.getBoundingClientRect();'
                   f' return c.width === Math.round(r.width) && c.height === Math.round(r.height); }})()',
                   30, f'the panels at {name} size')
        check(b.eval('document.documentElement.scrollWidth') <= width, f'{name}: wider than the screen')
        readouts, panels = b.eval(BOX.format('#readouts')), b.eval(BOX.format('#panels'))
        if name == 'phone':
            check(readouts['bottom'] <= panels['top'], 'phone: the readouts are not above the panels')
            size = b.eval('parseFloat(getComputedStyle(document.querySelector("[data-reading]")).fontSize)')
            check(size >= PHONE_FIGURE_PX, f'phone: figures of {size} px')
        else:
            check(readouts['right'] <= panels['left'], 'desktop: the readouts are not beside the panels')
        # Drawn: the canvas holds more than one colour.
        colours = b.eval('(() => { const c = document.getElementById("panels");'
                         ' const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;'
                         ' const seen = new Set(); for (let i = 0; i < d.length; i += 4 * 97)'
                         ' seen.add(d[i] << 16 | d[i + 1] << 8 | d[i + 2]); return seen.size; })()')
        check(colours > 8, f'{name}: the panels are blank ({colours} colours)')
        # A phone scrolls: its picture is the whole page, the panels below the readouts.
        b.screenshot(os.path.join(out, f'web-{name}.png'), whole_page=name == 'phone')
print('ok', out)
