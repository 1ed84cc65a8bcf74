#!/usr/bin/env bash
# Installs what is missing (python3-opencv for the reference script too),
# builds an optimised tree in build-bench/ and runs the pipeline benchmark:
# every frame size with the overlay off and on, the Python reference on the
# same camera's frames and the memory floor. Prints the figures and their
# ratios and writes them into bench/README.md.
#
#   ./scripts/bench.sh [--seconds S] [--warmup S] [--no-readme]
LENTAVIO_BUILD_DIR=${LENTAVIO_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-bench}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages python3-opencv python3-numpy

step "Configuring in $BUILD_DIR"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null || fail "cmake configure"
step "Building the benchmark and the synthetic camera"
cmake --build "$BUILD_DIR" -j"$(nproc)" --target bench_pipeline lentavio_simcam || fail "build"

step "Running the pipeline benchmark (about four minutes; other load on the machine skews it)"
# Debian's OpenCV binding, not whatever python3 comes first on PATH.
/usr/bin/python3 "$ROOT/bench/pipeline/run_bench.py" "$BUILD_DIR" "$@" || fail "benchmark"
