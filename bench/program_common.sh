# Shared by the benchmarks that run the real program (program_burst.sh, program_soak.sh); sourced.
#   run_program_bench BUILD_DIR MODE ARGS...: makes a throwaway copy of BUILD_DIR/bin with a
#   reference list of $REFERENCES addresses (default 1,000,000), starts the program on a
#   throwaway Maildir, waits until it is attached, and runs program_mail.py MODE ARGS... on it;
#   everything is removed when the calling script ends.
#   CACHE_DIR=DIR   keep the made database files in DIR and reuse them (a 5,000,000-address
#                   list takes minutes to make)
#   BENCH_REPORT_SERVER=HOST:PORT   where the program sends its spam reports (default: nowhere)

run_program_bench() {
  local bench_dir bin references
  bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  bin=$(cd "$1/bin" && pwd)
  references=${REFERENCES:-1000000}
  start_program "$bin" "$references"
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

  local databases=$work/databases
  if [ -n "${CACHE_DIR:-}" ]; then
    databases=$CACHE_DIR/references-$references
  fi
  references_file=$databases/references.txt
  if [ ! -f "$databases/ospam.mdb" ]; then
    mkdir -p "$databases"
    echo "making a reference list of $references addresses..." >&2
    python3 - "$references_file" "$references" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(int(sys.argv[2])):
        out.write(f"sender{i}@spam{i % 977}.example\n")
PY
    "$work/program/tervane-mkdb" "$databases" --reference-list "$references_file" >/dev/null
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

  "$work/program/TervaneAntiSpam" 2>"$work/errors.txt" &
  pid=$!
  for _ in $(seq 1200); do
    [ "$("$oectl" buttons 2>/dev/null | wc -l)" = 6 ] && return 0
    sleep 0.05
  done
  echo "the program did not attach within 60 s" >&2
  exit 1
}

stop_program() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  if [ -s "$work/errors.txt" ]; then
    echo "the program reported:" >&2
    head -5 "$work/errors.txt" >&2
  fi
  rm -rf "$work"
}
