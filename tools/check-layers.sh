#!/usr/bin/env bash
# Fails on an include that reaches from a folder of src/ into one above it
# (or beside it: the window folders know nothing of each other). The order,
# bottom up; folders on one line are beside each other.
set -euo pipefail
cd "$(dirname "$0")/../src"

rank_of() {
    case "$1" in
        base) echo 0 ;;
        jet | jetsql) echo 1 ;;
        engine | core) echo 2 ;;
        ui) echo 3 ;;
        browse | query | pagegen | about) echo 4 ;;
        app) echo 5 ;;
        *) echo "" ;;
    esac
}

# Where each header lives (file names are unique across src/); a uic header
# lives with its form.
declare -A home
while IFS= read -r path; do
    name=$(basename "$path")
    case "$name" in *.ui) name="ui_${name%.ui}.h" ;; esac
    home[$name]=$(dirname "$path")
done < <(find . -mindepth 2 \( -name '*.h' -o -name '*.ui' \) -printf '%P\n')

bad=0
while IFS= read -r path; do
    from=$(dirname "$path")
    from_rank=$(rank_of "$from")
    if [ -z "$from_rank" ]; then
        echo "$path: the folder $from has no place in the layers (tools/check-layers.sh)"
        bad=$((bad + 1))
        continue
    fi
    while IFS= read -r header; do
        to=${home[$header]:-}
        [ -z "$to" ] || [ "$to" = "$from" ] && continue
        to_rank=$(rank_of "$to")
        if [ "$to_rank" -ge "$from_rank" ]; then
            echo "$path includes $to/$header, which is not below $from"
            bad=$((bad + 1))
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$path")
done < <(find . -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) -printf '%P\n')

if [ "$bad" -ne 0 ]; then
    echo "$bad includes cross the layers upward."
    exit 1
fi
echo "Layers: no include crosses upward."
