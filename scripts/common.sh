# Shared by the run and test commands: install what is missing, configure and
# build. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${LENTAVIO_BUILD_DIR:-$ROOT/build}

PACKAGES=(
    build-essential cmake
    qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins
    libopencv-core-dev libopencv-imgproc-dev
)
# Qt's camera back-end for real cameras (V4L2 devices) needs these GStreamer
# parts at run time: camerabin, v4l2src and jpegdec, videoconvert. Nothing
# depends on them, so they are named here.
CAMERA_PACKAGES=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad)
# The tests through Qt's real camera back-end: GStreamer's headers for the
# stand-in camera's source, and the elements the back-end runs.
TEST_PACKAGES=(libgstreamer1.0-dev "${CAMERA_PACKAGES[@]}")

step() { printf '\n==> %s\n' "$*"; }
fail() { printf '\nFAILED: %s\n' "$*" >&2; exit 1; }

install_packages() {
    local missing=()
    for package in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        step "All required packages are installed"
        return
    fi
    step "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || fail "not root and no sudo: install ${missing[*]} by hand"
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq || fail "apt-get update"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || fail "apt-get install ${missing[*]}"
}


# BUILD_TARGETS: what to build (cmake --build arguments); everything when empty.
BUILD_TARGETS=()

build() {
    step "Configuring in $BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null || fail "cmake configure"
    step "Building"
    cmake --build "$BUILD_DIR" -j"$(nproc)" "${BUILD_TARGETS[@]}" || fail "build"
}
