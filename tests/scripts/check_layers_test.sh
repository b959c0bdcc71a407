#!/usr/bin/env bash
# scripts/check-layers passes on the tree as it is, and fails on an include that points up or
# sideways and on a folder that stands on no floor.
#   check_layers_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
check="$source_dir/scripts/check-layers"
"$check" --root "$source_dir"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
printf '# x\n```floors\nshell\nengine maildir\nbase\n```\n' >"$tree/README.md"
for folder in shell engine maildir base; do
  mkdir "$tree/$folder"
  touch "$tree/$folder/CMakeLists.txt"
done
echo '#include "base/fd_io.h"' >"$tree/engine/rules.cpp"
echo '#include "engine/rules.h"' >"$tree/shell/main.cpp"
"$check" --root "$tree"

expect_failure() {
  if "$check" --root "$tree" 2>/dev/null; then
    echo "check-layers passed $1" >&2
    exit 1
  fi
}
echo '#include "shell/main.h"' >"$tree/base/up.h"
expect_failure "an include that points up"
rm "$tree/base/up.h"
echo '  #  include "maildir/store.h"' >"$tree/engine/side.cpp"
expect_failure "an include of a folder on the same floor"
rm "$tree/engine/side.cpp"
mkdir "$tree/extra" && touch "$tree/extra/CMakeLists.txt"
expect_failure "a folder on no floor"
