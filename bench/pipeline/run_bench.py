#!/usr/bin/python3
"""Runs the pipeline benchmark at every size, the Python reference on frames
from the same camera, and the memory floor; prints the figures with their
ratios and writes them into bench/README.md.

usage: run_bench.py BUILD_DIR [--seconds S] [--warmup S] [--no-readme]
"""

import argparse
import datetime
import os
import platform
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
README = os.path.join(HERE, "..", "README.md")
SIZES = [(640, 480), (1920, 1080), (3840, 2160)]
VIEW = (1280, 720)
FAST_RATE = 240  # a fast camera's pace, faster than the pipeline
SLOW_RATE = 60
# The synthetic camera's fastest: the pipeline's own capacity, not a camera's.
CAPACITY_RATE = 1000
CAPACITY_SIZES = ["1920x1080", "3840x2160"]
# glibc keeping freed memory, so that the reference does not pay a page fault
# for every page of every picture NumPy allocates (on this machine a fault
# costs about ten times what a desktop pays). 32 MiB is the largest mmap
# threshold glibc takes: a 4K frame is above it and still faults.
KEPT_MEMORY = {
    "MALLOC_TRIM_THRESHOLD_": str(1 << 30),
    "MALLOC_TOP_PAD_": str(1 << 28),
    "MALLOC_MMAP_THRESHOLD_": "33554432",
}
DUMPED_FRAMES = 8
BEGIN = "<!-- figures: written by scripts/bench.sh -->"
END = "<!-- end of figures -->"


def fitted(width, height):
    scale = min(VIEW[0] / width, VIEW[1] / height)
    return round(width * scale), round(height * scale)


def floor_bytes(width, height, overlay):
    """Bytes the specified work has to read and write per frame, at least:
    the surface's copy (read 4, write 4 per pixel), grey and blur (read 4,
    write 1: the grey picture need not be stored), with the overlay Canny
    (read 1, write 1) and the painting (read the edge map, 1; the few edge
    pixels written are left out), the view reading the frame once (4) and
    writing the picture (4 per shown pixel)."""
    per_pixel = 8 + 5 + (3 if overlay else 0) + 4
    shown = fitted(width, height)
    return per_pixel * width * height + 4 * shown[0] * shown[1]


def parse(line, prefix):
    if not line.startswith(prefix + " "):
        return None
    return {k: v for k, v in (item.split("=", 1) for item in line.split()[1:])}


def run(command, prefix, env=None):
    output = subprocess.run(command, check=True, capture_output=True, text=True,
                            env=dict(os.environ, **env) if env else None).stdout
    for line in output.splitlines():
        values = parse(line, prefix)
        if values is not None:
            return values, output
    raise RuntimeError("no %s line from %s:\n%s" % (prefix, " ".join(command), output))


def loadavg():
    return "%.2f" % os.getloadavg()[0]


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as meminfo:
        memory = int(meminfo.readline().split()[1]) / 1024 / 1024
    import cv2
    return "%s, %d cores, %.0f GiB, Linux %s, Python OpenCV %s" % (
        model, os.cpu_count(), memory, platform.release(), cv2.__version__)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=5.0)
    parser.add_argument("--warmup", type=float, default=2.0)
    parser.add_argument("--no-readme", action="store_true")
    args = parser.parse_args()

    bench = os.path.join(args.build, "bench", "pipeline", "bench_pipeline")
    frames_dir = os.path.join(args.build, "bench-frames")
    os.makedirs(frames_dir, exist_ok=True)
    started = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    print("machine:", machine())
    print("date:", started, " load before:", loadavg())

    memcpy, _ = run([bench, "memcpy"], "memcpy")
    bandwidth = float(memcpy["bytes_touched_per_s"])
    print("memcpy: %.1f GB/s touched (read + write)" % (bandwidth / 1e9))

    rows = []
    for width, height in SIZES:
        size = "%dx%d" % (width, height)
        dump = os.path.join(frames_dir, size + ".bgra")
        subprocess.run([bench, "dump", size, str(DUMPED_FRAMES), dump], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        load = loadavg()
        script = [sys.executable, os.path.join(HERE, "reference.py"), dump, size, str(DUMPED_FRAMES),
                  str(args.seconds)]
        # The targets count against the reference that keeps its memory.
        plain, _ = run(script, "reference")
        reference, _ = run(script, "reference", KEPT_MEMORY)
        print("  %s Python: plain %s fps, %s ms CPU, %s faults/frame; memory kept %s fps, %s ms, %s faults/frame"
              % (size, plain["fps"], plain["cpu_ms"], plain["minflt"], reference["fps"], reference["cpu_ms"],
                 reference["minflt"]))
        os.remove(dump)
        for overlay in ("off", "on"):
            case = {"size": size, "overlay": overlay, "reference": reference, "reference_plain": plain,
                    "load_ref": load}
            rates = [(FAST_RATE, "fast"), (SLOW_RATE, "slow")]
            if overlay == "on" and size in CAPACITY_SIZES:
                rates.append((CAPACITY_RATE, "capacity"))
            for rate, key in rates:
                case["load_" + key] = loadavg()
                values, output = run([bench, "case", size, overlay, str(rate), str(args.warmup),
                                      str(args.seconds)], "result")
                case[key] = values
                case["threads_" + key] = output.split("threads", 1)[1].strip()
                print("  %s overlay %s %d fps: %s" % (size, overlay, rate, output.strip()))
            floor_s = floor_bytes(width, height, overlay == "on") / bandwidth
            case["floor_fps"] = 1.0 / floor_s
            rows.append(case)

    report = format_report(rows, started, machine(), bandwidth)
    print()
    print(report)
    if not args.no_readme:
        write_readme(report)


def f(values, key):
    return float(values[key])


def format_report(rows, started, machine_text, bandwidth):
    lines = []
    lines.append("Machine: %s. Run %s; memcpy %.1f GB/s touched." % (machine_text, started, bandwidth / 1e9))
    lines.append("")
    lines.append("Throughput, camera at %d fps (faster than the pipeline):" % FAST_RATE)
    lines.append("")
    lines.append("Python: the reference script, memory kept (plain: with glibc's defaults, paying a page "
                 "fault per page of every new picture); the ratios are against the memory-kept figures.")
    lines.append("")
    lines.append("| frame | overlay | fps | Python fps, memory kept (plain) | × Python | floor fps | × floor "
                 "| CPU ms/frame (camera excluded) | camera ms | Python CPU ms, kept (plain) | × Python "
                 "| Python faults/frame, kept (plain) | shown frame age max | load |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        fast = row["fast"]
        ref = row["reference"]
        plain = row["reference_plain"]
        own_cpu = f(fast, "cpu_ms") - f(fast, "camera_cpu_ms")
        on = row["overlay"] == "on"
        lines.append("| %s | %s | %.1f | %s | %s | %.0f | %.2f | %.2f | %.2f | %s | %s | %s | %s | %s |" % (
            row["size"], row["overlay"], f(fast, "fps"),
            "%s (%s)" % (ref["fps"], plain["fps"]) if on else "",
            "%.2f" % (f(fast, "fps") / f(ref, "fps")) if on else "",
            row["floor_fps"], f(fast, "fps") / row["floor_fps"], own_cpu, f(fast, "camera_cpu_ms"),
            "%s (%s)" % (ref["cpu_ms"], plain["cpu_ms"]) if on else "",
            "%.2f" % (own_cpu / f(ref, "cpu_ms")) if on else "",
            "%s (%s)" % (ref["minflt"], plain["minflt"]) if on else "",
            fast["age_max"], row["load_fast"]))
    lines.append("")
    lines.append("Capacity, camera at %d fps (the pipeline's own limit, overlay on):" % CAPACITY_RATE)
    lines.append("")
    lines.append("| frame | fps | × Python, memory kept | × Python, plain | floor fps | × floor "
                 "| CPU ms/frame (camera excluded) | camera ms | load |")
    lines.append("|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        if "capacity" not in row:
            continue
        capacity = row["capacity"]
        lines.append("| %s | %.1f | %.2f | %.2f | %.0f | %.2f | %.2f | %.2f | %s |" % (
            row["size"], f(capacity, "fps"), f(capacity, "fps") / f(row["reference"], "fps"),
            f(capacity, "fps") / f(row["reference_plain"], "fps"), row["floor_fps"],
            f(capacity, "fps") / row["floor_fps"], f(capacity, "cpu_ms") - f(capacity, "camera_cpu_ms"),
            f(capacity, "camera_cpu_ms"), row["load_capacity"]))
    lines.append("")
    lines.append("Camera at %d fps:" % SLOW_RATE)
    lines.append("")
    lines.append("| frame | overlay | fps | latency median ms | p99 | dropped | CPU ms/frame (camera excluded) "
                 "| UI thread ms/frame: SlotFrameReady wall, p99, CPU; all UI work (present, painting) | minor faults/frame "
                 "| RSS peak, steady start→end (min–max) MB | load |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        slow = row["slow"]
        lines.append("| %s | %s | %.1f | %.2f | %.2f | %s | %.2f | %.2f, %.2f, %.2f; %.2f (%.2f, %.2f) | %.1f "
                     "| %.0f, %.0f→%.0f (%.0f–%.0f) | %s |" % (
                         row["size"], row["overlay"], f(slow, "fps"), f(slow, "latency_median_ms"),
                         f(slow, "latency_p99_ms"), slow["dropped"],
                         f(slow, "cpu_ms") - f(slow, "camera_cpu_ms"),
                         f(slow, "ui_slot_wall_ms"), f(slow, "ui_slot_wall_p99_ms"), f(slow, "ui_slot_ms"),
                         f(slow, "ui_total_ms"), f(slow, "ui_present_ms"), f(slow, "ui_paint_ms"),
                         f(slow, "minflt"), f(slow, "rss_peak_mb"),
                         f(slow, "rss_start_mb"), f(slow, "rss_end_mb"), f(slow, "rss_min_mb"),
                         f(slow, "rss_max_mb"), row["load_slow"]))
    lines.append("")
    lines.append("Targets:")
    lines.append("")
    lines.extend(targets(rows))
    return "\n".join(lines)


def targets(rows):
    by = {(r["size"], r["overlay"]): r for r in rows}
    out = []

    def check(text, ok):
        out.append("- %s: %s" % ("met" if ok else "NOT met", text))

    for size in CAPACITY_SIZES:
        row = by[(size, "on")]
        ratio = f(row["capacity"], "fps") / f(row["reference"], "fps")
        check("throughput %s overlay on, camera at %d fps, ≥ 2 × Python with memory kept: %.2f ×"
              % (size, CAPACITY_RATE, ratio), ratio >= 2)
    row = by[("3840x2160", "on")]
    share = f(row["capacity"], "fps") / row["floor_fps"]
    check("throughput 3840x2160 overlay on ≥ half the memory-bandwidth floor's: %.2f × the floor" % share,
          share >= 0.5)
    row = by[("1920x1080", "on")]
    own = f(row["fast"], "cpu_ms") - f(row["fast"], "camera_cpu_ms")
    check("CPU per frame 1920x1080 overlay on ≤ Python with memory kept: %.2f ms (%.2f with the camera's rendering) vs %.2f ms"
          % (own, f(row["fast"], "cpu_ms"), f(row["reference"], "cpu_ms")), own <= f(row["reference"], "cpu_ms"))
    interval = 1000.0 / SLOW_RATE
    worst_median = max(f(r["slow"], "latency_median_ms") for r in rows)
    worst_p99 = max(f(r["slow"], "latency_p99_ms") for r in rows)
    check("latency at %d fps, median < %.1f ms: worst %.2f ms" % (SLOW_RATE, interval, worst_median),
          worst_median < interval)
    check("latency at %d fps, p99 < %.1f ms: worst %.2f ms" % (SLOW_RATE, 2 * interval, worst_p99),
          worst_p99 < 2 * interval)
    worst_age = max(int(float(r["fast"]["age_max"])) for r in rows)
    check("camera faster than the pipeline, shown frame never more than 2 frames old: worst %d" % worst_age,
          worst_age <= 2)
    worst_faults = max(max(f(r["slow"], "minflt"), f(r["fast"], "minflt")) for r in rows)
    check("steady state < 10 minor page faults per frame: worst %.1f" % worst_faults, worst_faults < 10)
    growth = max(max(f(r[k], "rss_end_mb") - f(r[k], "rss_start_mb") for k in ("fast", "slow")) for r in rows)
    check("flat memory (resident growth over the measurement < 2 MB): worst %+.1f MB" % growth, growth < 2)
    ui = max(f(by[("1920x1080", o)]["slow"], "ui_slot_wall_ms") for o in ("off", "on"))
    ui_all = max(f(by[("1920x1080", o)]["slow"], "ui_total_ms") for o in ("off", "on"))
    check("UI thread < 2 ms per 1080p frame: SlotFrameReady %.2f ms, all UI-thread CPU per frame %.2f ms"
          % (ui, ui_all), ui < 2 and ui_all < 2)
    return out


def write_readme(report):
    with open(README) as readme:
        text = readme.read()
    start = text.index(BEGIN) + len(BEGIN)
    end = text.index(END)
    with open(README, "w") as readme:
        readme.write(text[:start] + "\n\n" + report + "\n\n" + text[end:])
    print("\nwritten into", os.path.normpath(README))


if __name__ == "__main__":
    main()
