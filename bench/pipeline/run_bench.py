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
FAST_RATE = 240  # the synthetic camera's fastest: faster than the pipeline
SLOW_RATE = 60
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


def run(command, prefix):
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
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
        reference, _ = run([sys.executable, os.path.join(HERE, "reference.py"), dump, size,
                            str(DUMPED_FRAMES), str(args.seconds)], "reference")
        os.remove(dump)
        for overlay in ("off", "on"):
            case = {"size": size, "overlay": overlay, "reference": reference, "load_ref": load}
            for rate, key in ((FAST_RATE, "fast"), (SLOW_RATE, "slow")):
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
    lines.append("| frame | overlay | fps | Python fps | × Python | floor fps | × floor | CPU ms/frame "
                 "(camera excluded) | camera ms | Python CPU ms | × Python | shown frame age max | load |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        fast = row["fast"]
        ref = row["reference"]
        own_cpu = f(fast, "cpu_ms") - f(fast, "camera_cpu_ms")
        on = row["overlay"] == "on"
        lines.append("| %s | %s | %.1f | %s | %s | %.0f | %.2f | %.2f | %.2f | %s | %s | %s | %s |" % (
            row["size"], row["overlay"], f(fast, "fps"),
            ref["fps"] if on else "",
            "%.2f" % (f(fast, "fps") / f(ref, "fps")) if on else "",
            row["floor_fps"], f(fast, "fps") / row["floor_fps"], own_cpu, f(fast, "camera_cpu_ms"),
            ref["cpu_ms"] if on else "",
            "%.2f" % (own_cpu / f(ref, "cpu_ms")) if on else "",
            fast["age_max"], row["load_fast"]))
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

    for size in ("1920x1080", "3840x2160"):
        row = by[(size, "on")]
        ratio = f(row["fast"], "fps") / f(row["reference"], "fps")
        check("throughput %s overlay on ≥ 1.5 × Python: %.2f ×" % (size, ratio), ratio >= 1.5)
    row = by[("1920x1080", "on")]
    own = f(row["fast"], "cpu_ms") - f(row["fast"], "camera_cpu_ms")
    check("CPU per frame 1920x1080 overlay on ≤ Python: %.2f ms (%.2f with the camera's rendering) vs %.2f ms"
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
    check("UI thread < 3 ms per 1080p frame: SlotFrameReady %.2f ms, all UI-thread CPU per frame %.2f ms"
          % (ui, ui_all), ui < 3 and ui_all < 3)
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
