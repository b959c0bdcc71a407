#!/usr/bin/env bash
# tervane-lists importing ADDRESSES addresses (default 1,000,000) into the black list through the
# running program while new mail arrives. A spam message lands every 100 ms during the import;
# prints the longest and the median wait from landing to being moved, the import's wall time and
# the program's resident memory before and at its peak. Then a second import of as many other
# addresses is met by SIGTERM after 2 s: prints how long the program took to end and how many of
# that import's addresses stayed on the list.
#   bench/program_import.sh [BUILD_DIR]     (default: build; build it first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/bench/program_common.sh"
start_program "$(cd "${1:-$top/build}/bin" && pwd)" "${REFERENCES:-1000}"
python3 - "$work" "$pid" "$references_file" "${ADDRESSES:-1000000}" <<'PY'
import os
import signal
import statistics
import subprocess
import sys
import time

work, pid, references_file, count = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
lists = f"{work}/program/tervane-lists"
maildir = os.environ["MAILDIR"]
with open(references_file) as f:
    sender = f.readline().strip()


def memory_mib(field):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith(field)) / 1024


def running():
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().split(") ")[1][0] != "Z"
    except FileNotFoundError:
        return False


def spam_count():
    return sum(len(os.listdir(f"{maildir}/.spam/{sub}")) for sub in ("new", "cur"))


def addresses(tag):
    path = f"{work}/{tag}.txt"
    with open(path, "w") as out:
        for i in range(count):
            out.write(f"{tag}{i}@import{i % 1000}.example\n")
    return path


def import_into_black(path):
    return subprocess.Popen([lists, "import", "black", path], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


first = addresses("first")
before = memory_mib("VmRSS")
start = time.monotonic()
importer = import_into_black(first)
waits = []
while importer.poll() is None:
    spam = spam_count()
    name = f"{time.time():.6f}.import{len(waits)}.bench"
    with open(f"{maildir}/tmp/{name}", "w") as message:
        message.write(f"From: <{sender}>\nSubject: during the import\n\nspam\n")
    landed = time.monotonic()
    os.rename(f"{maildir}/tmp/{name}", f"{maildir}/new/{name}")
    while spam_count() == spam and time.monotonic() - landed < 120:
        time.sleep(0.001)
    waits.append(time.monotonic() - landed)
    time.sleep(0.1)
wall = time.monotonic() - start
print(f"import of {count:,}: {wall:.1f} s wall (exit {importer.returncode}); {len(waits)} spam "
      f"judged meanwhile, longest wait {max(waits) * 1000:.0f} ms, median "
      f"{statistics.median(waits) * 1000:.0f} ms; resident {before:.0f} MiB before, "
      f"peak {memory_mib('VmHWM'):.0f} MiB")

second = addresses("second")
importer = import_into_black(second)
time.sleep(2)
asked = time.monotonic()
os.kill(pid, signal.SIGTERM)
while running():
    time.sleep(0.001)
ended = time.monotonic() - asked
importer.wait()
shown = subprocess.run([lists, "show", "black", "--match", "second"], capture_output=True,
                       text=True, check=True).stdout
print(f"SIGTERM 2 s into a second import: the program ended after {ended * 1000:.0f} ms; "
      f"{shown.count(chr(10)):,} of its addresses stayed")
PY
