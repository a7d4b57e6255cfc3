#!/usr/bin/env bash
# Peak memory of `kivrel update` for an update file with every section at its limit, beside
# the file's size. Goal: peak resident memory <= file size + 32 MiB.
# Usage: bench/update_memory.sh BUILD_DIR
set -euo pipefail
build=${1:?build dir}
kivrel="$build/bin/kivrel"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

part() { head -c "$2" /dev/urandom > "$work/$1"; }
part base $((32 * 1024))
part resource $((800 * 1024))
part database $((5256 * 1024))
for p in main alt-main regional-main regional-alt-main; do part "$p" $((2 * 1024 * 1024)); done
models=()
for i in $(seq 1 40); do
  id=$(printf 'M%03d' "$i")
  part "model$i" 32768
  models+=(--model "$id=$work/model$i")
done
"$kivrel" pack "$work/max.qdx" --base "$work/base" --resource "$work/resource" \
  --database "$work/database" --main "$work/main" --alt-main "$work/alt-main" \
  --regional-main "$work/regional-main" --regional-alt-main "$work/regional-alt-main" \
  "${models[@]}" --compact-models >/dev/null
"$kivrel" sim create "$work/unit" >/dev/null

size=$(stat -c %s "$work/max.qdx")
peak_kb=$(/usr/bin/time -f %M "$kivrel" --device "sim:$work/unit" update "$work/max.qdx" --yes \
          2>&1 >/dev/null | tail -n 1)
size_mib=$(awk "BEGIN { printf \"%.1f\", $size / 1048576 }")
peak_mib=$(awk "BEGIN { printf \"%.1f\", $peak_kb / 1024 }")
limit_mib=$(awk "BEGIN { printf \"%.1f\", $size / 1048576 + 32 }")
verdict=$(awk "BEGIN { print ($peak_kb / 1024 <= $size / 1048576 + 32) ? \"within\" : \"OVER\" }")
echo "kivrel update of a ${size_mib} MiB file: peak resident ${peak_mib} MiB, ${verdict} the goal of ${limit_mib} MiB"
