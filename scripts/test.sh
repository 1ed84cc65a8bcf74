#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite offscreen.
# Every test gets its own throw-away settings store; the user's is never used.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages
build

step "Running the tests"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" || fail "tests"
step "All tests passed"
