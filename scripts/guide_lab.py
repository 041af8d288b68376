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
    a = ap.parse_args()
    if not os.access(a.cli, os.X_OK):
        sys.exit(f"guide_lab: no command line program at {a.cli} (build it, or give --cli)")
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
