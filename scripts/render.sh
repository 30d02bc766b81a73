#!/usr/bin/env bash
# scripts/render.sh [vornix-render options] -- install what is missing, build the plug-in and
# vornix-render (Release, in build/), and render the factory pattern into the current directory:
# vornix.wav (the audio) and vornix.mid (the notes the sequencer sent to the host).
# Options are passed on to vornix-render, e.g. --bars 8 --tempo 130 --param CutOff=0.4.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
source scripts/deps.sh
vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}"

jobs=$(vornix_jobs)
echo "== configure (release)"
cmake --preset release >/dev/null
echo "== build vornix.so and vornix-render ($jobs jobs)"
cmake --build --preset release --parallel "$jobs" --target vornix vornix-render
render=$(pwd)/build/tools/vornix-render
cd "$here"
echo "== $render $*"
"$render" "$@"
