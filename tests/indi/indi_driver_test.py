"""The INDI driver on the simulated rig, driven by indiserver and INDI's own clients (indi_setprop,
indi_getprop, indi_eval). Frames are compared pixel for pixel with qlm_t4_cli's readouts of the same
simulator (same seed, sky held still); the relay port, filter wheel, AO unit, abort and a pulled cable
are checked through what the clients see. Run by indi_driver_test.sh inside its network namespace.
Usage: indi_driver_test.py DRIVER QLM_T4_CLI"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from astropy.io import fits

DEV = "QLM T4 CCD"
# The sky held still: no seeing wander, periodic error or drift, so that frames repeat exactly.
SIM_KEYS = ["seed=7", "seeing_px=0", "pe_arcsec=0", "drift_ra_arcsec_per_s=0", "drift_dec_arcsec_per_s=0"]
GUIDE_RATE_X = 0.5  # the simulator's guide rate, x sidereal
SIDEREAL_ARCSEC_PER_S = 15.041
GUIDER_ARCSEC_PER_PX = 3.8
AO_STEP_ARCSEC = 0.76

driver, cli = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="qlm_indi_")
failures = []
passed = 0


def check(ok, what):
    global passed
    if ok:
        passed += 1
        print("ok:", what)
    else:
        failures.append(what)
        print("FAILED:", what)


def run(args, timeout=30, cwd=None):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, cwd=cwd)


def setprop(assignment):
    r = run(["indi_setprop", "-t", "5", assignment])
    if r.returncode != 0:
        raise RuntimeError("indi_setprop %s: %s" % (assignment, r.stderr.strip()))


def wait_for(expr, seconds):
    return run(["indi_eval", "-t", str(seconds), "-w", expr], timeout=seconds + 10).returncode == 0


def getprop(query):
    r = run(["indi_getprop", "-1", "-t", "3", query])
    return r.stdout.strip() if r.returncode == 0 else None


def prop(name):
    return '"%s.%s"' % (DEV, name)


class Server:
    """indiserver with the driver, and an indi_getprop that keeps every BLOB it is sent as a file."""

    def __init__(self, tag, paced=True):
        self.dir = os.path.join(work, tag)
        os.makedirs(self.dir)
        env = dict(os.environ, HOME=self.dir, QLM_T4_HOME=os.path.join(self.dir, "qlm"),
                   QLM_T4_SIM=" ".join(SIM_KEYS))
        self.log = open(os.path.join(self.dir, "indiserver.log"), "w")
        self.messages = os.path.join(self.dir, "messages")
        os.makedirs(self.messages)
        self.server = subprocess.Popen(["indiserver", "-v", "-l", self.messages, driver], cwd=self.dir, env=env,
                                       stdout=self.log, stderr=subprocess.STDOUT)
        self.monitor = None
        deadline = time.monotonic() + 20
        while getprop(DEV + ".CONNECTION.CONNECT") is None:
            if time.monotonic() > deadline or self.server.poll() is not None:
                raise RuntimeError("indiserver did not come up; see " + self.log.name)
            time.sleep(0.1)
        setprop(DEV + ".SIM_PACE." + ("PACED" if paced else "INSTANT") + "=On")
        setprop(DEV + ".SIMULATION.ENABLE=On")
        self.connect()
        self.blobs = os.path.join(self.dir, "blobs")
        os.makedirs(self.blobs)
        self.monitor = subprocess.Popen(["indi_getprop", "-m", "-t", "600", DEV + ".CCD1.CCD1", DEV + ".CCD2.CCD2"],
                                        cwd=self.blobs, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.count = 0

    def connect(self):
        setprop(DEV + ".CONNECTION.CONNECT=On")
        if not wait_for(prop("CONNECTION.CONNECT") + "==1 && " + prop("CCD_INFO._STATE") + ">=0", 15):
            raise RuntimeError("the driver did not connect; see " + self.log.name)

    def blob(self, chip, seconds=30):
        """The next FITS the client receives for chip CCD1 or CCD2, opened with astropy."""
        path = os.path.join(self.blobs, "%s.%s.%s.fits" % (DEV, chip, chip))
        deadline = time.monotonic() + seconds
        last = -1
        while time.monotonic() < deadline:
            size = os.path.getsize(path) if os.path.exists(path) else -1
            if size > 0 and size == last and size % 2880 == 0:
                self.count += 1
                kept = os.path.join(self.blobs, "%d.fits" % self.count)
                os.rename(path, kept)
                hdul = fits.open(kept)
                hdul.verify("exception")
                return hdul[0]
            last = size
            time.sleep(0.1)
        return None

    def expose(self, seconds, chip="CCD1"):
        name = "CCD_EXPOSURE.CCD_EXPOSURE_VALUE" if chip == "CCD1" else "GUIDER_EXPOSURE.GUIDER_EXPOSURE_VALUE"
        setprop("%s.%s=%g" % (DEV, name, seconds))
        return self.blob(chip, seconds + 30)

    def stop(self):
        for p in (self.monitor, self.server):
            if p is not None and p.poll() is None:
                p.terminate()
                p.wait(10)
        self.log.close()


def cli_readout(mode, ms):
    out = os.path.join(work, "cli_%s_%d.raw" % (mode, ms))
    args = [cli, "--home", os.path.join(work, "cli_home"), "--simulate"]
    for k in SIM_KEYS:
        args += ["--sim", k]
    r = run(args + ["readout", "--mode", mode, "--exposure-ms", str(ms), out], timeout=60)
    if r.returncode != 0:
        raise RuntimeError("qlm_t4_cli readout: " + r.stderr)
    shape = (290, 500) if mode == "guider" else (500, 660)
    return np.fromfile(out, dtype="<u2").reshape(shape)


def star_centroid(image, near=None, box=12):
    """Intensity-weighted centroid of the brightest star (or of the one near `near`)."""
    img = image.astype(float)
    if near is None:
        smooth = img[:-2, :-2] + img[1:-1, :-2] + img[2:, :-2] + img[:-2, 1:-1] + img[1:-1, 1:-1] + \
            img[2:, 1:-1] + img[:-2, 2:] + img[1:-1, 2:] + img[2:, 2:]
        y, x = np.unravel_index(np.argmax(smooth[box:-box, box:-box]), smooth[box:-box, box:-box].shape)
        near = (x + box + 1, y + box + 1)
    cx, cy = int(round(near[0])), int(round(near[1]))
    cut = img[cy - box:cy + box + 1, cx - box:cx + box + 1]
    cut = np.clip(cut - np.median(img), 0, None)
    ys, xs = np.mgrid[cy - box:cy + box + 1, cx - box:cx + box + 1]
    return (float((cut * xs).sum() / cut.sum()), float((cut * ys).sum() / cut.sum()))


def same_pixels(hdu, expected, what):
    got = None if hdu is None else np.asarray(hdu.data).astype(np.int64)
    ok = got is not None and got.shape == expected.shape and np.array_equal(got, expected.astype(np.int64))
    detail = "no image" if got is None else "shape %s, %d pixels differ" % (
        got.shape, -1 if got.shape != expected.shape else int((got != expected).sum()))
    check(ok, "%s equals qlm_t4_cli's readout (%s)" % (what, detail))


def frames_equal_cli():
    # Each on a freshly switched-on simulator, as each command-line run is.
    s = Server("full")
    try:
        hdu = s.expose(0.5)
        same_pixels(hdu, cli_readout("full", 500)[6:, :], "main full frame, 500 ms")
        check(hdu is not None and hdu.header.get("NAXIS1") == 660 and hdu.header.get("NAXIS2") == 494,
              "main frame is the 660 x 494 sensor")
    finally:
        s.stop()
    s = Server("binned", paced=False)
    try:
        setprop(DEV + ".CCD_BINNING.HOR_BIN=2;VER_BIN=2")
        same_pixels(s.expose(1.5), cli_readout("binned", 1500)[6::2, 0::2], "main binned frame, 1500 ms")
    finally:
        s.stop()
    s = Server("guider")
    try:
        same_pixels(s.expose(0.3, "CCD2"), cli_readout("guider", 300), "guide head frame, 300 ms")
    finally:
        s.stop()


def devices_and_faults():
    s = Server("devices")
    try:
        # ST4: 1000 ms west at the guide rate moves the star on the guider by rate x time.
        before = star_centroid(s.expose(0.1, "CCD2").data)
        setprop(DEV + ".TELESCOPE_TIMED_GUIDE_WE.TIMED_GUIDE_W=1000;TIMED_GUIDE_E=0")
        check(wait_for(prop("TELESCOPE_TIMED_GUIDE_WE._STATE") + "==2", 5), "the pulse is Busy while it runs")
        check(wait_for(prop("TELESCOPE_TIMED_GUIDE_WE._STATE") + "<2", 10), "the pulse completes")
        after = star_centroid(s.expose(0.1, "CCD2").data, before)
        moved = np.hypot(after[0] - before[0], after[1] - before[1])
        want = GUIDE_RATE_X * SIDEREAL_ARCSEC_PER_S * 1.0 / GUIDER_ARCSEC_PER_PX
        check(abs(moved - want) < 0.15, "1000 ms west moved the star %.3f px (guide rate gives %.3f)" % (moved, want))

        # A pulse that ends while a longer exposure runs stops at its own end, not at the exposure's.
        setprop(DEV + ".CCD_EXPOSURE.CCD_EXPOSURE_VALUE=1")
        check(wait_for(prop("CCD_EXPOSURE._STATE") + "==2", 5), "a 1 s exposure is Busy")
        time.sleep(0.7)  # the pulse starts late in the exposure and ends after it
        setprop(DEV + ".TELESCOPE_TIMED_GUIDE_WE.TIMED_GUIDE_W=500;TIMED_GUIDE_E=0")
        check(s.blob("CCD1") is not None and wait_for(prop("TELESCOPE_TIMED_GUIDE_WE._STATE") + "<2", 10),
              "the exposure and the pulse both complete")
        later = star_centroid(s.expose(0.1, "CCD2").data, after)
        moved = np.hypot(later[0] - after[0], later[1] - after[1])
        want = GUIDE_RATE_X * SIDEREAL_ARCSEC_PER_S * 0.5 / GUIDER_ARCSEC_PER_PX
        check(abs(moved - want) < 0.15, "500 ms west during an exposure moved the star %.3f px (want %.3f)" % (moved, want))
        after = later

        # AO: 20 steps west tilt the image by 20 steps; the travel then cuts a step and lights AT_LIMIT.
        setprop(DEV + ".AO_WE.AO_W=20;AO_E=0")
        tilted = star_centroid(s.expose(0.1, "CCD2").data, after)
        shift = np.hypot(tilted[0] - after[0], tilted[1] - after[1])
        want = 20 * AO_STEP_ARCSEC / GUIDER_ARCSEC_PER_PX
        check(abs(shift - want) < 0.15, "20 AO steps moved the star %.3f px (want %.3f)" % (shift, want))
        check(wait_for(prop("AT_LIMIT.AT_LIMIT_WE") + "==1", 3), "not at the limit after 20 of 150 steps")
        setprop(DEV + ".AO_TRAVEL.STEPS=25")
        setprop(DEV + ".AO_WE.AO_W=10;AO_E=0")
        check(wait_for(prop("AT_LIMIT.AT_LIMIT_WE") + "==3", 3), "AT_LIMIT lights when the tilt reaches the travel")
        setprop(DEV + ".AO_CENTER.CENTER=On")
        check(wait_for(prop("AT_LIMIT.AT_LIMIT_WE") + "==1", 3), "centring clears AT_LIMIT")
        centred = star_centroid(s.expose(0.1, "CCD2").data, tilted)
        check(np.hypot(centred[0] - after[0], centred[1] - after[1]) < 0.15, "centring puts the star back")

        # Filter wheel: the slot is taken and the next frame names its filter.
        setprop(DEV + ".FILTER_SLOT.FILTER_SLOT_VALUE=3")
        check(wait_for(prop("FILTER_SLOT.FILTER_SLOT_VALUE") + "==3 && " + prop("FILTER_SLOT._STATE") + "==1", 5),
              "filter slot 3 selected")
        hdu = s.expose(0.05)
        check(hdu is not None and hdu.header.get("FILTER") == "Filter 3", "the frame's FILTER card names slot 3")

        # Abort: the exposure stops, delivers nothing, and the next one works.
        setprop(DEV + ".CCD_EXPOSURE.CCD_EXPOSURE_VALUE=30")
        check(wait_for(prop("CCD_EXPOSURE._STATE") + "==2", 5), "a 30 s exposure is Busy")
        setprop(DEV + ".CCD_ABORT_EXPOSURE.ABORT=On")
        check(wait_for(prop("CCD_EXPOSURE._STATE") + "!=2", 5), "abort ends the exposure")
        check(s.blob("CCD1", 1) is None, "an aborted exposure sends no image")
        check(s.expose(0.05) is not None, "an exposure after the abort delivers its image")

        # A pulled cable mid-exposure: Alert with a message, no hang; Disconnect and Connect find it again.
        setprop(DEV + ".CCD_EXPOSURE.CCD_EXPOSURE_VALUE=2")
        check(wait_for(prop("CCD_EXPOSURE._STATE") + "==2", 5), "a 2 s exposure is Busy")
        setprop(DEV + ".SIM_CABLE.PULLED=On")
        check(wait_for(prop("CCD_EXPOSURE._STATE") + "==3", 10), "the exposure ends in Alert when the cable is pulled")
        log = "".join(open(os.path.join(s.messages, f)).read() for f in os.listdir(s.messages))
        check("The frame did not arrive" in log and "The camera is gone" in log, "the failure is reported")
        setprop(DEV + ".CONNECTION.DISCONNECT=On")
        check(wait_for(prop("CONNECTION.DISCONNECT") + "==1", 10), "Disconnect")
        s.connect()
        check(s.expose(0.05) is not None, "after a reconnect the camera is found and exposes again")
    finally:
        s.stop()


try:
    frames_equal_cli()
    devices_and_faults()
except Exception as e:  # a client that failed or a server that died: the test fails, with why
    failures.append("error: %s" % e)
    print("FAILED: error:", e)
print("%d passed, %d failed" % (passed, len(failures)))
if not failures:
    shutil.rmtree(work)
sys.exit(1 if failures else 0)
