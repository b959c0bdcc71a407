#!/usr/bin/env bash
# The crash-consistency test as a soak: the real program killed with SIGKILL at TRIALS random
# points of each of a burst of new mail, a Spam on many selected messages and a detach that
# harvests and compacts. Prints each case's counts and the totals; fails on any lost or
# duplicated message, any integrity problem or any restart that did not filter.
#   bench/crash_soak.sh [TRIALS] [BUILD_DIR]     (default: 50 build; build it first)
# TERVANE_CRASH_SEED=N repeats the random points of an earlier run.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
trials=${1:-50}
build=$(cd "${2:-$top/build}" && pwd)

case "$trials" in
  ''|*[!0-9]*) echo "usage: bench/crash_soak.sh [TRIALS] [BUILD_DIR]" >&2; exit 2 ;;
esac

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
QT_QPA_PLATFORM=offscreen TERVANE_CRASH_TRIALS=$trials \
  "$build/tests/e2e_program_test" --gtest_filter='CrashConsistencyTest.*' >"$log" 2>&1 || status=$?

grep -E '^(crash |\[  FAILED|.*Failure)' "$log" || true
awk '/^crash / {
       for (i = 1; i <= NF; ++i) {
         key = $i; value = $(i + 1); sub(/,$/, "", value)
         if (key == "trials" || key == "messages" || key == "lost" || key == "duplicated" || key == "mid-way")
           total[key] += value
       }
     }
     END {
       printf "total: trials %d, messages %d, lost %d, duplicated %d, killed mid-way %d\n",
              total["trials"], total["messages"], total["lost"], total["duplicated"], total["mid-way"]
     }' "$log"
if [ "$status" -ne 0 ]; then
  echo "crash_soak: the test failed (exit $status); its output:" >&2
  tail -n 80 "$log" >&2
fi
exit "$status"
