#!/usr/bin/env bash
# scripts/test.sh [release|asan|tsan|i386|dev] -- install what is missing, build, run every test.
#
#   release (default)  build/       plug-in, vornix-render, tests and benchmarks (built, not run)
#   asan               build-asan/  the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan               build-tsan/  the editor bridge's tests (label "bridge") under ThreadSanitizer
#   i386               build-i386/  the 32-bit x86 plug-in and its tests
#   dev                build-dev/   Debug build
#
# VORNIX_JOBS sets the number of parallel build and test jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

preset=${1:-release}
case $preset in
    release|dev) vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}" ;;
    asan|tsan) vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}" ;;
    i386) vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}" "${VORNIX_I386_PACKAGES[@]}" ;;
    *) echo "usage: scripts/test.sh [release|asan|tsan|i386|dev]" >&2; exit 2 ;;
esac

jobs=$(vornix_jobs)
echo "== configure ($preset)"
cmake --preset "$preset" >/dev/null
echo "== build ($preset, $jobs jobs)"
cmake --build --preset "$preset" --parallel "$jobs"
echo "== test ($preset)"
if [ "$preset" = tsan ]; then
    ctest --preset tsan --parallel "$jobs" -L bridge
else
    ctest --preset "$preset" --parallel "$jobs"
fi
