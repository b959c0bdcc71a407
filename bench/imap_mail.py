"""Mail for bench/imap_burst.sh, appended as another IMAP client of the account would.

  imap_mail.py IMAPS_PORT CA_FILE PID REFERENCES_FILE REFERENCES MESSAGES
  (descriptor 5: commands to imap_bench_server, 6: its answers)

Messages are appended over four connections at once, the last one alone after them. Every second
one comes from an address of the reference list (spread over the whole list), the others from
nobody listed; the last one is spam, and the program judges in UID order, so once all the spam is
in "spam" every message has been judged.
"""
import imaplib
import os
import ssl
import sys
import threading
import time

from program_mail import cpu_seconds, memory_mib, spam_senders

TIMEOUT_S = 300


class Account:
    """alice's account on the server, as a second client."""

    def __init__(self, port, ca_file):
        context = ssl.create_default_context(cafile=ca_file)
        self.imap = imaplib.IMAP4_SSL("127.0.0.1", port, ssl_context=context)
        self.imap.login("alice", "alice-secret")

    def count(self, mailbox):
        _, data = self.imap.status(mailbox, "(MESSAGES)")
        return int(data[0].decode().rsplit(" ", 1)[1].rstrip(")"))

    def move_first(self, source, target):
        """Moves the first message of source to target, as the user's own client does: with MOVE
        where the server offers it, else a copy, the original flagged deleted and expunged."""
        self.imap.select(source)
        _, data = self.imap.uid("SEARCH", "UNDELETED")
        uid = data[0].split()[0].decode()
        _, capabilities = self.imap.capability()
        if b"MOVE" in capabilities[0].split():
            self.imap.uid("MOVE", uid, target)
        else:
            self.imap.uid("COPY", uid, target)
            self.imap.uid("STORE", uid, "+FLAGS.SILENT", "(\\Deleted)")
            self.imap.expunge()

    def undeleted(self, mailbox):
        """The messages of mailbox not flagged deleted (a server without UIDPLUS leaves the
        originals of moved ones so)."""
        self.imap.select(mailbox, readonly=True)
        _, data = self.imap.search(None, "UNDELETED")
        return len(data[0].split())

    def append(self, messages):
        for message in messages:
            self.imap.append("INBOX", None, None, message)


def append_in_parallel(port, ca_file, messages, clients=4):
    """Appends messages over several connections at once, as fast as the server takes them."""
    accounts = [Account(port, ca_file) for _ in range(clients)]
    threads = [threading.Thread(target=account.append, args=(messages[i::clients],))
               for i, account in enumerate(accounts)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def mail(senders, count, tag):
    """count messages, every second one from senders, the last one spam; and the spam count."""
    messages = []
    spam = 0
    for i in range(count):
        if (count - 1 - i) % 2 == 0:
            sender = senders[spam % len(senders)]
            spam += 1
        else:
            sender = f"person{i}@mail.example"
        messages.append(f"From: <{sender}>\r\nTo: <alice@home.example>\r\nSubject: message {i}\r\n"
                        f"Message-ID: <{tag}.{i}@bench.example>\r\n\r\nbody {i}\r\n".encode())
    return messages, spam


def wait_until_moved(account, spam, pid):
    start = time.monotonic()
    while account.count("spam") < spam:
        if time.monotonic() - start > TIMEOUT_S:
            sys.exit(f"not all spam was moved within {TIMEOUT_S} s")
        if not os.path.exists(f"/proc/{pid}"):
            sys.exit("the program ended")
        time.sleep(0.01)
    return time.monotonic()


class Server:
    """imap_bench_server's commands."""

    def __init__(self):
        self.commands = os.fdopen(5, "w")
        self.answers = os.fdopen(6)

    def ask(self, command):
        self.commands.write(command + "\n")
        self.commands.flush()
        return self.answers.readline().strip()


def wait_for_log(words, count):
    """Waits until the program's decision log holds count lines with words; the time taken."""
    log = os.path.join(os.environ["XDG_STATE_HOME"], "tervane-antispam", "decisions.log")
    start = time.monotonic()
    while True:
        with open(log, errors="replace") as f:
            if f.read().count(words) >= count:
                return time.monotonic() - start
        if time.monotonic() - start > TIMEOUT_S:
            sys.exit(f"no \"{words}\" in the log within {TIMEOUT_S} s")
        time.sleep(0.01)


def marks(account):
    """A move into spam and one out of it by another client, until the program has marked each."""
    account.move_first("INBOX", "spam")
    into = wait_for_log("marked spam by moving", 1)
    account.move_first("spam", "INBOX")
    out = wait_for_log("marked not spam by moving", 1)
    print(f"marks: a move into spam by another client marked after {into:.2f} s, one out of "
          f"it after {out:.2f} s", flush=True)


def main():
    port, ca_file, pid, references_file = sys.argv[1:5]
    references, messages = int(sys.argv[5]), int(sys.argv[6])
    senders = spam_senders(references_file, references, (messages + 1) // 2)
    account = Account(int(port), ca_file)
    server = Server()

    burst, spam = mail(senders, messages, "burst")
    cpu_before = cpu_seconds(pid)
    start = time.monotonic()
    append_in_parallel(int(port), ca_file, burst[:-1])
    account.append(burst[-1:])
    last = time.monotonic()
    done = wait_until_moved(account, spam, pid)
    cpu = cpu_seconds(pid) - cpu_before
    kept = account.undeleted("INBOX")
    print(f"burst: {messages} appended in {last - start:.2f} s ({spam} spam moved, {kept} kept); "
          f"all judged {done - last:.2f} s after the last append; program CPU {cpu:.2f} s = "
          f"{cpu / messages * 1e6:.0f} us per message; peak resident "
          f"{memory_mib(pid, 'VmHWM'):.0f} MiB", flush=True)
    if kept != messages - spam:
        sys.exit(f"expected {messages - spam} kept messages, found {kept}")

    server.ask("down")
    backlog, more_spam = mail(senders, messages, "backlog")
    append_in_parallel(int(port), ca_file, backlog[:-1])
    account.append(backlog[-1:])
    accepted = int(server.ask("accepted"))
    cpu_before = cpu_seconds(pid)
    up = time.monotonic()
    server.ask("up")
    while int(server.ask("accepted")) == accepted:
        time.sleep(0.005)
    reconnected = time.monotonic()
    done = wait_until_moved(account, spam + more_spam, pid)
    cpu = cpu_seconds(pid) - cpu_before
    print(f"backlog: {messages} appended while cut off; the program reconnected "
          f"{reconnected - up:.2f} s after the server came back and judged all of them in "
          f"{done - reconnected:.2f} s; program CPU {cpu:.2f} s = {cpu / messages * 1e6:.0f} us "
          f"per message; peak resident {memory_mib(pid, 'VmHWM'):.0f} MiB", flush=True)

    # Last, as they change the lists.
    marks(account)


if __name__ == "__main__":
    main()
