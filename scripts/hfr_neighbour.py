#!/usr/bin/python3
"""HFR of faint stars of a real stack with a star 100 times brighter planted 30 pixels away.

    hfr_neighbour.py STACK.fit QLM_T4_CLI HOME

The brightest unsaturated isolated star of the stack is the model: its 31 x 31 box, less its ring level,
scaled to 100 times a faint star's flux, is added 30 pixels from that faint star, on empty sky. Each
faint star (about a hundredth of the model's flux, nothing else within 30 pixels) is measured by
`qlm_t4_cli star` alone and beside the planted neighbour; its HFR alone is the truth. Printed: one line
per star and the largest relative change.
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
from astropy.io import fits

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stack_quality as sq  # noqa: E402

DISTANCE = 30
RATIO = 100.0


def measure(cli, home, path, x, y):
    run = subprocess.run([cli, "--home", home, "star", path, str(x), str(y)], capture_output=True, text=True)
    if run.returncode != 0:
        return None
    fields = dict(line.split(": ") for line in run.stdout.splitlines() if ": " in line)
    return float(fields["hfr"])


def main(stack, cli, home):
    img = fits.getdata(stack).astype(np.float64)
    level, sigma = sq.sky(img), sq.noise(img)
    h, w = img.shape
    stars = sq.find_stars(img, count=400)
    flux = {s: sq.aperture_flux(img, *s) for s in stars}
    model = max(stars, key=lambda s: flux[s])
    mx, my = model
    box = img[my - 15:my + 16, mx - 15:mx + 16]
    yy, xx = np.mgrid[-15:16, -15:16]
    d = np.hypot(xx, yy)
    shape = box - sq.ring_level(box[(d >= 12) & (d <= 15)])
    bright = img > level + 5 * sigma
    faint = [s for s in stars
             if RATIO / 1.6 < flux[model] / flux[s] < RATIO * 1.6
             and all(np.hypot(s[0] - o[0], s[1] - o[1]) > DISTANCE + 5 for o in stars if o != s)]
    print(f"model star {mx},{my}: flux {flux[model]:.0f}; faint stars near 1/{RATIO:.0f} of it: {len(faint)}")
    worst = 0.0
    measured = 0
    with tempfile.TemporaryDirectory() as work:
        for fx, fy in faint[:8]:
            # A place 30 pixels away whose box holds only sky.
            for angle in np.arange(0, 360, 45):
                px = int(round(fx + DISTANCE * np.cos(np.radians(angle))))
                py = int(round(fy + DISTANCE * np.sin(np.radians(angle))))
                if 20 <= px < w - 20 and 20 <= py < h - 20 and not bright[py - 15:py + 16, px - 15:px + 16].any():
                    break
            else:
                continue
            pair = img.copy()
            pair[py - 15:py + 16, px - 15:px + 16] += shape * (RATIO * flux[(fx, fy)] / flux[model])
            path = os.path.join(work, "pair.fit")
            fits.writeto(path, pair.astype(np.float32), overwrite=True)
            alone = measure(cli, home, stack, fx, fy)
            beside = measure(cli, home, path, fx, fy)
            if alone is None or beside is None:
                print(f"star {fx},{fy}: not measured (alone {alone}, beside {beside})")
                worst = float("inf")
                continue
            change = abs(beside - alone) / alone
            worst = max(worst, change)
            measured += 1
            print(f"star {fx},{fy}: hfr alone {alone:.2f}, with the neighbour at {px},{py} {beside:.2f} "
                  f"({100 * change:.1f} %)")
    if measured == 0:
        print("no faint star measured")
        sys.exit(1)
    print(f"largest change over {measured} stars: {100 * worst:.1f} %")


if __name__ == "__main__":
    main(*sys.argv[1:4])
