#!/usr/bin/env bash
# Runs each libFuzzer program of a fuzz build for SECONDS on its committed corpus and prints,
# per program, the executions and the coverage reached. Fails when any program reports a
# finding (crash, leak, timeout, out of memory) or cannot run.
#   usage: tests/fuzz/run_fuzzers.sh BUILD_DIR SECONDS      (make fuzz-run FUZZ_SECONDS=600)
# New inputs go to BUILD_DIR/fuzz-run/NAME/corpus, findings and logs beside it; the committed
# corpus under tests/fuzz/corpus is only read.
set -u
# Undefined behaviour stops the run as a finding instead of scrolling past in the log.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
build=${1:?build directory}
seconds=${2:?seconds per program}
source_dir=$(cd "$(dirname "$0")" && pwd)
out="$build/fuzz-run"
mkdir -p "$out"
summary=()
failed=0
ran=0
for program in "$build"/tests/fuzz/fuzz_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    name=$(basename "$program")
    work="$out/$name"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    echo "== $name: ${seconds}s on tests/fuzz/corpus/$name"
    # -timeout: one input taking this long is a hang, a finding like a crash.
    "$program" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "$source_dir/corpus/$name" >"$work/log" 2>&1
    status=$?
    ran=$((ran + 1))
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    coverage=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)
    features=$(grep -o 'ft: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)
    line=$(printf '%-14s executions %-10s coverage %-6s features %-6s' \
        "$name" "${executions:-?}" "${coverage:-?}" "${features:-?}")
    if [ $status -ne 0 ] || ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* \
        >/dev/null 2>&1; then
        failed=$((failed + 1))
        line="$line FINDING (exit $status), see $work/log"
        grep -m1 -A30 -E '^==[0-9]+==ERROR|^SUMMARY|ALARM|out-of-memory' "$work/log" | head -40
    fi
    summary+=("$line")
done
echo
echo "Fuzzing summary (${seconds}s per program):"
printf '  %s\n' "${summary[@]}"
[ $ran -gt 0 ] || { echo "error: no fuzz program in $build/tests/fuzz (run make fuzz)" >&2; exit 1; }
[ $failed -eq 0 ] || { echo "error: $failed of $ran fuzz programs reported a finding" >&2; exit 1; }
echo "all $ran fuzz programs ran ${seconds}s without a finding"
