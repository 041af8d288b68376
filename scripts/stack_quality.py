#!/usr/bin/python3
"""Sky level and star signal-to-noise of stacks of the same frames, side by side.

    stack_quality.py REFERENCE.fit OTHER.fit...

Stars are found in the reference (bright, unsaturated, isolated, inside the edges); each other stack is
matched to it by the median offset of the brightest stars (stacks may keep different frames' places).
A star's signal-to-noise is its aperture flux (radius 4, less the level of a ring 8-14 pixels out) over
the noise of such an aperture, measured as the spread (1.4826 x median absolute deviation) of the sums
of apertures laid on empty sky all over the stack: so noise that resampling smooths into neighbouring
pixels is counted as it is in a star's aperture. The sky apertures are chosen once, on the reference,
and laid on the same sky in every stack, so all stacks are measured on the same stars and the same
background. The ring's level is its mean after clipping outliers at 3 sigma (a median of whole numbers
would move an aperture's sum in steps of 49 ADU). Printed per stack: the sky level in ADU, the aperture
noise, the median signal-to-noise and its median ratio to the reference's, star by star (and that ratio
the other way round).
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


def sky_places(ref, step=3):
    """Aperture centres on the reference's empty sky: 15 pixels or more from anything 5 sigma above it."""
    level, sigma = sky(ref), noise(ref)
    h, w = ref.shape
    near = np.zeros(ref.shape, dtype=bool)
    for y, x in zip(*np.nonzero(ref > level + 5 * sigma)):
        near[max(0, y - 15):y + 16, max(0, x - 15):x + 16] = True
    return [(x, y) for y in range(40, h - 40, step) for x in range(40, w - 40, step) if not near[y, x]]


def aperture_noise(img, places, ox, oy):
    """Spread of the sums of the sky apertures (each less its ring level), moved by the stack's offset."""
    sums = np.array([aperture_flux(img, x + ox, y + oy) for x, y in places])
    return 1.4826 * float(np.median(np.abs(sums - np.median(sums))))


def ring_level(ring):
    keep = ring
    for _ in range(3):
        keep = ring[np.abs(ring - keep.mean()) <= 3 * keep.std()]
    return float(keep.mean())


def aperture_flux(img, x, y):
    yy, xx = np.mgrid[y - 15:y + 16, x - 15:x + 16]
    box = img[y - 15:y + 16, x - 15:x + 16]
    d = np.hypot(xx - x, yy - y)
    return float((box[d <= APERTURE] - ring_level(box[(d >= 8) & (d <= 14)])).sum())


def main(paths):
    images = [load(p) for p in paths]
    ref = images[0]
    stars = find_stars(ref)
    places = sky_places(ref)
    print(f"stars measured: {len(stars)}, sky apertures: {len(places)}")
    print(f"{'stack':<28} {'sky ADU':>9} {'aperture noise':>15} {'median SNR':>11} {'SNR / reference':>16} {'reference / SNR':>16}")
    ref_noise = aperture_noise(ref, places, 0, 0)
    ref_snr = [aperture_flux(ref, x, y) / ref_noise for x, y in stars]
    for path, img in zip(paths, images):
        # The offset of this stack against the reference, from the ten brightest stars.
        offsets = []
        for x, y in stars[:10]:
            bx, by = brightest_near(img, x, y, 8)
            offsets.append((bx - x, by - y))
        ox = int(np.median([o[0] for o in offsets]))
        oy = int(np.median([o[1] for o in offsets]))
        n = aperture_noise(img, places, ox, oy)
        values, ratios = [], []
        for (x, y), r in zip(stars, ref_snr):
            bx, by = brightest_near(img, x + ox, y + oy, 2)
            s = aperture_flux(img, bx, by) / n
            values.append(s)
            ratios.append(s / r)
        name = path.rsplit("/", 1)[-1]
        print(f"{name:<28} {sky(img):9.2f} {n:15.1f} {np.median(values):11.1f} {np.median(ratios):16.3f} {np.median(1 / np.array(ratios)):16.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
