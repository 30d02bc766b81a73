#!/usr/bin/env bash
# scripts/plant-faults.sh [--list] [NAME...] -- do the tests still catch real faults?
#
# Each scripts/faults/NAME.fault is one small, realistic mistake (an exact text replacement, see
# scripts/faults/fault.py). The script copies the checkout (with uncommitted edits) into
# build-faults/src, configures a Release build with the tests in build-faults/build once, checks
# that every test passes there, and then for each fault: plants it, rebuilds incrementally, runs
# every test, notes which fail, and puts the file back. It ends with a table fault -> catching
# tests and exits 1 if a fault no longer applies, breaks the build, or is caught by no test.
#
#   --list     list the faults and stop
#   NAME...    plant only these faults (default: all)
#
# VORNIX_JOBS sets the build and test jobs (default 2), VORNIX_FAULTS_DIR the scratch folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
faults=$top/scripts/faults
work=${VORNIX_FAULTS_DIR:-$top/build-faults}
src=$work/src
bld=$work/build
jobs=${VORNIX_JOBS:-2}
helper() { python3 "$faults/fault.py" "$@"; }

names=()
if [ "${1:-}" = --list ]; then
    for f in "$faults"/*.fault; do printf '%-24s %s\n' "$(basename "$f" .fault)" "$(helper what "$f")"; done
    exit 0
fi
if [ $# -gt 0 ]; then
    names=("$@")
else
    for f in "$faults"/*.fault; do names+=("$(basename "$f" .fault)"); done
fi
for name in "${names[@]}"; do
    [ -f "$faults/$name.fault" ] || { echo "no fault $name (see --list)" >&2; exit 2; }
done

# run_tests LOG: run every test; the names of the failed ones go to LOG.failed, one a line.
run_tests() {
    rm -f "$bld/Testing/Temporary/LastTestsFailed.log"
    ctest --test-dir "$bld" --parallel "$jobs" --timeout 300 >"$1" 2>&1 || true
    if [ -f "$bld/Testing/Temporary/LastTestsFailed.log" ]; then
        cut -d: -f2- "$bld/Testing/Temporary/LastTestsFailed.log" | sort >"$1.failed"
    else
        : >"$1.failed"
    fi
}

mkdir -p "$src" "$bld" "$work/logs"
echo "== copying the tree to $src"
helper sync "$top" "$src"
if [ ! -f "$bld/CMakeCache.txt" ]; then
    echo "== configuring (Release, tests and tools, no benchmarks)"
    cmake -S "$src" -B "$bld" -DCMAKE_BUILD_TYPE=Release -DVORNIX_TESTS=ON -DVORNIX_TOOLS=ON \
        -DVORNIX_BENCH=OFF >"$work/logs/configure.log"
fi
echo "== building and running the untouched tests"
cmake --build "$bld" --parallel "$jobs" >"$work/logs/build.log" 2>&1 \
    || { tail -n 30 "$work/logs/build.log"; echo "the untouched tree does not build" >&2; exit 1; }
run_tests "$work/logs/baseline"
if [ -s "$work/logs/baseline.failed" ]; then
    echo "these tests fail without any fault; fix them first:" >&2
    cat "$work/logs/baseline.failed" >&2
    exit 1
fi
echo "   $(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$work/logs/baseline" | sed 's/.* out of //') tests pass"

bad=0
table=$work/table.txt
: >"$table"
for name in "${names[@]}"; do
    fault=$faults/$name.fault
    log=$work/logs/$name
    echo "== $name: $(helper what "$fault")"
    if ! reason=$(helper apply "$fault" "$top" "$src" 2>&1); then
        result="DOES NOT APPLY: $reason"
        bad=1
    elif ! cmake --build "$bld" --parallel "$jobs" >"$log.build" 2>&1; then
        result="DOES NOT BUILD (see $log.build)"
        bad=1
    else
        run_tests "$log"
        count=$(wc -l <"$log.failed")
        if [ "$count" -eq 0 ]; then
            result="NOT CAUGHT"
            bad=1
        else
            result="$count: $(paste -sd' ' "$log.failed")"
        fi
    fi
    helper restore "$fault" "$top" "$src"
    echo "   $result"
    printf '%s | %s\n    %s\n' "$name" "$(helper what "$fault")" "$result" >>"$table"
done

echo
echo "==================== fault -> catching tests ===================="
cat "$table"
[ "$bad" -eq 0 ] && echo "every fault is caught" || echo "SOME FAULTS ARE NOT CAUGHT OR DO NOT APPLY"
exit "$bad"
