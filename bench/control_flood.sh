#!/usr/bin/env bash
# The whole program while one client floods its control socket with "list Inbox" requests and
# never reads an answer (the inbox holding 2,000 messages). Measures the program's peak resident
# memory, how long "oectl status" and a spam message wait meanwhile, and after the flooder has
# left, how long the program takes to end on SIGTERM.
#   bench/control_flood.sh [BUILD_DIR]     (default: build; build it first)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:-$top/build}/bin" && pwd)
seconds=${SECONDS_OF_FLOOD:-20}
messages=${MESSAGES:-2000}

source "$top/bench/program_common.sh"
start_program "$bin" 1  # a reference list of one address: sender0@spam0.example
for i in $(seq "$messages"); do
  printf 'From: <person%d@mail.example>\nSubject: message %d\n\nbody\n' "$i" "$i" \
    >"$work/Maildir/cur/kept.$i.bench:2,S"
done

python3 - "$work" "$pid" "$seconds" <<'PY'
import os, signal, socket, subprocess, sys, threading, time
work, pid, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
oectl = os.path.join(work, "program", "oectl")
root = os.path.join(work, "Maildir")
def peak_mib():
    with open(f"/proc/{pid}/status") as status:
        return next(int(l.split()[1]) for l in status if l.startswith("VmHWM")) // 1024
failures = []
def timed(args):
    start = time.monotonic()
    run = subprocess.run([oectl, "--timeout", "300"] + args, capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(run.stderr.strip())
    return time.monotonic() - start

flooder = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
flooder.connect(os.path.join(work, "run", "tervane", "mailclient.sock"))
stop = threading.Event()
sent = 0
def flood():
    global sent
    request = b'{"cmd":"list","folder":"Inbox"}\n' * 64
    flooder.settimeout(0.2)
    while not stop.is_set():
        try:
            sent += flooder.send(request)
        except socket.timeout:
            pass
flooding = threading.Thread(target=flood, daemon=True)
flooding.start()

status_waits, spam_waits = [], []
deadline = time.monotonic() + seconds
n = 0
while time.monotonic() < deadline:
    status_waits.append(timed(["status"]))
    n += 1
    name = f"spam.{n}.bench"
    with open(os.path.join(root, "tmp", name), "w") as f:
        f.write(f"From: <sender0@spam0.example>\nSubject: spam {n}\n\nbuy\n")
    start = time.monotonic()
    os.rename(os.path.join(root, "tmp", name), os.path.join(root, "new", name))
    spam = os.path.join(root, ".spam", "new", name)
    while not os.path.exists(spam):
        if time.monotonic() - start > 120:
            sys.exit("a spam message was not moved within 120 s")
        time.sleep(0.005)
    spam_waits.append(time.monotonic() - start)
    time.sleep(0.5)
stop.set()
flooding.join()
print(f"flood of {seconds:.0f} s: the client sent {sent / 1e6:.2f} MB of requests and read nothing")
print(f"peak resident memory {peak_mib()} MiB")
print(f"oectl status meanwhile: {len(status_waits)} runs, longest {max(status_waits) * 1000:.0f} ms,"
      f" {len(failures)} failed{': ' + failures[0] if failures else ''}")
print(f"spam moved meanwhile: {len(spam_waits)} messages, longest {max(spam_waits) * 1000:.0f} ms")
flooder.close()
print(f"oectl status after the flooder left: {timed(['status']) * 1000:.0f} ms")
start = time.monotonic()
os.kill(pid, signal.SIGTERM)
while os.path.exists(f"/proc/{pid}") and open(f"/proc/{pid}/stat").read().split()[2] != "Z":
    if time.monotonic() - start > 60:
        sys.exit("the program did not end within 60 s of SIGTERM")
    time.sleep(0.005)
print(f"SIGTERM to exit: {(time.monotonic() - start) * 1000:.0f} ms")
PY
wait "$pid" 2>/dev/null || true
pid=
