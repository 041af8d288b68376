#!/usr/bin/env python3
"""The guiding lab: on each simulated mount of a file, trains the guider and the main camera, guides
with the trained values and without corrections, and prints one table row per mount and camera."""
import argparse
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

SIDEREAL = 15.041  # arcseconds per second


def sim_defaults(cli):
    out = subprocess.run([cli, "--sim-help"], capture_output=True, text=True, check=True).stdout
    return {m.group(1): m.group(2) for m in re.finditer(r"^\s*([\w.]+)=(\S+)", out, re.M)}


def read_mounts(path):
    mounts = []
    for line in open(path):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        name, words = line[0], line[1:]
        ignore = "on"
        keys = []
        for w in words:
            if w.startswith("ignore_ra_angle="):
                ignore = w.split("=", 1)[1]
            else:
                keys.append(w)
        mounts.append((name, ignore, keys))
    return mounts


def run(cli, home, keys, args):
    """Runs one command; returns (exit code, stdout, CPU seconds of the process)."""
    cmd = [cli, "--home", home, "--simulate", "--virtual-clock"]
    for k in keys:
        cmd += ["--sim", k]
    with tempfile.TemporaryFile("w+") as out:
        p = subprocess.Popen(cmd + args, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        text = out.read()
    # CPU time of this process alone (the lab runs several at once).
    return p.returncode, text, usage.ru_utime + usage.ru_stime


def value(text, name):
    m = re.search(r"^" + re.escape(name) + r": (\S+)", text, re.M)
    return float(m.group(1)) if m else float("nan")


def truth(defaults, keys, camera):
    k = dict(defaults)
    k.update(dict(w.split("=", 1) for w in keys))
    rate = float(k["guide_rate"]) * SIDEREAL
    scale = float(k["guider_arcsec_per_px"] if camera == "guider" else k["main_arcsec_per_px"])
    cosd = math.cos(math.radians(float(k["dec_deg"])))
    angle = float(k["guider_rotation_deg"]) if camera == "guider" else 0.0
    return rate * cosd / scale, rate / scale, float(k["dec_backlash_arcsec"]) / scale, angle


def periodic_error(defaults, keys):
    k = dict(defaults)
    k.update(dict(w.split("=", 1) for w in keys))
    return float(k["pe_arcsec"])


def lab_row(cli, defaults, mount, camera, seconds):
    name, ignore, keys = mount
    home = tempfile.mkdtemp(prefix="guide_lab_")
    try:
        run(cli, home, keys, ["settings", "set", "drive_method", "b"])
        run(cli, home, keys, ["settings", "set", "ignore_ra_angle", ignore])
        code, out, _ = run(cli, home, keys, ["train", camera])
        row = {"mount": name, "camera": camera, "trained": code == 0}
        if camera == "guider":
            row["ra"] = value(out, "ra rate measured px/s")
            row["dec"] = value(out, "dec rate measured px/s")
            row["bl"] = value(out, "dec backlash measured px")
            row["angle"] = value(out, "ra angle deg")
        else:
            row["ra"] = value(out, "ra rate px/s")
            row["dec"] = value(out, "dec rate px/s")
            row["bl"] = value(out, "dec backlash px")
            row["angle"] = 0.0
        row["notes"] = len(re.findall(r"^note: ", out, re.M))
        start = time.monotonic()
        _, guided, cpu = run(cli, home, keys, ["guide", camera, "--seconds", str(seconds), "--log", "-"])
        row["wall"] = time.monotonic() - start
        row["cpu"] = cpu
        _, free, _ = run(cli, home, keys, ["guide", camera, "--seconds", str(seconds), "--log", "-",
                                           "--no-corrections"])
        _, predicted, pcpu = run(cli, home, keys, ["guide", camera, "--seconds", str(seconds), "--log", "-",
                                                   "--algorithm", "predictive"])
        row["pcpu"] = pcpu
        row["predicted"] = value(predicted, "true rms px")
        row["pe"] = periodic_error(defaults, keys)
        row["guided"] = value(guided, "true rms px")
        row["unguided"] = value(free, "true rms px")
        row["lost"] = int(value(guided, "lost frames")) if "lost frames" in guided else -1
        row["true"] = truth(defaults, keys, camera)
        return row
    finally:
        shutil.rmtree(home, ignore_errors=True)


def dither_row(cli, seed, frames, amount, settle):
    """A dithered guided series on the default mount: settle times, the frames' dither offsets against
    where the star landed on the main sensor, and the stack of the frames."""
    home = tempfile.mkdtemp(prefix="dither_lab_")
    try:
        run(cli, home, [], ["settings", "set", "drive_method", "b"])
        run(cli, home, [], ["train", "guider"])  # as the quick start does: the trained values guide
        code, out, cpu = run(cli, home, [], ["capture", "--guided", "--frames", str(frames), "--count", "30",
                                             "--autosave", "--dither", str(amount), "--settle", settle,
                                             "--seed", str(seed)])
        settled = [float(m) for m in re.findall(r"^dither \d+: .*settled in (\S+) s", out, re.M)]
        timed_out = len(re.findall(r"^dither \d+: .*settle timed out", out, re.M))
        files = [os.path.join(home, "autosave", f"IMG{k}.FIT") for k in range(1, frames + 1)]
        offsets = []
        for f in files:
            _, info, _ = run(cli, home, [], ["info", f])
            m = re.search(r"Dither offset x (\S+) y (\S+) guider px", info)
            offsets.append((float(m.group(1)), float(m.group(2))) if m else (float("nan"),) * 2)
        stacked = os.path.join(home, "stack.fit")
        # The star method follows a star at most 10 main px from frame to frame; profile correlation any.
        stack_code, stack_out, _ = run(cli, home, [], ["stack", stacked] + files)
        profile_code, _, _ = run(cli, home, [], ["stack", os.path.join(home, "profile.fit"), "--method",
                                                  "profile"] + files)
        star = re.search(r"^star: (\d+),(\d+)", stack_out, re.M)
        positions, hfr = [], (float("nan"), float("nan"))
        if star:
            for f in files:
                _, c, _ = run(cli, home, [], ["centroid", f, star.group(1), star.group(2), "--radius", "15"])
                m = re.search(r"x=(\S+) y=(\S+)", c)
                positions.append((float(m.group(1)), float(m.group(2))) if m else (float("nan"),) * 2)
            hfr = tuple(value(run(cli, home, [], ["star", f, star.group(1), star.group(2)])[1], "hfr")
                        for f in (files[0], stacked))
        # Main-sensor shift of the star per guider pixel of offset, fitted through the first frame.
        slopes, resid = [], []
        for axis in (0, 1):
            pts = [(o[axis], p[axis] - positions[0][axis]) for o, p in zip(offsets, positions)]
            den = sum(o * o for o, _ in pts)
            k = sum(o * d for o, d in pts) / den if den > 0 else float("nan")
            slopes.append(k)
            resid += [d - k * o for o, d in pts]
        rms = math.sqrt(sum(r * r for r in resid) / len(resid)) if resid else float("nan")
        spread = max((max(abs(x), abs(y)) for x, y in offsets), default=float("nan"))
        return {"seed": seed, "code": code, "settled": settled, "timed_out": timed_out, "spread": spread,
                "slopes": slopes, "rms": rms, "stack": stack_code, "profile": profile_code, "hfr": hfr, "cpu": cpu}
    finally:
        shutil.rmtree(home, ignore_errors=True)


def dither_lab(cli, seeds, jobs, frames=10, amount=5.0, settle="1.5,10,60"):
    with ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        rows = list(pool.map(lambda s: dither_row(cli, s, frames, amount, settle), seeds))
    head = (f"{'seed':>4} {'settled':>7} {'median s':>8} {'max s':>6} {'offset px':>9} "
            f"{'main/guider x,y':>15} {'resid px':>8} {'star':>4} {'profile':>7} {'hfr 1 / stack':>13} {'cpu s':>6}")
    print(f"dithering by {amount:g} px, settle {settle} (px, s, timeout s), {frames} frames of 30 s "
          "on the default mount, guider trained first")
    print(head)
    print("-" * len(head))
    every = []
    for r in rows:
        st = sorted(r["settled"])
        every += st
        med = st[len(st) // 2] if st else float("nan")
        print(f"{r['seed']:>4} {len(st):>3}/{len(st) + r['timed_out']:<3} {med:>8.1f} "
              f"{(st[-1] if st else float('nan')):>6.1f} {r['spread']:>9.1f} "
              f"{r['slopes'][0]:>7.2f},{r['slopes'][1]:<7.2f} {r['rms']:>8.2f} "
              f"{'ok' if r['stack'] == 0 else 'lost':>4} {'ok' if r['profile'] == 0 else 'failed':>7} "
              f"{r['hfr'][0]:>5.2f} / {r['hfr'][1]:<5.2f} {r['cpu']:>6.2f}")
    every.sort()
    if every:
        print(f"median settle {every[len(every) // 2]:.1f} s over {len(every)} dithers; "
              f"longest {every[-1]:.1f} s")
    print("(offset px: largest dither offset of a frame, guider px; main/guider: the star's shift on the "
          "main sensor per guider pixel of offset, fitted, the simulator's scale ratio is 2.0; resid: what "
          "the fit leaves, main px; star, profile: the frames stacked by `stack` with either method, 'lost' "
          "when a move of more than 10 main px lost the star method's star; hfr: one frame and the star "
          "method's stack (of the frames up to a loss), main px)")


def angle_gap(a, b):
    return abs((a - b + 180.0) % 360.0 - 180.0)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("file", nargs="?", default=os.path.join(here, "..", "tests", "data", "guide_mounts.txt"))
    ap.add_argument("--seconds", type=int, default=900, help="guiding time of each run (virtual seconds)")
    ap.add_argument("--cli", default=os.environ.get("QLM_T4_CLI", os.path.join(here, "..", "build", "qlm_t4_cli")))
    ap.add_argument("--camera", choices=["guider", "main", "both"], default="both")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--dither", type=int, metavar="SEEDS", default=0,
                    help="instead: dithered 10-frame guided series (5 px, settle 1.5 px / 10 s) with dither "
                         "seeds 1..SEEDS on the default mount")
    a = ap.parse_args()
    if not os.access(a.cli, os.X_OK):
        sys.exit(f"guide_lab: no command line program at {a.cli} (build it, or give --cli)")
    if a.dither > 0:
        dither_lab(a.cli, range(1, a.dither + 1), a.jobs)
        return
    defaults = sim_defaults(a.cli)
    cameras = ["guider", "main"] if a.camera == "both" else [a.camera]
    jobs = [(m, c) for m in read_mounts(a.file) for c in cameras]
    with ThreadPoolExecutor(max_workers=max(1, a.jobs)) as pool:
        rows = list(pool.map(lambda j: lab_row(a.cli, defaults, j[0], j[1], a.seconds), jobs))
    head = (f"{'mount':<16} {'camera':<6} {'ra px/s':>13} {'dec px/s':>13} {'dec bl px':>11} {'angle deg':>13} "
            f"{'guided':>7} {'free':>6} {'ratio':>6} {'lost':>4} {'cpu s':>6} {'pred':>6} {'p/c':>5} {'cpu s':>6}")
    print(head)
    print("-" * len(head))
    worst = 0.0
    ratios = {"guider": [], "main": []}
    pc = {"guider": [], "main": []}
    for r in rows:
        tra, tdec, tbl, tang = r["true"]
        ratio = r["guided"] / r["unguided"] if r["unguided"] > 0 else float("nan")
        ratios[r["camera"]].append(ratio)
        trained = "" if r["trained"] else " (training failed)"
        p_ratio = r["predicted"] / r["guided"] if r["guided"] > 0 else float("nan")
        pc[r["camera"]].append((p_ratio, r["pe"], r["mount"]))
        print(f"{r['mount']:<16} {r['camera']:<6} {r['ra']:>5.2f} / {tra:>5.2f} {r['dec']:>5.2f} / {tdec:>5.2f} "
              f"{r['bl']:>4.1f} / {tbl:>4.1f} {r['angle']:>5.1f} / {tang:>5.1f} {r['guided']:>7.3f} "
              f"{r['unguided']:>6.3f} {ratio:>6.3f} {r['lost']:>4} {r['cpu']:>6.2f} {r['predicted']:>6.3f} "
              f"{p_ratio:>5.2f} {r['pcpu']:>6.2f}{trained}")
        if r["camera"] == "guider":
            worst = max(worst, angle_gap(r["angle"], tang))
    for cam, rs in ratios.items():
        if rs:
            rs = sorted(rs)
            print(f"{cam}: median ratio {rs[len(rs) // 2]:.3f}, worst {rs[-1]:.3f} over {len(rs)} mounts")
    for cam, rs in pc.items():
        if rs:
            big = [x for x in rs if x[1] >= 15.0]
            wp = max(rs)
            line = f"{cam}: predictive / classic worst {wp[0]:.3f} ({wp[2]})"
            if big:
                wb = max(big)
                line += f", with 15\" or more of periodic error worst {wb[0]:.3f} ({wb[2]}) over {len(big)} mounts"
            print(line)
    print("(rates, backlash and angle: trained / simulator's true value; rms in main-sensor pixels; "
          "guided: classic rule, pred: --algorithm predictive, p/c their ratio; "
          f"{a.seconds} s of guiding per run)")


if __name__ == "__main__":
    main()
