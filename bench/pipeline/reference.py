#!/usr/bin/python3
"""The same image work as the pipeline, written the way a user of OpenCV's
Python binding would: grey, 10 x 10 blur, Canny (L2), edges painted in the
edge colour, resize to fit a 1280 x 720 view, flip rows. Runs flat out on
frames the benchmark dumped from the synthetic camera and prints one line:

    reference fps=... cpu_ms=... minflt=... frames=...

minflt is minor page faults per frame: NumPy takes fresh memory for each
picture, and unless glibc is told to keep what is freed, each page of it
faults on first touch.

usage: reference.py FRAMES_FILE WxH COUNT SECONDS
"""

import resource
import sys
import time

import cv2
import numpy as np

VIEW = (1280, 720)
EDGE_COLOUR = (255, 255, 255, 0)  # white, the default, fourth byte 0


def fitted_size(width, height):
    scale = min(VIEW[0] / width, VIEW[1] / height)
    return round(width * scale), round(height * scale)


def process(frame, size):
    grey = cv2.cvtColor(frame, cv2.COLOR_RGBA2GRAY)
    grey = cv2.blur(grey, (10, 10))
    edges = cv2.Canny(grey, 100, 200, L2gradient=True)
    shown = frame.copy()
    shown[edges != 0] = EDGE_COLOUR
    # Row 0 at the bottom, as the view shows it with both flips off.
    return cv2.flip(cv2.resize(shown, size), 0)


def main():
    path, size_text, count_text, seconds_text = sys.argv[1:5]
    width, height = (int(v) for v in size_text.split("x"))
    count = int(count_text)
    seconds = float(seconds_text)
    frames = np.fromfile(path, np.uint8).reshape(count, height, width, 4)
    size = fitted_size(width, height)

    for i in range(5):
        process(frames[i % count], size)
    done = 0
    wall = time.perf_counter()
    cpu = time.process_time()
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    while time.perf_counter() - wall < seconds:
        process(frames[done % count], size)
        done += 1
    wall = time.perf_counter() - wall
    cpu = time.process_time() - cpu
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    print("reference fps=%.1f cpu_ms=%.3f minflt=%.1f frames=%d threads=%d"
          % (done / wall, cpu * 1e3 / done, faults / done, done, cv2.getNumThreads()))


if __name__ == "__main__":
    main()
