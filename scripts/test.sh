#!/usr/bin/env bash
# Installs what is missing, builds and runs the test suite offscreen.
# Every test gets its own throw-away settings store; the user's is never used.
#
#   ./scripts/test.sh                     the fast tier (what a developer runs)
#   ./scripts/test.sh --all               the fast tier and the slow one (label "slow")
#   ./scripts/test.sh --sanitize address  AddressSanitizer + UBSan, in build-address/
#   ./scripts/test.sh --sanitize thread   ThreadSanitizer, in build-thread/
#   ./scripts/test.sh --arch arm64        cross-built for arm64 in build-arm64/, the
#                                         kernel, detector, capture and view tests under qemu
# --all combines with --sanitize. The reliability groups print one
# "RELIABILITY ..." line of figures each, repeated at the end.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The tests that make sense on another architecture: the vector kernels (on
# each of their paths), the detector, capture and the view. Left out: tests
# held to the camera's pace (qemu runs 7 to 16 times slower) and those that
# start the program as a child process (without binfmt_misc an arm64 child
# cannot be started directly).
ARM64_TESTS=(tst_EdgeDetector tst_FrameFilters tst_VideoCapturer tst_SmoothResize tst_SimFrameRenderer
             tst_CameraSettings tst_FrameMailbox tst_CaptureThread tst_RowBands tst_FramePoolAllocator
             tst_ScaledPicture tst_TrimExtremeRays tst_VideoView tst_SimConfig)
ARM64_KERNEL_TESTS="^tst_(EdgeDetector|FrameFilters|VideoCapturer|SmoothResize|SimFrameRenderer)\$"

test_arm64() {
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        step "Adding the arm64 architecture"
        if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture arm64; else sudo dpkg --add-architecture arm64; fi
    fi
    install_packages g++-aarch64-linux-gnu qemu-user qtbase5-dev:arm64 qtmultimedia5-dev:arm64 \
        libopencv-core-dev:arm64 libopencv-imgproc-dev:arm64
    step "Cross-building for arm64 in $BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENTAVIO_SANITIZE= \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/aarch64-linux-gnu.cmake" >/dev/null || fail "cmake configure (arm64)"
    cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${ARM64_TESTS[@]}" || fail "build (arm64)"
    step "Running the arm64 tests under qemu"
    export QT_QPA_PLATFORM=offscreen
    cd "$BUILD_DIR"
    local start=$SECONDS
    local names
    names=$(IFS='|'; echo "${ARM64_TESTS[*]}")
    ctest --output-on-failure -j"$(nproc)" -LE 'slow|timing' -R "^($names)(_plain|_baseline)?\$" \
        || fail "tests (arm64)"
    # qemu's default processor has SVE; the kernels once more on a plain NEON one.
    QEMU_CPU=cortex-a72 ctest --output-on-failure -j"$(nproc)" -R "$ARM64_KERNEL_TESTS" \
        || fail "tests (arm64, cortex-a72)"
    step "All arm64 tests passed in $((SECONDS - start)) s"
}

sanitize=""
arch=""
tiers=(-LE slow)
while [ $# -gt 0 ]; do
    case "$1" in
        --sanitize)
            sanitize=${2:?"--sanitize needs address or thread"}
            BUILD_DIR=${LENTAVIO_BUILD_DIR:-$ROOT/build-$sanitize}
            shift 2 ;;
        --all)
            tiers=()
            shift ;;
        --arch)
            arch=${2:?"--arch needs arm64"}
            [ "$arch" = arm64 ] || fail "unknown architecture $arch"
            BUILD_DIR=${LENTAVIO_BUILD_DIR:-$ROOT/build-arm64}
            shift 2 ;;
        *)
            fail "unknown option $1" ;;
    esac
done
# Tests labelled "timing" hold the camera to its pace, which the thread
# sanitizer's slowdown cannot keep on a small machine; every other test runs.
if [ "$sanitize" = thread ]; then
    if [ ${#tiers[@]} -eq 0 ]; then tiers=(-LE timing); else tiers=(-LE 'slow|timing'); fi
fi

if [ "$arch" = arm64 ]; then
    test_arm64
    exit 0
fi

install_packages "${TEST_PACKAGES[@]}"
build -DLENTAVIO_SANITIZE="$sanitize"

what="${tiers:+the fast tier}"
what="${what:-all tiers}${sanitize:+ under the $sanitize sanitizer}"
step "Running $what"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
start=$SECONDS
status=0
ctest --output-on-failure -j"$(nproc)" "${tiers[@]}" || status=$?
grep -h '^RELIABILITY ' Testing/Temporary/LastTest.log 2>/dev/null || true
[ "$status" -eq 0 ] || fail "tests ($what)"
step "All tests passed ($what) in $((SECONDS - start)) s"
