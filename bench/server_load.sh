#!/usr/bin/env bash
# tervane-server under load: wrk keeps CONNECTIONS (default 64) concurrent clients sending spam
# reports, each a different address and digest, for SECONDS (default 15) against a server on a
# fresh SQLite file. Prints reports per second, the latency percentiles and how many reports
# were stored. All clients come from 127.0.0.1, so the run sets the per-client rate limit far
# above the offered load: the limiter still counts every report, it just never refuses one.
#   bench/server_load.sh [BUILD_DIR]     (default: build; build it first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
server=$(cd "${1:-$top/build}/server" && pwd)/tervane-server
connections=${CONNECTIONS:-64}
seconds=${SECONDS_TO_RUN:-15}
sync=${SYNC:-}   # SYNC=--sync-each-report waits for the disk at every report

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$server" --make-key "$work/keys" >/dev/null
"$server" --key "$work/keys/update.key" --port 0 --database "$work/reports.sqlite" \
  --rate-limit 1000000000 --rate-burst 1000000000 --publish-interval 3600 $sync \
  >"$work/server.txt" 2>"$work/errors.txt" &
pid=$!
for _ in $(seq 100); do grep -q '^listening' "$work/server.txt" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.txt")

cat >"$work/reports.lua" <<'LUA'
local n = 0
request = function()
  n = n + 1
  local path = string.format("/reportspam.php?spam=sender%d%%40spam%d.example&content=%032X",
                             n, n % 977, n)
  return wrk.format("GET", path)
end
LUA
echo "$connections clients for $seconds s against 127.0.0.1:$port (SQLite${sync:+, $sync})"
wrk -t1 -c"$connections" -d"${seconds}s" --latency -s "$work/reports.lua" "http://127.0.0.1:$port" |
  tee "$work/wrk.txt" | grep -E 'Latency|50%|90%|99%|requests in|Requests/sec|Non-2xx|Socket errors'
stored=$(curl -s "http://127.0.0.1:$port/tervane_spam_filter_update.htm" |
  sed -n 's/.*<p>\([0-9,]*\) spam reports.*/\1/p')
echo "reports stored: $stored (target: >= 5,000 reports/s, 99th percentile < 50 ms)"
if [ -s "$work/errors.txt" ]; then
  echo "the server reported:"; head -5 "$work/errors.txt"
fi
