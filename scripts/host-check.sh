#!/usr/bin/env bash
# scripts/host-check.sh [PLUGIN.so=build/vornix.so] -- the plug-in in a real host (headless Ardour 7):
# Ardour's scanner must accept it as an instrument "Vornix" by "Orvalent" with no audio input,
# two audio outputs, one MIDI input and one MIDI output, a session saved with changed
# parameters must reload with the same state chunk and parameter values, and Ardour's render of
# the factory pattern must play it (scripts/check_bassline.py).
# Needs the Ardour harness scripts: VORNIX_HOSTS_DIR, default ../shared/hosts beside the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vornix_need_packages "${VORNIX_HOST_PACKAGES[@]}" python3-numpy

plugin=${1:-build/vornix.so}
hosts=${VORNIX_HOSTS_DIR:-../shared/hosts}
[ -f "$hosts/scan.sh" ] || { echo "error: no Ardour harness in $hosts (set VORNIX_HOSTS_DIR)" >&2; exit 2; }
[ -f "$plugin" ] || { echo "error: no plug-in at $plugin (build it first)" >&2; exit 2; }

fail=0
echo "== Ardour scan of $plugin"
scan=$(bash "$hosts/scan.sh" "$plugin" 2>&1) || fail=1
echo "$scan"
expect() {  # expect DESCRIPTION REGEX: one line of the scan result must match
    if echo "$scan" | grep -qE "$2"; then
        echo "ok: $1"
    else
        echo "FAIL: $1 (no line matching /$2/)"
        fail=1
    fi
}
expect "accepted by the scanner" '^RESULT: accepted'
expect "named Vornix by Orvalent" '^ +name=Vornix vendor=Orvalent '
expect "0 audio inputs, 2 outputs, 1 MIDI input, 1 MIDI output, instrument" \
    '^ +audio in/out=0/2 midi in/out=1/1 instrument=(1|true|yes) '

echo "== Ardour save/reload round trip with changed parameters"
# CutOff 0.25, Gate 0.7 and NB STEP 0.50794 (33 steps). NB STEP reads back as (steps - 1) / 63,
# so the value set must be one of those (within the harness's 1e-4) to read back unchanged:
# 0.5 would give 32 steps and read back 31/63 = 0.492063.
bash "$hosts/roundtrip.sh" "$plugin" "${VORNIX_ROUNDTRIP_PARAMS:-3=0.25,8=0.7,10=0.50794}" || fail=1

# The bass line must be heard in time with Ardour's transport at its usual
# settings and at a small block, where the sequencer's steps fall inside blocks.
work=$(mktemp -d -t vornix-host.XXXXXX)
for setting in 48000:1024 44100:256; do
    rate=${setting%%:*}
    block=${setting##*:}
    echo "== Ardour render of the factory pattern, 8 s at 120 BPM, ${rate} Hz, ${block}-frame blocks"
    if HARNESS_RATE=$rate HARNESS_BLOCK=$block bash "$hosts/render.sh" "$plugin" "$work/ardour-$rate.wav" 8 120 \
        > "$work/render-$rate.txt" 2>&1; then
        "$VORNIX_PYTHON" scripts/check_bassline.py "$work/ardour-$rate.wav" --tempo 120 | tail -n 15 || fail=1
    else
        tail -n 30 "$work/render-$rate.txt"
        echo "FAIL: Ardour did not render at $rate Hz"
        fail=1
    fi
done

if [ $fail -eq 0 ]; then echo "host check: OK"; else echo "host check: FAILED"; fi
exit $fail
