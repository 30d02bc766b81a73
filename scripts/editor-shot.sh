#!/bin/bash
# A screenshot of the editor as a host shows it: builds the plug-in, the
# editor and the bare test host, starts a private Xvfb, opens the editor on
# the factory pattern with the host transport playing (a step lit), and saves
# the host's window as a PNG.
#
#   bash scripts/editor-shot.sh [OUT.png]        (default: editor.png)
set -euo pipefail

OUT=$(realpath -m "${1:-editor.png}")
cd "$(dirname "$0")/.."
source scripts/deps.sh
vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}"

[ -f build/CMakeCache.txt ] || cmake --preset release
cmake --build build --target vornix vornix_editor vornix_editor_host -j"$(vornix_jobs)"

for n in $(seq 90 190); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb :$n -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
XVFB=$!
HOST=
ids=$(mktemp)
# The host first, so it does not see its X server vanish.
trap '[ -n "$HOST" ] && kill $HOST 2>/dev/null && wait $HOST 2>/dev/null; kill $XVFB 2>/dev/null; rm -f "$ids"' EXIT
export DISPLAY=:$n

# Poll, never sleep blindly: up to 10 s for each stage.
wait_until() {
    for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    echo "editor-shot: timed out waiting for: $*" >&2
    return 1
}
wait_until xdpyinfo
build/tests/editor/vornix-editor-host --play >"$ids" &
HOST=$!
wait_until grep -q '^host window ' "$ids"
WIN=$(awk '/^host window / {print $3; exit}' "$ids")
# The editor's window has been embedded and mapped into the host's.
wait_until sh -c "xwininfo -children -id $WIN | grep -q '^ *1 child'"
CHILD=$(xwininfo -children -id "$WIN" | awk '/^ *0x/ {print $1; exit}')
wait_until sh -c "xwininfo -id $CHILD | grep -q IsViewable"
sleep 1.2  # let the sequencer reach a few steps so one is lit
import -window "$WIN" "$OUT"
echo "editor-shot: wrote $OUT"
