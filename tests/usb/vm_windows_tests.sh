# The Windows programs over Wine's HID bus, in the VM of vm_tests.sh (sourced by it; udevd is
# running there, so Wine's winebus finds the gadget's hidraw node through udev). kivrel.exe's
# info and update must exchange what the in-process unit's do; Kivrel.exe, started without a
# unit, must connect when the gadget is bound (WM_DEVICECHANGE), write the update, and fail
# cleanly when the unit is unbound during a run, its title going back.
#
# Wine starts slowly under TCG: windows_start brings it up in the background while the native
# tests run, and windows_tests waits for it.

win=$repo/build/windows/bin
cli_exe=$win/cli/kivrel.exe
gui_exe=$win/Kivrel.exe
driver=$win/window_driver.exe
export WINEPREFIX=$repo/build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { echo "Z:${1//\//\\}"; }
wine_ready=1
wine_up_pid=""

windows_start() {
    local needed
    for needed in "$cli_exe" "$gui_exe" "$driver" "$WINEPREFIX/system.reg"; do
        [ -e "$needed" ] || { echo "  missing $needed (make windows wine-prefix)"; wine_ready=0; }
    done
    [ $wine_ready = 1 ] || return 0
    Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:7
    # winebus serves the unit, a plain HID device, from its hidraw node; SDL would only claim
    # game controllers. Written into the prefix (the guest's copy) before Wine first reads it.
    sed -i '/^\[System\\\\CurrentControlSet\\\\Services\\\\winebus\] /a "DisableHidraw"=dword:00000000\n"Enable SDL"=dword:00000000' \
        "$WINEPREFIX/system.reg"
    # One wineserver, with its device services, for the whole part.
    (wineserver -p && wine cmd /c exit >/dev/null 2>&1) &
    wine_up_pid=$!
}

windows_tests() {
echo "== the Windows programs over Wine's HID bus"
t=$SECONDS
[ -n "$wine_up_pid" ] && wait "$wine_up_pid"
if [ $wine_ready = 1 ]; then
    echo "  Wine up ($(elapsed $t) more)"

    # kivrel.exe, as the native tool: same trace and banks as over the in-process unit.
    win_same_as_in_process() {  # NAME START ARGS...
        local name=$1 start=$2 t1=$SECONDS
        shift 2
        rm -rf "$work/local" "$work/usb" "$work/local.trace" "$work/usb.trace"
        cp -r "$start" "$work/local" && cp -r "$start" "$work/usb"
        kivrel --device "sim:$work/local" --trace "$work/local.trace" --yes "$@" \
            >"$work/local.out" 2>&1
        local local_status=$?
        start_gadget "$work/usb" || { fail "$name (no gadget)"; return; }
        local args=() a
        for a in "$@"; do
            [ -e "$a" ] && a=$(winpath "$a")
            args+=("$a")
        done
        timeout 300 wine "$cli_exe" --device hid --trace "$(winpath "$work/usb.trace")" --yes \
            "${args[@]}" >"$work/usb.out" 2>&1
        local usb_status=$?
        local gadget_ok=0
        stop_gadget || gadget_ok=1
        touch "$work/usb.trace"
        if [ "$local_status" != "$usb_status" ]; then
            echo "  status $local_status in process, $usb_status through Wine:"
            tr -d '\r' <"$work/usb.out" | tail -5 | sed 's/^/  /'
            fail "$name"
        elif ! same_trace "$work/local.trace" "$work/usb.trace" ||
            ! same_banks "$work/local" "$work/usb" || [ $gadget_ok != 0 ]; then
            fail "$name"
        else
            pass "$name ($(wc -l <"$work/usb.trace") reports, $(elapsed $t1))"
        fi
    }
    win_same_as_in_process "kivrel.exe info" "$work/blank" info
    win_same_as_in_process "kivrel.exe update" "$work/blank" update "$work/fixed.qdx"

    # Kivrel.exe: no unit at its start, then the gadget bound.
    drive() { timeout 200 wine "$driver" "$@" 2>/dev/null | tr -d '\r'; }
    click() {
        local x y
        read -r x y <<<"$1"
        xdotool mousemove "$x" "$y" click 1
    }
    t1=$SECONDS
    fresh "$work/window"
    wine "$gui_exe" "$(winpath "$work/fixed.qdx")" --version-url "http://127.0.0.1:9/none.txt" \
        >/dev/null 2>&1 &
    app=$!
    # Started, and not connected: no unit yet.
    title=$(drive wait-title "Update Tool" 120)
    check "Kivrel.exe without a unit: \"$title\"" \
        bash -c "[ -n '$title' ] && [[ '$title' != *Connected* ]]"
    start_gadget "$work/window"
    connected=0
    title=$(drive wait-title "GPS Connected" 120) && connected=1
    check "Kivrel.exe: the gadget bound, the title goes to \"$title\" through WM_DEVICECHANGE" \
        [ $connected = 1 ]
    # Update; the sample's province question answered No (the national package), as
    # `kivrel update` does without --provinces.
    update_button=""
    update_in_window() {
        [ -n "$update_button" ] || update_button=$(drive center 1002)
        click "$update_button"
        local question box
        question=$(drive wait-box 120 7) && click "$(tail -n 1 <<<"$question")"
        box=$(drive wait-box 300)
        text=$(head -n 1 <<<"$box")
        [ -n "$box" ] && click "$(tail -n 1 <<<"$box")"
    }
    if [ $connected = 1 ] && drive wait-enabled 1002 60 >/dev/null; then
        update_in_window
        check "Kivrel.exe Update: \"$text\"" [ "$text" = "Update Successfully!" ]
    else
        fail "Kivrel.exe Update: never enabled"
    fi
    stop_gadget
    check "Kivrel.exe Update: banks as a clean update's" same_banks "$work/window" "$work/ref"
    # (Also what the next part starts from: the window has seen the unit go.)
    back=0
    title=$(drive wait-title "No hardware" 60) && back=1
    check "Kivrel.exe: the gadget unbound, the title goes back to \"$title\"" [ $back = 1 ]

    # Unbound during a run: the run fails and the title goes back.
    fresh "$work/window2"
    unit_json "$work/window2" ', "disconnect_after_reports": 250'
    start_gadget "$work/window2"
    if drive wait-title "GPS Connected" 120 >/dev/null && drive wait-enabled 1002 60 >/dev/null; then
        update_in_window
        check "Kivrel.exe unbound during the run: \"$text\"" \
            bash -c "[ -n '$text' ] && [ '$text' != 'Update Successfully!' ]"
        back=0
        title=$(drive wait-title "No hardware" 60) && back=1
        check "Kivrel.exe unbound during the run: the title goes back to \"$title\"" \
            [ $back = 1 ]
    else
        fail "Kivrel.exe unbound during the run: never connected"
    fi
    stop_gadget
    wineserver -k 2>/dev/null
    wait "$app" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    echo "  ($(elapsed $t1) for the window)"
else
    fail "the Windows programs: not built"
fi
}
