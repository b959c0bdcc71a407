#!/usr/bin/env bash
# What the domain entries ("@example.com") of the reference list add, against the SpamAssassin
# corpus (6,046 messages): per group, the messages moved to spam at Low, Medium and High with the
# shipped list with and without its domain entries, and how many of them the list moved (Medium
# minus Low: at Low only an invalid sender moves a message). Then a list made only from the older
# spam (spam-1, by data/reference/make_reference_list.py and the same rules) against the newer
# spam (spam-2), with and without its domain entries. Ham moved by the list must be 0.
#   bench/corpus_domains.sh [BUILD_DIR]     (default: build; build tervane-sender first)
# The corpus is fetched with npm pack into $CORPUS_DIR (default BUILD_DIR/corpus) when missing.
#
# The program does not match domain entries yet, so the verdicts are computed here by the
# filter's rule on each message's sender as tervane-sender takes it (the filter's own sender
# rule): an invalid sender is spam at every level; High moves everything (no white list); Low
# nothing else (no black list); Medium what the reference list holds. A sender is on a list when
# its address, or "@" and what follows its last "@", is (letter case ignored).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
package=$("$top/data/reference/fetch_corpus.sh" "${CORPUS_DIR:-$build/corpus}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/tervane-sender" "$package"/data/*/*.txt >"$work/senders.txt"
"$top/data/reference/make_reference_list.py" "$package" --sender-tool "$build/tools/tervane-sender" \
  --spam-groups spam-1 --out "$work/older.txt" >/dev/null

python3 - "$work/senders.txt" "$top/data/reference_spam.txt" "$work/older.txt" <<'PY'
import collections, sys

LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1], encoding="latin-1")]
messages = [(path.split("/")[-2], address.translate(LOWER)) for path, address, _, _ in rows]
groups = sorted({group for group, _ in messages}, key=lambda g: ("ham" in g, g))


def valid(address):
    """The filter's IsValidEmail: an '@' not first, a '.' in what follows, neither first nor last."""
    at = address.find("@")
    if at <= 0:
        return False
    domain = address[at + 1:]
    dot = domain.find(".")
    return 0 < dot < len(domain) - 1


def read_list(path, domains):
    lines = (line.strip() for line in open(path, encoding="latin-1"))
    entries = {line.translate(LOWER) for line in lines if line and not line.startswith("#")}
    return entries if domains else {e for e in entries if not e.startswith("@")}


def on_list(address, entries):
    return address in entries or ("@" in address and "@" + address.rsplit("@", 1)[1] in entries)


def moved(entries, level, address):
    if not valid(address):
        return True
    return level == "High" or (level == "Medium" and on_list(address, entries))


def table(title, path):
    print(f"\n{title}")
    print(f"{'group':<11} {'messages':>8} | {'without domains: Low':>20} {'Medium':>7} {'High':>6}"
          f" {'by list':>7} | {'with domains: Low':>17} {'Medium':>7} {'High':>6} {'by list':>7}")
    for group in groups:
        senders = [a for g, a in messages if g == group]
        cells = []
        for domains in (False, True):
            entries = read_list(path, domains)
            count = {lv: sum(moved(entries, lv, a) for a in senders) for lv in ("Low", "Medium", "High")}
            cells.append((count["Low"], count["Medium"], count["High"], count["Medium"] - count["Low"]))
        (l0, m0, h0, b0), (l1, m1, h1, b1) = cells
        print(f"{group:<11} {len(senders):>8} | {l0:>20} {m0:>7} {h0:>6} {b0:>7} |"
              f" {l1:>17} {m1:>7} {h1:>6} {b1:>7}")
    for domains in (False, True):
        entries = read_list(path, domains)
        ham = sum(moved(entries, "Medium", a) and valid(a) for g, a in messages if "ham" in g)
        spam = [(g, a) for g, a in messages if "spam" in g]
        caught = sum(moved(entries, "Medium", a) for _, a in spam)
        print(f"  {'with' if domains else 'without'} domains ({len(entries)} entries): ham moved by"
              f" the list {ham}; spam caught at Medium {caught} of {len(spam)}"
              f" ({100 * caught / len(spam):.1f} %)")


table("The shipped list (made from all the spam: it shows what the list covers)", sys.argv[2])

print("\nA list made only from the older spam (spam-1) against the newer spam (spam-2) at Medium")
newer = [a for g, a in messages if g == "spam-2"]
invalid = sum(not valid(a) for a in newer)
for domains in (False, True):
    entries = read_list(sys.argv[3], domains)
    by_list = sum(valid(a) and on_list(a, entries) for a in newer)
    ham = sum(valid(a) and on_list(a, entries) for g, a in messages if "ham" in g)
    names = sorted(e for e in entries if e.startswith("@"))
    print(f"  {'with' if domains else 'without'} domains ({len(entries)} entries,"
          f" {len(names)} domains{': ' + ' '.join(names) if names else ''}): spam-2 caught"
          f" {invalid + by_list} of {len(newer)} ({100 * (invalid + by_list) / len(newer):.1f} %),"
          f" {by_list} of them by the list ({invalid} by an invalid sender); ham moved by it {ham}")
PY
