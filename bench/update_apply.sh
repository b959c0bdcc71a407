#!/usr/bin/env bash
# update applying a reference list of 1,000,000 addresses into a running, attached program
# while mail keeps arriving: one message every 50 ms from a sender on the list (each judged by
# a reference-list lookup and moved to spam). Measures how long update takes from start to end,
# and how long each message waited until it was moved, before, during and after the update.
#   bench/update_apply.sh [BUILD_DIR]     (default: build; build it first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:-$top/build}/bin" && pwd)
server=$(cd "${1:-$top/build}/server" && pwd)/tervane-server
references=${REFERENCES:-1000000}

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/program" "$work/run" "$work/Maildir"/{cur,new,tmp}
chmod 700 "$work/run"
cp -r "$bin"/. "$work/program/"
rm -f "$work/program/cust.mdb" "$work/program/ospam.mdb" "$work/program/update.pub"
"$work/program/tervane-mkdb" "$work/program" --reference-list "$top/data/reference_spam.txt" >/dev/null
"$server" --make-key "$work/keys" >/dev/null
cp "$work/keys/update.pub" "$work/program/update.pub"

echo "making a list of $references addresses and the shipped ones, and publishing it..."
python3 - "$work/seed.txt" "$references" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(int(sys.argv[2])):
        out.write(f"sender{i}@spam{i % 977}.example\n")
PY
grep -v '^#' "$top/data/reference_spam.txt" >>"$work/seed.txt"
"$server" --key "$work/keys/update.key" --port 0 --database "$work/reports.sqlite" \
  --seed "$work/seed.txt" >"$work/server.txt" 2>&1 &
pids+=($!)
for _ in $(seq 600); do grep -q '^listening' "$work/server.txt" && break; sleep 0.05; done
grep -q '^listening' "$work/server.txt" || { cat "$work/server.txt"; exit 1; }

export MAILDIR="$work/Maildir" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=offscreen
export TERVANE_SERVER="127.0.0.1:$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.txt")"
unset DISPLAY WAYLAND_DISPLAY
"$work/program/TervaneAntiSpam" 2>"$work/errors.txt" &
pids+=($!)
for _ in $(seq 200); do
  [ "$("$work/program/oectl" buttons 2>/dev/null | wc -l)" = 6 ] && break
  sleep 0.05
done

# The sender is on the shipped list and on the new one: every message is spam by the reference
# list before, during and after the update.
sender=$(grep -v '^#' "$top/data/reference_spam.txt" | grep -m1 -E '^[a-z0-9.]+@[a-z0-9.-]+$')
python3 - "$work" "$sender" <<'PY'
import os, subprocess, sys, threading, time
work, sender = sys.argv[1], sys.argv[2]
root = os.path.join(work, "Maildir")
spam = [os.path.join(root, ".spam", sub) for sub in ("new", "cur")]
sent, moved, stop = {}, {}, threading.Event()

def moved_names():
    names = set()
    for d in spam:
        if os.path.isdir(d):
            names.update(n.split(":")[0] for n in os.listdir(d))
    return names

def deliver():
    i = 0
    while not stop.is_set():
        name = f"apply.{i}.bench"
        with open(os.path.join(root, "tmp", name), "w") as f:
            f.write(f"From: <{sender}>\nTo: <me@home.example>\nSubject: {i}\n\nbody {i}\n")
        sent[name] = time.monotonic()
        os.rename(os.path.join(root, "tmp", name), os.path.join(root, "new", name))
        i += 1
        time.sleep(0.05)

def watch():
    while not stop.is_set() or len(moved) < len(sent):
        now = time.monotonic()
        for name in moved_names() - moved.keys():
            moved[name] = now
        if stop.is_set() and now - stop_time[0] > 10:
            break
        time.sleep(0.005)

stop_time = [0.0]
threads = [threading.Thread(target=deliver), threading.Thread(target=watch)]
for t in threads:
    t.start()
time.sleep(2)
start = time.monotonic()
result = subprocess.run([os.path.join(work, "program", "update")], capture_output=True, text=True)
applied = time.monotonic() - start
time.sleep(2)
stop.set()
stop_time[0] = time.monotonic()
for t in threads:
    t.join()
waits = sorted(moved[n] - sent[n] for n in sent if n in moved)
during = sorted(moved[n] - sent[n] for n in sent if n in moved and start <= sent[n] <= start + applied)
print(result.stdout.strip() or result.stderr.strip())
print(f"update ran {applied:.2f} s (target < 15 s)")
print(f"{len(sent)} messages delivered, {len(moved)} moved; {len(during)} arrived during the update")
if waits:
    print(f"wait until moved: median {1000 * waits[len(waits) // 2]:.0f} ms, "
          f"longest {1000 * waits[-1]:.0f} ms (target < 1000 ms); "
          f"longest during the update {1000 * (during[-1] if during else 0):.0f} ms")
PY
if [ -s "$work/errors.txt" ]; then
  echo "the program reported:"; head -5 "$work/errors.txt"
fi
