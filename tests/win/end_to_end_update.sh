#!/usr/bin/env bash
# Kivrel.exe as an owner uses it: started with an update file and a simulated unit, its
# Update button, the province question's No and the success box's OK clicked with the mouse
# from outside the process, then closed. The unit's banks and the trace must be those `kivrel update` leaves on a copy
# of the same unit.
#
# Usage: end_to_end_update.sh Kivrel.exe kivrel.exe window_driver.exe
# Runs under Xvfb (DISPLAY set) with WINEPREFIX prepared by `make wine-prefix`.
set -euo pipefail

gui=$(realpath "$1")
cli=$(realpath "$2")
driver=$(realpath "$3")
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

winpath() { echo "Z:${1//\//\\}"; }
drive() { wine "$driver" "$@" | tr -d '\r'; }
click() {  # click at "X Y"
    read -r x y <<<"$1"
    xdotool mousemove "$x" "$y" click 1
}

wine "$cli" sim create "$(winpath "$work/window-unit")" >/dev/null
wine "$cli" pack "$(winpath "$work/camera.qdx")" --sample >/dev/null
cp -r "$work/window-unit" "$work/cli-unit"

wine "$gui" "$(winpath "$work/camera.qdx")" --device "sim:$(winpath "$work/window-unit")" \
    --trace "$(winpath "$work/window.trace")" --version-url "http://127.0.0.1:9/none.txt" &
app=$!

title=$(drive wait-title "GPS Connected" 60) || { echo "not connected: $title"; exit 1; }
echo "title: $title"
drive wait-enabled 1002 30 >/dev/null || { echo "Update never enabled"; exit 1; }
click "$(drive center 1002)"

# The sample carries a province table: the window asks, and No sends the national package,
# as the command line does without --provinces.
question=$(drive wait-box 60 7) || { echo "no province question"; exit 1; }
echo "question: $(head -n 1 <<<"$question")"
click "$(tail -n 1 <<<"$question")"

box=$(drive wait-box 120) || { echo "no message box"; exit 1; }
text=$(head -n 1 <<<"$box")
echo "box: $text"
[ "$text" = "Update Successfully!" ] || { echo "expected the success box"; exit 1; }
click "$(tail -n 1 <<<"$box")"
drive wait-enabled 1002 30 >/dev/null || { echo "Update not enabled again"; exit 1; }
click "$(drive center 1008)"
drive gone 30 >/dev/null || { echo "the window did not close"; exit 1; }
wait "$app"

wine "$cli" update "$(winpath "$work/camera.qdx")" --device "sim:$(winpath "$work/cli-unit")" \
    --trace "$(winpath "$work/cli.trace")" --yes >/dev/null 2>&1

cmp "$work/window-unit/bank0.bin" "$work/cli-unit/bank0.bin"
cmp "$work/window-unit/bank1.bin" "$work/cli-unit/bank1.bin"
if ! diff -q "$work/window.trace" "$work/cli.trace" >/dev/null; then
    echo "the traces differ:"
    diff <(cut -c1-60 "$work/window.trace") <(cut -c1-60 "$work/cli.trace") | head -20
    exit 1
fi
echo "same banks and same trace ($(wc -l <"$work/window.trace") reports)"
