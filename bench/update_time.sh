#!/usr/bin/env bash
# Wall time of `kivrel update` for a maximum-size update on a simulated unit paced as the wire
# is (frame_us 1000: every report, either way, takes one 1 ms frame; erases take 50 ms a
# sector), beside the least time the protocol allows: every command, data and reply report of
# the run (counted in a trace of the same update) at one per frame, plus the erase time the unit
# needs. Goal: within 2 % of it. Also says where the rest goes: starting the program and
# loading the file, the reading before the writes, and what is left per report.
# Usage: bench/update_time.sh BUILD_DIR
set -euo pipefail
build=${1:?build dir}
kivrel="$build/bin/kivrel"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frame_us=1000
erase_ms=50
capacity=16777216

# Every section at the largest the fixed layout takes (as bench_device_write), one model at its
# largest data, in an extended table: the layout is stored, and the 64 KiB the model leaves
# empty at the base (16 sectors) is erased.
part() { head -c "$2" /dev/urandom > "$work/$1"; }
part base $((32 * 1024))
part resource $((800 * 1024))
part database $((5256 * 1024))
part main $((2 * 1024 * 1024))
part model $((32 * 1024))
"$kivrel" pack "$work/max.qdx" --base "$work/base" --resource "$work/resource" \
  --database "$work/database" --main "$work/main" --model "KV01=$work/model" \
  --model-layout "KV01=65536,0x101,0" >/dev/null

unit() {  # unit DIR FRAME_US ERASE_MS
  "$kivrel" sim create "$1" --capacity "$capacity" >/dev/null
  printf '{"boot_version": 1011, "capacity": %d, "frame_us": %d, "erase_ms_per_sector": %d}\n' \
    "$capacity" "$2" "$3" > "$1/unit.json"
}
seconds() { date +%s.%N; }

# The same update on an unpaced unit, traced: which reports and erases the run is made of.
unit "$work/counted" 0 0
"$kivrel" --device "sim:$work/counted" --trace "$work/trace" update "$work/max.qdx" --yes \
  >/dev/null 2>&1
read -r reports sectors reading <<<"$(python3 - "$work/trace" <<'EOF'
import sys
lines = [line.split()[1] for line in open(sys.argv[1])]
reports, sectors, reading, at = len(lines), 0, None, 0
while at < len(lines):
    frame = bytes.fromhex(lines[at])
    code, word_b = frame[1], int.from_bytes(frame[7:11], "little")
    if code in (0xF1, 0xF3) and reading is None:
        reading = at  # the reports of the reading before the first write or erase
    if code == 0xF1:
        sectors += word_b
    at += 6 if code == 0xF2 else 2 + 4 * word_b if code == 0xF3 else 2
print(reports, sectors, reading)
EOF
)"
least=$(awk "BEGIN { print $reports * $frame_us / 1e6 + $sectors * $erase_ms / 1e3 }")

# Where the time goes besides the reports: starting the program, loading the file (inspect),
# and the reading alone on a paced unit (info), each the least of three runs.
timed() {
  local t0; t0=$(seconds)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk "BEGIN { print $(seconds) - $t0 }"
}
least_of_3() { printf '%s\n' "$(timed "$@")" "$(timed "$@")" "$(timed "$@")" | sort -g | head -n 1; }
start=$(least_of_3 "$kivrel" --version)
load=$(awk "BEGIN { print $(least_of_3 "$kivrel" inspect "$work/max.qdx") - $start }")
unit "$work/read" $frame_us $erase_ms
read_s=$(least_of_3 "$kivrel" --device "sim:$work/read" info)
# The whole update on the paced unit.
unit "$work/paced" $frame_us $erase_ms
wall=$(timed "$kivrel" --device "sim:$work/paced" update "$work/max.qdx" --yes)

size_mib=$(awk "BEGIN { printf \"%.1f\", $(stat -c %s "$work/max.qdx") / 1048576 }")
awk -v wall="$wall" -v least="$least" -v reports="$reports" -v sectors="$sectors" \
    -v erase_ms="$erase_ms" -v start="$start" -v load="$load" -v read_s="$read_s" \
    -v reading="$reading" -v frame_us="$frame_us" -v size="$size_mib" 'BEGIN {
  over = wall - least
  pct = 100 * over / least
  verdict = pct <= 2 ? "within" : "OVER"
  printf "kivrel update of a %s MiB file on a unit paced at %d us a report, %d ms an erased sector: %.2f s\n", size, frame_us, erase_ms, wall
  printf "  least the protocol allows: %.2f s (%d reports, %d sectors erased)\n", least, reports, sectors
  printf "  %.2f s over it (%.2f %%), %s the goal of 2 %%\n", over, pct, verdict
  read_over = read_s - start - reading * frame_us / 1e6
  rest = over - start - load - read_over
  printf "  where it goes: %.3f s starting, %.3f s loading the file, %.3f s in the reading beyond its %d reports,\n", start, load, read_over, reading
  printf "  %.3f s in the rest of the run (%.1f us a report)\n", rest, rest / reports * 1e6
}'
