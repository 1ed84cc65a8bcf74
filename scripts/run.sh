#!/usr/bin/env bash
# Installs what is missing, builds and starts Lentavio. Without a camera on
# this machine (or with LENTAVIO_SIMCAM set) the synthetic camera stands in.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${CAMERA_PACKAGES[@]}"
# The program and the synthetic camera only, not the tests and benchmarks.
BUILD_TARGETS=(--target lentavio lentavio_simcam)
build

if [ -n "${LENTAVIO_SIMCAM+set}" ] || ! compgen -G "/dev/video*" >/dev/null; then
    step "No camera found (or LENTAVIO_SIMCAM set): using the synthetic camera"
    export QT_PLUGIN_PATH="$BUILD_DIR/plugins${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}"
    # Asked for by name: make it the default even next to a real camera.
    [ -n "${LENTAVIO_SIMCAM+set}" ] && export QT_MULTIMEDIA_PREFERRED_PLUGINS=lentaviosimcam
fi
step "Starting $BUILD_DIR/app/lentavio"
exec "$BUILD_DIR/app/lentavio"
