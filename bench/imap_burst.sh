#!/usr/bin/env bash
# The whole program on an IMAP account of a local Dovecot (the tests' throwaway server, through a
# loopback proxy), with a reference list of REFERENCES addresses (default 1,000,000):
#   burst    MESSAGES messages (default 10,000) appended to the inbox while the program is
#            connected, half from senders on the reference list: the wall time from the last
#            append until all the spam is moved, the program's CPU time per message and its peak
#            resident memory;
#   backlog  the connection cut, MESSAGES appended meanwhile, then the server reachable again:
#            the time from the program's reconnect until all of them are judged.
# WITHOUT="MOVE NOTIFY ..." turns capabilities off in Dovecot, to see what each one's absence costs.
#   bench/imap_burst.sh [BUILD_DIR]     (default: build-bench, configured with
#                                        -DTERVANE_BUILD_BENCHMARKS=ON and built)
#   MESSAGES=2000 WITHOUT=MOVE CACHE_DIR=/var/tmp/tervane-bench bench/imap_burst.sh
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build-bench}
source "$top/bench/program_common.sh"

# The server first: its ports and certificate go into the program's configuration. It takes
# its commands through one FIFO and answers through another.
control=$(mktemp -d)
mkfifo "$control/commands" "$control/answers"
# shellcheck disable=SC2086
"$build/bench/imap_bench_server" ${WITHOUT:-} <"$control/commands" >"$control/answers" &
server_pid=$!
exec 5>"$control/commands" 6<"$control/answers"
read -r imaps_port proxy_port ca_file <&6
before_program_start() {
  mkdir -p "$XDG_CONFIG_HOME/tervane-antispam"
  printf 'alice-secret\n' >"$XDG_CONFIG_HOME/tervane-antispam/password"
  chmod 600 "$XDG_CONFIG_HOME/tervane-antispam/password"
  cat >"$XDG_CONFIG_HOME/tervane-antispam/tervane-antispam.conf" <<CONF
[mail]
imap = imaps://alice@127.0.0.1:$proxy_port
password-file = $XDG_CONFIG_HOME/tervane-antispam/password
ca-file = $ca_file
CONF
}
references=${REFERENCES:-1000000}
start_program "$(cd "$build/bin" && pwd)" "$references"
trap 'cp "$work/errors.txt" /tmp/imap2-errors.txt; stop_program; exec 5>&-; wait "$server_pid"; rm -rf "$control"' EXIT
python3 "$top/bench/imap_mail.py" "$imaps_port" "$ca_file" "$pid" "$references_file" \
  "$references" "${MESSAGES:-10000}"
