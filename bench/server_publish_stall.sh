#!/usr/bin/env bash
# How long requests wait while tervane-server publishes a large list: a server with a seed list
# of REFERENCES addresses (default 1,000,000) on a fresh SQLite file looks for a changed list
# every INTERVAL seconds (default 5); meanwhile a client sends one request every 50 ms for
# SECONDS_TO_RUN seconds (default 60), each on a new connection, in turn a spam report (a new
# address each time) and GET /reference/latest, and times each answer. With CHANGES=1, every
# CHANGE_EVERY seconds (default 10) two clients report a new address, so the next publish makes a
# new version of the whole list; otherwise the list never changes and every publish finds it
# unchanged.
# Prints the median, 99th percentile and longest wait, and every request that waited over 50 ms.
#   bench/server_publish_stall.sh [BUILD_DIR]     (default: build; build tervane-server first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
server=$(cd "${1:-$top/build}/server" && pwd)/tervane-server
references=${REFERENCES:-1000000}
interval=${INTERVAL:-5}
seconds=${SECONDS_TO_RUN:-60}
changes=${CHANGES:-0}
change_every=${CHANGE_EVERY:-10}

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

python3 - "$work/seed.txt" "$references" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(int(sys.argv[2])):
        out.write(f"sender{i}@spam{i % 977}.example\n")
PY
"$server" --make-key "$work/keys" >/dev/null
# The client names its own address in X-Forwarded-For, so that two "clients" can agree.
"$server" --key "$work/keys/update.key" --port 0 --database "$work/reports.sqlite" \
  --seed "$work/seed.txt" --publish-interval "$interval" --trusted-proxy 127.0.0.1 \
  --rate-limit 1000000000 --rate-burst 1000000000 >"$work/server.txt" 2>"$work/errors.txt" &
pid=$!
for _ in $(seq 1200); do grep -q '^listening' "$work/server.txt" 2>/dev/null && break; sleep 0.05; done
grep -q '^listening' "$work/server.txt" || { cat "$work/server.txt" "$work/errors.txt"; exit 1; }
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.txt")
echo "$references addresses, a publish every $interval s, a request every 50 ms for $seconds s" \
  "(list changes: $changes)"

python3 - "$port" "$seconds" "$changes" "$change_every" <<'PY'
import http.client, sys, time
port, seconds, changes, every = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3] == "1", float(sys.argv[4])

def get(path, client="192.0.2.1"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    connection.request("GET", path, headers={"X-Forwarded-For": client})
    status = connection.getresponse()
    status.read()
    connection.close()
    return status.status

def report(address, digest, client):
    return get(f"/reportspam.php?spam={address}%40probe.example&content={digest:032X}", client)

waits, slow = [], []
start = time.monotonic()
n = 0
next_change = every
while time.monotonic() - start < seconds:
    tick = start + 0.05 * n
    delay = tick - time.monotonic()
    if delay > 0:
        time.sleep(delay)
    at = time.monotonic() - start
    if changes and at >= next_change:
        next_change += every
        for digest, client in ((1, "198.51.100.1"), (2, "198.51.100.2")):
            report(f"changed{n}", digest, client)
    kind = "report" if n % 2 == 0 else "latest"
    sent = time.monotonic()
    status = report(f"probe{n}", n, "192.0.2.1") if kind == "report" else get("/reference/latest")
    wait = time.monotonic() - sent
    waits.append(wait)
    if wait > 0.05:
        slow.append((at, wait, kind, status))
    n += 1
waits.sort()
ms = lambda s: f"{1000 * s:.1f} ms"
print(f"{len(waits)} requests: median {ms(waits[len(waits) // 2])}, "
      f"99th percentile {ms(waits[int(len(waits) * 0.99)])}, longest {ms(waits[-1])} "
      f"(target: none over 50 ms, 99th percentile < 50 ms)")
for at, wait, kind, status in slow:
    print(f"  at {at:6.2f} s: {ms(wait)} ({kind}, status {status})")
PY
echo "versions published during the run: $(grep -c '^published' "$work/server.txt") (1 at the start)"
if [ -s "$work/errors.txt" ]; then
  echo "the server reported:"; head -5 "$work/errors.txt"
fi
