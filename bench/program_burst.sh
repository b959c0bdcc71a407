#!/usr/bin/env bash
# The whole program under a burst of new mail: 10,000 messages land in the inbox's new/ at once,
# with a reference list of 1,000,000 addresses. Measures the time from the burst until every
# message is judged and the spam moved, and the program's peak resident memory.
#   bench/program_burst.sh [BUILD_DIR]     (default: build; build it first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:-$top/build}/bin" && pwd)
messages=${MESSAGES:-10000}
references=${REFERENCES:-1000000}

source "$top/bench/program_copy.sh"
echo "making a reference list of $references addresses..."
python3 - "$work/references.txt" "$references" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(int(sys.argv[2])):
        out.write(f"sender{i}@spam{i % 977}.example\n")
PY
prepare_program "$bin" "$work/references.txt"
start_program

# Every second message comes from a reference-list sender, the others from nobody listed. All
# are written to tmp/ first, then renamed into new/ as fast as one process can.
python3 - "$work/Maildir" "$messages" "$pid" <<'PY'
import os, sys, time
root, count, pid = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def peak_kib():
    with open(f"/proc/{pid}/status") as status:
        return next(int(l.split()[1]) for l in status if l.startswith("VmHWM"))
names = []
for i in range(count):
    sender = f"sender{i * 7}@spam{(i * 7) % 977}.example" if i % 2 == 1 else f"person{i}@mail.example"
    name = f"burst.{i}.bench"
    with open(os.path.join(root, "tmp", name), "w") as f:
        f.write(f"From: <{sender}>\nTo: <me@home.example>\nSubject: message {i}\n\nbody {i}\n")
    names.append(name)
# Messages are judged in the order they land; the last one is spam, so once all the spam is
# moved every message has been judged.
expected = count // 2
spam = [os.path.join(root, ".spam", sub) for sub in ("new", "cur")]
start = time.monotonic()
for name in names:
    os.rename(os.path.join(root, "tmp", name), os.path.join(root, "new", name))
while sum(len(os.listdir(d)) for d in spam) < expected:
    if time.monotonic() - start > 120:
        sys.exit("not all spam was moved within 120 s")
    time.sleep(0.01)
elapsed = time.monotonic() - start
kept = sum(len(os.listdir(os.path.join(root, sub))) for sub in ("new", "cur"))
print(f"{count} messages, {expected} spam moved, {kept} kept, in {elapsed:.2f} s (target < 5 s)")
print(f"peak resident memory {peak_kib() // 1024} MiB (target < 100 MiB)")
PY
if [ -s "$work/errors.txt" ]; then
  echo "the program reported:"; head -5 "$work/errors.txt"
fi
