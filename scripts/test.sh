#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite offscreen.
# Every test gets its own throw-away settings store; the user's is never used.
#
#   ./scripts/test.sh                     the fast tier (what a developer runs)
#   ./scripts/test.sh --sanitize address  AddressSanitizer + UBSan, in build-address/
#   ./scripts/test.sh --sanitize thread   ThreadSanitizer, in build-thread/
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sanitize=""
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=${2:?"--sanitize needs address or thread"}
    BUILD_DIR=${LENTAVIO_BUILD_DIR:-$ROOT/build-$sanitize}
fi

install_packages
build -DLENTAVIO_SANITIZE="$sanitize"

step "Running the tests${sanitize:+ under the $sanitize sanitizer}"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
start=$SECONDS
ctest --output-on-failure -j"$(nproc)" || fail "tests${sanitize:+ ($sanitize sanitizer)}"
step "All tests passed${sanitize:+ under the $sanitize sanitizer} in $((SECONDS - start)) s"
