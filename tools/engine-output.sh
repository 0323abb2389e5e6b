#!/usr/bin/env bash
# Writes what an engine reads from every real file into a folder: the table
# list, then every table through `query --raw`. Two engines agree when
# `diff -r` finds nothing between their folders:
#   tools/engine-output.sh OLD/kolta-engine /tmp/before
#   tools/engine-output.sh build/release/bin/kolta-engine /tmp/after
#   diff -r /tmp/before /tmp/after
set -euo pipefail
engine=$1
out=$2
mdb_dir=${KOLTA_MDB_DIR:-$(dirname "$0")/../../shared/mdb}
mkdir -p "$out"
for file in "$mdb_dir"/*; do
    case "$file" in *.mdb | *.accdb | *.mdw) ;; *) continue ;; esac
    name=$(basename "$file")
    status=0
    timeout 120 "$engine" tables "$file" >"$out/$name.tables" 2>&1 || status=$?
    echo "exit $status" >>"$out/$name.tables"
    # Table names are the lines that do not start with a tab.
    grep -v $'^\t' "$out/$name.tables" | grep -v '^exit ' | cut -f1 | while IFS= read -r table; do
        [ -z "$table" ] && continue
        safe=$(printf '%s' "$table" | tr '/ ' '__')
        status=0
        timeout 120 "$engine" query "$file" "SELECT * FROM [$table]" --raw >"$out/$name.$safe.rows" 2>&1 || status=$?
        echo "exit $status" >>"$out/$name.$safe.rows"
    done
done
