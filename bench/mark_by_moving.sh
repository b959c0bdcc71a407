#!/usr/bin/env bash
# Marks by moving under load: MOVES (default 500) kept messages of the inbox are renamed into the
# spam folder at once, as a mail client moves a selection, while a burst of MESSAGES (default
# 10,000) new messages lands (half from a reference list of REFERENCES addresses). Prints when
# the last of the marks was reported to a local report server (target: within 2 s of the first
# move, each once), when the burst was judged, and the program's CPU per message or mark.
#   bench/mark_by_moving.sh [BUILD_DIR]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export BENCH_REPORT_SERVER=127.0.0.1:$port
source "$top/bench/program_common.sh"
run_program_bench "${1:-$top/build}" marks "${MESSAGES:-10000}" "${MOVES:-500}" "$port"
