#!/usr/bin/env bash
# Regenerates docs/screenshot.png: the program on the synthetic camera under
# a virtual X server, with all three panels shown. Uses a throw-away settings
# store, so your own settings are not touched.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages xvfb xauth xdotool imagemagick
build

display=:$((90 + RANDOM % 100))
work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

step "Starting a virtual X server on $display"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

step "Starting Lentavio on the synthetic camera"
export XDG_CONFIG_HOME=$work QT_PLUGIN_PATH="$BUILD_DIR/plugins" QT_MULTIMEDIA_PREFERRED_PLUGINS=lentaviosimcam
export LENTAVIO_SIMCAM=${LENTAVIO_SIMCAM:-size=1280x960}
"$BUILD_DIR/app/lentavio" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Lentavio$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the window did not appear"
xdotool windowsize "$window" 1100 700 windowmove "$window" 0 0
sleep 1

step "Showing the edge detection panel from the Windows menu"
read -r menu_x menu_y < <(xdotool getwindowgeometry "$window" | awk '/Position/ {split($2, p, ","); print p[1], p[2]}')
xdotool mousemove $((menu_x + 140)) $((menu_y + 10)) click 1
sleep 0.5
xdotool key Down Down Down Return
sleep 3

step "Writing docs/screenshot.png"
import -window "$window" "$ROOT/docs/screenshot.png" || fail "import"
