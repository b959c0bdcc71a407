#!/usr/bin/env bash
# The program over a long run: MESSAGES messages (default 1,000,000) delivered in batches of
# BATCH (default 10,000); after each batch is judged, every message is moved out of the inbox
# and the spam folder. Prints the resident memory after the first batch, along the way and at
# the end: it must stay flat, since the program remembers only mail that is in the store.
#   bench/program_soak.sh [BUILD_DIR]      (REFERENCES=1000000 CACHE_DIR=... as program_burst.sh)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/bench/program_common.sh"
run_program_bench "${1:-$top/build}" soak "${MESSAGES:-1000000}" "${BATCH:-10000}"
