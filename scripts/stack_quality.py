#!/usr/bin/python3
"""Sky level and star signal-to-noise of stacks of the same frames, side by side.

    stack_quality.py REFERENCE.fit OTHER.fit...

Stars are found in the reference (bright, unsaturated, isolated, inside the edges); each other stack is
matched to it by the median offset of the brightest stars (stacks may keep different frames' places).
A star's signal-to-noise is its aperture flux (radius 4, less the median of a ring 8-14 pixels out) over
the noise of such an aperture, measured as the spread (1.4826 x median absolute deviation) of the sums
of apertures laid on empty sky all over the stack: so noise that resampling smooths into neighbouring
pixels is counted as it is in a star's aperture. Printed per stack: the sky level in ADU, the aperture
noise, the median signal-to-noise and its median ratio to the reference's, star by star.
"""
import sys

import numpy as np
from astropy.io import fits


def load(path):
    data = fits.getdata(path).astype(np.float64)
    if data.ndim == 3:
        data = data[0]
    # Siril keeps its float results between 0 and 1.
    if np.nanmax(data) <= 1.5:
        data = data * 65535.0
    return np.nan_to_num(data)


def sky(img):
    inner = img[20:-20, 20:-20]
    return float(np.median(inner))


def noise(img):
    inner = img[20:-20, 20:-20]
    return 1.4826 * float(np.median(np.abs(inner - np.median(inner))))


def find_stars(img, count=60):
    bg, sigma = sky(img), noise(img)
    h, w = img.shape
    peak_limit = 0.9 * img.max()
    found = []
    order = np.argsort(img, axis=None)[::-1]
    taken = np.zeros_like(img, dtype=bool)
    for flat in order[:20000]:
        y, x = divmod(int(flat), w)
        v = img[y, x]
        if v < bg + 20 * sigma:
            break
        if taken[max(0, y - 12):y + 13, max(0, x - 12):x + 13].any():
            continue
        taken[max(0, y - 12):y + 13, max(0, x - 12):x + 13] = True
        if y < 25 or x < 25 or y >= h - 25 or x >= w - 25 or v > peak_limit:
            continue
        found.append((x, y))
        if len(found) >= count:
            break
    return found


def brightest_near(img, x, y, reach):
    box = img[y - reach:y + reach + 1, x - reach:x + reach + 1]
    dy, dx = np.unravel_index(np.argmax(box), box.shape)
    return x - reach + int(dx), y - reach + int(dy)


APERTURE = 4


def disc(r):
    yy, xx = np.mgrid[-r:r + 1, -r:r + 1]
    return np.hypot(xx, yy) <= r


def aperture_noise(img):
    """Spread of the sums of sky apertures (each less its ring level) away from every star."""
    level, sigma = sky(img), noise(img)
    mask = disc(APERTURE)
    h, w = img.shape
    sums = []
    for y in range(30, h - 30, 9):
        for x in range(30, w - 30, 9):
            box = img[y - 15:y + 16, x - 15:x + 16]
            if box.max() > level + 6 * sigma:
                continue
            sums.append(aperture_flux(img, x, y, mask))
    sums = np.array(sums)
    return 1.4826 * float(np.median(np.abs(sums - np.median(sums))))


def aperture_flux(img, x, y, mask=None):
    yy, xx = np.mgrid[y - 15:y + 16, x - 15:x + 16]
    box = img[y - 15:y + 16, x - 15:x + 16]
    d = np.hypot(xx - x, yy - y)
    ring = box[(d >= 8) & (d <= 14)]
    return float((box[d <= APERTURE] - np.median(ring)).sum())


def main(paths):
    images = [load(p) for p in paths]
    ref = images[0]
    stars = find_stars(ref)
    print(f"stars measured: {len(stars)}")
    print(f"{'stack':<28} {'sky ADU':>9} {'aperture noise':>15} {'median SNR':>11} {'SNR / reference':>16}")
    ref_noise = aperture_noise(ref)
    ref_snr = [aperture_flux(ref, x, y) / ref_noise for x, y in stars]
    for path, img in zip(paths, images):
        # The offset of this stack against the reference, from the ten brightest stars.
        offsets = []
        for x, y in stars[:10]:
            bx, by = brightest_near(img, x, y, 8)
            offsets.append((bx - x, by - y))
        ox = int(np.median([o[0] for o in offsets]))
        oy = int(np.median([o[1] for o in offsets]))
        n = aperture_noise(img)
        values, ratios = [], []
        for (x, y), r in zip(stars, ref_snr):
            bx, by = brightest_near(img, x + ox, y + oy, 2)
            s = aperture_flux(img, bx, by) / n
            values.append(s)
            ratios.append(s / r)
        name = path.rsplit("/", 1)[-1]
        print(f"{name:<28} {sky(img):9.2f} {n:15.1f} {np.median(values):11.1f} {np.median(ratios):16.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
