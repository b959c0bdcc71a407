# Sourced by the benchmarks that run the real program: a throwaway copy of the program folder and
# a Maildir under $work, removed at exit together with the running program.
#   prepare_program BIN REFERENCE_LIST   copies the program folder BIN, with fresh lists whose
#                                        reference list is the file REFERENCE_LIST
#   start_program                        starts the copy on $work/Maildir (offscreen, reports to a
#                                        closed port), waits for its six buttons; sets $pid, $oectl
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/program" "$work/run" "$work/Maildir"/{cur,new,tmp}
chmod 700 "$work/run"

prepare_program() {
  cp -r "$1"/. "$work/program/"
  rm -f "$work/program/cust.mdb" "$work/program/ospam.mdb"
  "$work/program/tervane-mkdb" "$work/program" --reference-list "$2" >/dev/null
}

start_program() {
  export MAILDIR="$work/Maildir" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
  export XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data"
  export QT_QPA_PLATFORM=offscreen TERVANE_SERVER=127.0.0.1:9
  unset DISPLAY WAYLAND_DISPLAY
  oectl="$work/program/oectl"
  "$work/program/TervaneAntiSpam" 2>"$work/errors.txt" &
  pid=$!
  for _ in $(seq 200); do
    [ "$("$oectl" buttons 2>/dev/null | wc -l)" = 6 ] && break
    sleep 0.05
  done
}
