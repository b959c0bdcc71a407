"""Mail for the benchmarks that run the real program (program_burst.sh, program_soak.sh).

  program_mail.py burst MAILDIR PID REFERENCES_FILE REFERENCES MESSAGES ROUNDS
  program_mail.py soak  MAILDIR PID REFERENCES_FILE REFERENCES MESSAGES BATCH
  program_mail.py marks MAILDIR PID REFERENCES_FILE REFERENCES MESSAGES MOVES PORT

Messages are written to tmp/ first and renamed into the inbox's new/ as fast as one process can.
Every second one comes from an address of the reference list itself (spread over the whole
list), the others from nobody listed; the last one of a burst is spam, and the program judges in
the order mail lands, so once all the spam is in .spam every message has been judged.
"""
import glob
import http.server
import os
import sys
import threading
import time

TIMEOUT_S = 300


def cpu_seconds(pid):
    """CPU time of every thread of the process so far, in seconds (nanosecond counters)."""
    total = 0
    for stat in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        with open(stat) as f:
            total += int(f.read().split()[0])
    return total / 1e9


def memory_mib(pid, field):
    """VmRSS (resident now) or VmHWM (peak resident) of the process, in MiB."""
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith(field)) / 1024


def spam_senders(references_file, references, wanted):
    """wanted addresses taken from the reference list, spread evenly over all of it."""
    stride = max(1, references // max(1, wanted))
    senders = []
    with open(references_file) as f:
        for number, line in enumerate(f):
            if number % stride == 0:
                senders.append(line.strip())
                if len(senders) == wanted:
                    break
    return senders


def count_files(*dirs):
    return sum(len(os.listdir(d)) for d in dirs)


class Burst:
    def __init__(self, root, senders, count, tag):
        self.root = root
        self.names = []
        self.spam = 0
        for i in range(count):
            if (count - 1 - i) % 2 == 0:
                sender = senders[self.spam % len(senders)]
                self.spam += 1
            else:
                sender = f"person{i}@mail.example"
            name = f"{tag}.{i}.bench"
            with open(os.path.join(root, "tmp", name), "w") as f:
                f.write(f"From: <{sender}>\nTo: <me@home.example>\nSubject: message {i}\n\n"
                        f"body {i}\n")
            self.names.append(name)

    def land(self):
        for name in self.names:
            os.rename(os.path.join(self.root, "tmp", name), os.path.join(self.root, "new", name))

    def wait_until_judged(self, spam_before, pid):
        spam_dirs = [os.path.join(self.root, ".spam", sub) for sub in ("new", "cur")]
        start = time.monotonic()
        while count_files(*spam_dirs) < spam_before + self.spam:
            if time.monotonic() - start > TIMEOUT_S:
                sys.exit(f"not all spam was moved within {TIMEOUT_S} s")
            if not os.path.exists(f"/proc/{pid}"):
                sys.exit("the program ended")
            time.sleep(0.002)


def burst(root, pid, references_file, references, messages, rounds):
    """rounds bursts one after another; after each the mail is moved out. The first one meets
    the database pages cold, the later ones warm."""
    senders = spam_senders(references_file, references, (messages + 1) // 2)
    for number in range(rounds):
        mail = Burst(root, senders, messages, f"burst{number}")
        cpu_before = cpu_seconds(pid)
        start = time.monotonic()
        mail.land()
        landed = time.monotonic() - start
        mail.wait_until_judged(0, pid)
        wall = time.monotonic() - start
        cpu = cpu_seconds(pid) - cpu_before
        kept = count_files(os.path.join(root, "new"), os.path.join(root, "cur"))
        print(f"{messages} messages ({mail.spam} spam moved, {kept} kept): {wall:.3f} s wall "
              f"(the last landed at {landed:.3f} s), "
              f"CPU {cpu:.3f} s = {cpu / messages * 1e6:.1f} us per message, "
              f"peak resident {memory_mib(pid, 'VmHWM'):.0f} MiB", flush=True)
        if kept != messages - mail.spam:
            sys.exit(f"expected {messages - mail.spam} kept messages, found {kept}")
        if number + 1 < rounds:
            move_out(root, archive(root))
            time.sleep(0.5)  # the program notes the mail leaving


def archive(root):
    outside = os.path.join(os.path.dirname(root), "archive")
    os.makedirs(outside, exist_ok=True)
    return outside


def move_out(root, outside):
    """Takes every message out of the inbox and the spam folder, as a reader that archives."""
    for folder in (root, os.path.join(root, ".spam")):
        for sub in ("new", "cur"):
            d = os.path.join(folder, sub)
            for name in os.listdir(d):
                target = os.path.join(outside, name)
                os.rename(os.path.join(d, name), target)
                os.unlink(target)


class ReportCounter(http.server.BaseHTTPRequestHandler):
    """The maker's server as the benchmark sees it: counts the spam reports, answers 200."""
    reports = []

    def do_GET(self):
        if self.path.startswith("/reportspam.php?"):
            ReportCounter.reports.append((time.monotonic(), self.path))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


def marks(root, pid, references_file, references, messages, moves, port):
    """moves kept messages of the inbox are moved into the spam folder at once, as a mail client
    that renames them does, while a burst of messages new mail lands: every move must become one
    Spam mark, reported once, and the burst still be judged."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), ReportCounter)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    ham = [f"friend{i}@mail.example" for i in range(moves)]
    kept = Burst(root, ham, moves, "kept")
    kept.spam = 0
    kept.land()
    start = time.monotonic()
    while count_files(os.path.join(root, "new")) + count_files(os.path.join(root, "cur")) < moves:
        time.sleep(0.01)
    time.sleep(1.0)  # every one judged (kept) by now
    names = sorted(os.listdir(os.path.join(root, "new")))
    senders = spam_senders(references_file, references, (messages + 1) // 2)
    burst = Burst(root, senders, messages, "burst")
    cpu_before = cpu_seconds(pid)
    start = time.monotonic()
    for name in names:
        os.rename(os.path.join(root, "new", name), os.path.join(root, ".spam", "cur", name + ":2,S"))
    moved = time.monotonic() - start
    burst.land()
    burst.wait_until_judged(len(names), pid)
    judged = time.monotonic() - start
    while len(ReportCounter.reports) < len(names):
        if time.monotonic() - start > TIMEOUT_S:
            sys.exit(f"only {len(ReportCounter.reports)} of {len(names)} reports came")
        time.sleep(0.005)
    reported = ReportCounter.reports[len(names) - 1][0] - start
    time.sleep(0.5)  # a report more than one per move would come by now
    cpu = cpu_seconds(pid) - cpu_before
    print(f"{len(names)} moves into spam (renamed in {moved:.3f} s) with {messages} new messages "
          f"landing: all {len(names)} marks reported {reported:.3f} s after the first move, "
          f"the burst judged at {judged:.3f} s; {len(ReportCounter.reports)} reports in all; "
          f"program CPU {cpu:.3f} s = {cpu / (messages + len(names)) * 1e6:.1f} us per message "
          f"or mark", flush=True)
    if len(ReportCounter.reports) != len(names):
        sys.exit(f"expected {len(names)} reports, got {len(ReportCounter.reports)}")
    server.shutdown()


def soak(root, pid, references_file, references, messages, batch):
    senders = spam_senders(references_file, references, (batch + 1) // 2)
    outside = archive(root)
    first = None
    start = time.monotonic()
    batches = messages // batch
    for number in range(batches):
        mail = Burst(root, senders, batch, f"soak{number}")
        mail.land()
        mail.wait_until_judged(0, pid)
        move_out(root, outside)
        resident = memory_mib(pid, "VmRSS")
        if first is None:
            first = resident
        if number == 0 or (number + 1) % max(1, batches // 10) == 0:
            print(f"{(number + 1) * batch:>9} messages: resident {resident:.1f} MiB "
                  f"({(time.monotonic() - start):.0f} s)", flush=True)
    last = memory_mib(pid, "VmRSS")
    print(f"resident after the first {batch}: {first:.1f} MiB, after {batches * batch}: "
          f"{last:.1f} MiB ({(last / first - 1) * 100:+.1f} %, target within 10 %), "
          f"peak {memory_mib(pid, 'VmHWM'):.1f} MiB")


if __name__ == "__main__":
    command, root, pid, references_file = sys.argv[1:5]
    numbers = [int(a) for a in sys.argv[5:]]
    if command == "burst":
        burst(root, pid, references_file, *numbers)
    elif command == "soak":
        soak(root, pid, references_file, *numbers)
    elif command == "marks":
        marks(root, pid, references_file, *numbers)
    else:
        sys.exit(__doc__)
