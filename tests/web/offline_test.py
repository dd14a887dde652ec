"""After one visit the page works with the server stopped: it loads again from the service
worker's copy, the engine with it, and measures a file opened from the disk as the command line
does; no request leaves the origin."""
import os

from meter_check import (arguments, cdp, check, check_same_origin, cli_json, measured, tone,
                         workdir)

args = arguments(__doc__)
work = workdir()
tone(args, work, 'other.wav', '--rate', '48000', '--center', '3000', '--level', '0.3',
     '--duration', '12')
expected_bytes, _ = cli_json(args, work, 'other.wav')

with cdp.Session(args.site) as s:
    b = s.browser
    b.goto(s.origin + '/index.html')
    b.wait_for('document.body.dataset.offline === "ready"', 60, 'the offline copy')
    b.wait_for('document.querySelectorAll("[data-reading]").length > 0', 60, 'the readouts')
    s.server.stop()
    # Not from the browser's HTTP cache, which keeps a fresh build's files for a while on its own.
    b.send('Network.clearBrowserCache', session=b.page)
    b.reload()
    b.wait_for('document.readyState === "complete" && '
               'document.querySelectorAll("[data-reading]").length > 0', 60,
               'the page and its engine from the offline copy')
    check(b.eval('navigator.serviceWorker.controller !== null'), 'the page is not the copy')
    document = b.send('DOM.getDocument', session=b.page)['root']['nodeId']
    node = b.send('DOM.querySelector', session=b.page, nodeId=document, selector='#file')['nodeId']
    b.send('DOM.setFileInputFiles', session=b.page, nodeId=node,
           files=[os.path.join(work, 'other.wav')])
    measured(b, 'other.wav')
    check(b.eval('window.wobblemeter.readingsJson()') == expected_bytes.decode(),
          'the readings offline differ from the command line\'s')
    check_same_origin(b, s.origin)
print('ok')
