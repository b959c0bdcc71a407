# Shared by the benchmarks that run the real program (program_burst.sh, program_soak.sh); sourced.
#   run_program_bench BUILD_DIR MODE ARGS...: makes a throwaway copy of BUILD_DIR/bin with a
#   reference list of $REFERENCES addresses (default 1,000,000), starts the program on a
#   throwaway Maildir, waits until it is attached, and runs program_mail.py MODE ARGS... on it;
#   everything is removed when the calling script ends.
#   WHITE=N BLACK=N white and black lists of N addresses each (default 0), none of them a sender
#                   of the benchmark's mail
#   WAITING=N       N messages (half of them spam, as in a burst) wait in the inbox's new/ when
#                   the program starts; they are judged before MODE runs
#   CACHE_DIR=DIR   keep the made database files in DIR and reuse them (a 5,000,000-address
#                   list takes minutes to make)
#   BENCH_REPORT_SERVER=HOST:PORT   where the program sends its spam reports (default: nowhere)
#   BENCH_LOG=FILE  keeps the program's standard error (its decision log) in FILE

run_program_bench() {
  local bench_dir bin references
  bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  bin=$(cd "$1/bin" && pwd)
  references=${REFERENCES:-1000000}
  start_program "$bin" "$references"
  if [ "${WAITING:-0}" != 0 ]; then
    python3 "$bench_dir/program_mail.py" waited "$MAILDIR" "$pid" "$references_file" \
      "$references" "$WAITING"
  fi
  python3 "$bench_dir/program_mail.py" "$2" "$MAILDIR" "$pid" "$references_file" "$references" \
    "${@:3}"
}

start_program() {
  local bin=$1 references=$2
  work=$(mktemp -d)
  pid=
  trap 'stop_program' EXIT
  mkdir -p "$work/program" "$work/run" "$work/Maildir"/{cur,new,tmp}
  chmod 700 "$work/run"
  cp -r "$bin"/. "$work/program/"
  rm -f "$work/program/cust.mdb" "$work/program/ospam.mdb"

  local databases=$work/databases white=${WHITE:-0} black=${BLACK:-0}
  if [ -n "${CACHE_DIR:-}" ]; then
    databases=$CACHE_DIR/references-$references
    [ "$white$black" = 00 ] || databases+=-white-$white-black-$black
  fi
  references_file=$databases/references.txt
  if [ ! -f "$databases/ospam.mdb" ]; then
    echo "making a reference list of $references addresses..." >&2
    make_databases "$databases.part" "$references" "$white" "$black" "$work/program"
    mv "$databases.part" "$databases"
  fi
  cp "$databases/cust.mdb" "$databases/ospam.mdb" "$work/program/"

  export MAILDIR="$work/Maildir" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
  export XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data"
  export QT_QPA_PLATFORM=offscreen TERVANE_SERVER=${BENCH_REPORT_SERVER:-127.0.0.1:9}
  unset DISPLAY WAYLAND_DISPLAY
  oectl="$work/program/oectl"
  # A script that needs more before the start (a configuration file) defines this.
  if declare -F before_program_start >/dev/null; then
    before_program_start
  fi

  if [ "${WAITING:-0}" != 0 ]; then
    python3 "$(dirname "${BASH_SOURCE[0]}")/program_mail.py" deliver "$MAILDIR" 0 \
      "$references_file" "$references" "$WAITING"
  fi
  local started
  started=$(date +%s.%N)
  "$work/program/TervaneAntiSpam" 2>"$work/errors.txt" &
  pid=$!
  for _ in $(seq 1200); do
    if [ "$("$oectl" buttons 2>/dev/null | wc -l)" = 6 ]; then
      print_attach_time "$started"
      return 0
    fi
    sleep 0.05
  done
  echo "the program did not attach within 60 s" >&2
  exit 1
}

# make_databases DIR REFERENCES WHITE BLACK PROGRAM_DIR: makes DIR/ospam.mdb with REFERENCES
# addresses (listed in DIR/references.txt) and DIR/cust.mdb with WHITE and BLACK addresses on
# its white and black lists, with the tools of PROGRAM_DIR.
make_databases() {
  local dir=$1 program=$5 list
  rm -rf "$dir"
  mkdir -p "$dir"
  python3 - "$dir" "$2" "$3" "$4" <<'PY'
import sys
folder, references, white, black = sys.argv[1], *map(int, sys.argv[2:])
def write(name, count, address):
    with open(f"{folder}/{name}", "w") as out:
        for i in range(count):
            out.write(address(i) + "\n")
write("references.txt", references, lambda i: f"sender{i}@spam{i % 977}.example")
write("white.txt", white, lambda i: f"friend{i}@home{i % 89}.example")
write("black.txt", black, lambda i: f"blocked{i}@junk{i % 97}.example")
PY
  "$program/tervane-mkdb" "$dir" --reference-list "$dir/references.txt" >/dev/null
  for list in white black; do
    if [ -s "$dir/$list.txt" ]; then
      "$program/tervane-lists" --folder "$dir" import "$list" "$dir/$list.txt" >/dev/null
    fi
    rm "$dir/$list.txt"
  done
}

# print_attach_time STARTED: the wall time from STARTED (seconds since the epoch) to the time
# stamp of the program's log line of its attach.
print_attach_time() {
  local line
  for _ in $(seq 40); do  # the log is written once the program's event loop is free
    line=$(grep -m1 ' attached' "$work/errors.txt" || true)
    [ -n "$line" ] && break
    sleep 0.05
  done
  [ -n "$line" ] || return 0
  awk -v started="$1" -v attached="$(date -d "${line%% *}" +%s.%N)" \
    'BEGIN { printf "attached %.3f s after the start\n", attached - started }'
}

stop_program() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  if [ -n "${BENCH_LOG:-}" ]; then
    cp "$work/errors.txt" "$BENCH_LOG" 2>/dev/null || true
  fi
  if [ -s "$work/errors.txt" ]; then
    echo "the program reported:" >&2
    head -5 "$work/errors.txt" >&2
  fi
  rm -rf "$work"
}
