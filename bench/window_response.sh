#!/usr/bin/env bash
# How long Kivrel.exe's window takes to answer a message sent from another process while it
# writes an update of the largest size into a simulated unit, under Wine and Xvfb. The unit
# is paced at ten times the wire's speed (a report every 100 us), so progress arrives ten
# times as often as from a real unit, for the whole length of a write. Goal: the worst answer
# under 50 ms.
# Usage: bench/window_response.sh NATIVE_BUILD [WINDOWS_BUILD]   (default: its sibling "windows")
set -euo pipefail
native=$(realpath "${1:?native build dir}")
windows=$(realpath -m "${2:-$(dirname "$native")/windows}")
if [ ! -x "$windows/bin/window_probe.exe" ]; then
  echo "window_response: no Windows build in $windows (make windows); skipped"
  exit 0
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$(dirname "$windows")/wine}
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

part() { head -c "$2" /dev/urandom > "$work/$1"; }
part base $((32 * 1024))
part resource $((800 * 1024))
part database $((5256 * 1024))
part main $((2 * 1024 * 1024))
"$native/bin/kivrel" pack "$work/max.qdx" --base "$work/base" --resource "$work/resource" \
  --database "$work/database" --main "$work/main" >/dev/null
"$native/bin/kivrel" sim create "$work/unit" >/dev/null
echo '{"boot_version": 1011, "capacity": 16777216, "frame_us": 100}' > "$work/unit/unit.json"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine "$1" "Z:$2/max.qdx" --device "sim:Z:$2/unit" --version-url http://127.0.0.1:9/none.zip &
  wine "$3"
' bench "$windows/bin/Kivrel.exe" "$work" "$windows/bin/window_probe.exe" | tr -d '\r' |
  sed 's/^/Kivrel.exe window, max-size update: /'
