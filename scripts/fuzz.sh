#!/usr/bin/env bash
# scripts/fuzz.sh [seconds=60] [name...] -- install what is missing, build the libFuzzer targets
# (clang, ASan + UBSan, in build-fuzz/) and run each one for the given time.
#
# Each fuzzer <name>_fuzz starts from its seed inputs in fuzz/corpus/<name>/ (read only) and
# keeps what it finds in build-fuzz/corpus/<name>/, so later runs go on from there. A crash,
# leak or time-out stops that fuzzer, leaves the input in build-fuzz/artifacts/ and makes the
# script fail; turn such an input into an ordinary regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vornix_need_packages "${VORNIX_BUILD_PACKAGES[@]}" "${VORNIX_FUZZ_PACKAGES[@]}"

seconds=${1:-60}
shift || true
jobs=$(vornix_jobs)
echo "== configure (fuzz)"
cmake --preset fuzz >/dev/null
echo "== build fuzzers ($jobs jobs)"
cmake --build --preset fuzz --parallel "$jobs"

if [ $# -gt 0 ]; then
    names=("$@")
else
    names=()
    for src in fuzz/*_fuzz.cpp; do
        [ -e "$src" ] || continue
        name=$(basename "$src" _fuzz.cpp)
        names+=("$name")
    done
fi
if [ ${#names[@]} -eq 0 ]; then
    echo "no fuzz targets (fuzz/*_fuzz.cpp)"
    exit 0
fi

mkdir -p build-fuzz/artifacts
failed=()
for name in "${names[@]}"; do
    exe=build-fuzz/fuzz/${name}_fuzz
    work=build-fuzz/corpus/$name
    seeds=fuzz/corpus/$name
    mkdir -p "$work"
    [ -d "$seeds" ] || { echo "warning: no seed inputs in $seeds" >&2; seeds=; }
    echo "== ${name}_fuzz for ${seconds} s"
    # -rss_limit_mb: the parsers have no business needing more than this; -timeout: nor this long.
    if ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="build-fuzz/artifacts/${name}-" "$work" ${seeds:+"$seeds"} \
            > "build-fuzz/${name}_fuzz.log" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' "build-fuzz/${name}_fuzz.log" || true
        echo "${name}_fuzz: no crash"
    else
        tail -n 60 "build-fuzz/${name}_fuzz.log"
        echo "${name}_fuzz: FAILED (input saved in build-fuzz/artifacts/)"
        failed+=("$name")
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzzers that failed: ${failed[*]}"; exit 1; }
