#!/usr/bin/env bash
# Installs what is missing, builds and runs the test suite offscreen.
# Every test gets its own throw-away settings store; the user's is never used.
#
#   ./scripts/test.sh                     the fast tier (what a developer runs)
#   ./scripts/test.sh --all               the fast tier and the slow one (label "slow")
#   ./scripts/test.sh --sanitize address  AddressSanitizer + UBSan, in build-address/
#   ./scripts/test.sh --sanitize thread   ThreadSanitizer, in build-thread/
# --all combines with --sanitize. The reliability groups print one
# "RELIABILITY ..." line of figures each, repeated at the end.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sanitize=""
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
        *)
            fail "unknown option $1" ;;
    esac
done
# Tests labelled "timing" hold the camera to its pace, which the thread
# sanitizer's slowdown cannot keep on a small machine; every other test runs.
if [ "$sanitize" = thread ]; then
    if [ ${#tiers[@]} -eq 0 ]; then tiers=(-LE timing); else tiers=(-LE 'slow|timing'); fi
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
