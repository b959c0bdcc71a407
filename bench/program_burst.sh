#!/usr/bin/env bash
# The whole program under a burst of new mail: MESSAGES messages (default 10,000) land in the
# inbox's new/ at once, with a reference list of REFERENCES addresses (default 1,000,000), half of
# them from senders on that list. Prints the wall time from the burst until every message is
# judged and the spam moved, the program's CPU time per message over that span, and its peak
# resident memory. ROUNDS=N (default 1) runs N bursts one after another on the same program (the
# mail moved out between them): the first meets the database pages cold, the later ones warm.
#   bench/program_burst.sh [BUILD_DIR]     (default: build; build it first)
#   MESSAGES=50000 REFERENCES=5000000 CACHE_DIR=/var/tmp/tervane-bench bench/program_burst.sh
#   WHITE=10000 BLACK=10000 WAITING=10000 ...: see program_common.sh
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/bench/program_common.sh"
run_program_bench "${1:-$top/build}" burst "${MESSAGES:-10000}" "${ROUNDS:-1}"
