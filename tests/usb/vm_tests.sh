#!/usr/bin/env bash
# The tests over a real USB bus, run as root inside the VM of scripts/usb-vm (run_vm_tests.sh
# starts it): the simulated unit served on a USB HID gadget (dummy_hcd), the tool through the
# kernel's hidraw and hidapi, and the Windows programs through Wine's HID bus over the same
# node. Each command's trace and the banks it leaves must be what the same command leaves over
# the in-process unit; faults (unplugging, a slow unit, a busy machine, a node the user may not
# open) must end as the tool promises.
#
# Usage: vm_tests.sh REPO [--skip-windows]
set -uo pipefail

repo=$(realpath "$1")
skip_windows=${2:-}
bin=$repo/build/native/bin
gadget_bin=$bin/usb_gadget_unit
# Every run of the tool has a bound: a hang is a failure, not a stuck VM.
kivrel() { timeout 180 "$bin/kivrel" "$@"; }
work=/tmp/usb-tests
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

passed=0
failed=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
check() {  # check NAME COMMAND...: PASS when COMMAND succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
elapsed() { echo "$((SECONDS - $1))s"; }

# ---- The gadget ----
gadget_pid=""
hidraw=""
# The unit's hidraw node, once the host has bound the gadget.
find_hidraw() {
    local n
    for n in /sys/class/hidraw/hidraw*; do
        [ -e "$n/device/uevent" ] || continue
        if grep -qi 'HID_ID=0003:00000416:0000B500' "$n/device/uevent"; then
            echo "/dev/${n##*/}"
            return 0
        fi
    done
    return 1
}
wait_hidraw() {  # until the node is there and opens
    local i
    for i in $(seq 1 150); do
        if hidraw=$(find_hidraw) && [ -c "$hidraw" ]; then return 0; fi
        sleep 0.1
    done
    echo "no hidraw node for the gadget"
    return 1
}
wait_no_hidraw() {
    local i
    for i in $(seq 1 100); do
        find_hidraw >/dev/null || return 0
        sleep 0.1
    done
    return 1
}
start_gadget() {  # start_gadget DIR [OPTIONS...]
    local dir=$1
    shift
    "$gadget_bin" "$dir" --gadget kivrel --log "$work/gadget.log" "$@" 2>"$work/gadget.err" &
    gadget_pid=$!
    wait_hidraw || { cat "$work/gadget.err"; return 1; }
}
# Stops the gadget; false when the unit saw a command out of step or a violation.
stop_gadget() {
    [ -n "$gadget_pid" ] || return 0
    kill -TERM "$gadget_pid" 2>/dev/null
    wait "$gadget_pid" 2>/dev/null
    gadget_pid=""
    wait_no_hidraw
    if grep -q '^violation\|^out_of_step [1-9]' "$work/gadget.log"; then
        sed 's/^/  gadget: /' "$work/gadget.log"
        return 1
    fi
    return 0
}
trap 'stop_gadget >/dev/null 2>&1' EXIT

same_banks() { cmp -s "$1/bank0.bin" "$2/bank0.bin" && cmp -s "$1/bank1.bin" "$2/bank1.bin"; }
same_trace() {
    if cmp -s "$1" "$2"; then return 0; fi
    echo "  traces differ ($(wc -l <"$1") and $(wc -l <"$2") reports), first difference:"
    diff <(cut -c1-64 "$1") <(cut -c1-64 "$2") | head -6 | sed 's/^/  /'
    return 1
}
unit_json() {  # unit_json DIR EXTRA_KEYS
    printf '{"boot_version": 1011, "capacity": %s%s}\n' "$capacity" "$2" >"$1/unit.json"
}

# ---- Fixtures ----
capacity=$((0x1000000))
kivrel sim create "$work/blank" --capacity "$capacity" >/dev/null || exit 1
kivrel pack "$work/laid-out.qdx" --sample --sample-models 1 >/dev/null || exit 1
kivrel pack "$work/fixed.qdx" --sample --sample-models 1 --compact-models >/dev/null || exit 1
fresh() { rm -rf "$1" && cp -r "$work/blank" "$1"; }

# udevd from the start: Wine's HID bus learns of the gadget through it, and the rule's test
# reads its tags.
for udevd in /lib/systemd/systemd-udevd /usr/lib/systemd/systemd-udevd; do
    [ -x "$udevd" ] && break
done
mkdir -p /run/udev/rules.d
cp "$repo/packaging/70-kivrel.rules" /run/udev/rules.d/
"$udevd" --daemon 2>/dev/null
udevadm settle --timeout=30
if [ "$skip_windows" != "--skip-windows" ]; then
    # shellcheck source=tests/usb/vm_windows_tests.sh
    . "$repo/tests/usb/vm_windows_tests.sh"
    windows_start
fi

# Runs the same command on a copy of START over the in-process unit and over the gadget;
# passes when both succeed (or both fail alike) with the same trace and the same banks.
# same_as_in_process NAME START [GADGET_OPTIONS --] ARGS...
same_as_in_process() {
    local name=$1 start=$2 opts=()
    shift 2
    while [ $# -gt 0 ] && [ "$1" != "--" ] && [[ "$1" == --no-out-endpoint ]]; do
        opts+=("$1")
        shift
    done
    [ "${1:-}" = "--" ] && shift
    local t=$SECONDS
    rm -rf "$work/local" "$work/usb" "$work/local.trace" "$work/usb.trace"
    cp -r "$start" "$work/local" && cp -r "$start" "$work/usb"
    kivrel --device "sim:$work/local" --trace "$work/local.trace" --yes "$@" \
        >"$work/local.out" 2>&1
    local local_status=$?
    start_gadget "$work/usb" "${opts[@]}" || { fail "$name (no gadget)"; return; }
    kivrel --device hid --trace "$work/usb.trace" --yes "$@" >"$work/usb.out" 2>&1
    local usb_status=$?
    local gadget_ok=0
    stop_gadget || gadget_ok=1
    if [ "$local_status" != "$usb_status" ]; then
        echo "  status $local_status in process, $usb_status over USB:"
        sed 's/^/  /' "$work/usb.out" | tail -5
        fail "$name"
    elif ! same_trace "$work/local.trace" "$work/usb.trace" || ! same_banks "$work/local" "$work/usb" ||
        [ $gadget_ok != 0 ]; then
        fail "$name"
    else
        pass "$name ($(wc -l <"$work/usb.trace") reports, $(elapsed $t))"
    fi
}

echo "== the tool over hidraw: each trace and the banks as over the in-process unit"
same_as_in_process "info" "$work/blank" -- info
same_as_in_process "update, fixed layout" "$work/blank" -- update "$work/fixed.qdx"
cp -r "$work/usb" "$work/fixed-updated"
same_as_in_process "update, laid-out unit" "$work/blank" -- update "$work/laid-out.qdx"
cp -r "$work/usb" "$work/laid-out-updated"
same_as_in_process "regional update" "$work/laid-out-updated" -- \
    update "$work/laid-out.qdx" --provinces 0,27
same_as_in_process "settings set" "$work/laid-out-updated" -- settings set time_zone=8
same_as_in_process "update --dry-run" "$work/laid-out-updated" -- \
    update "$work/laid-out.qdx" --dry-run
# A unit whose interface has no interrupt OUT endpoint gets its reports as SET_REPORT
# requests on the control pipe. (usb_f_hid keeps one such report until the gadget reads it, so
# a data phase's reports, sent back to back, can overwrite each other there: only the reading,
# one report at a time, is a fair test of the path.)
same_as_in_process "info, unit without an OUT endpoint" "$work/laid-out-updated" \
    --no-out-endpoint -- info
kivrel --device "sim:$work/fixed-updated" --trace "$work/idle.trace" info >/dev/null 2>&1
# The reference for the fault cases: a clean update's trace and banks.
fresh "$work/ref" && kivrel --device "sim:$work/ref" --trace "$work/ref.trace" --yes \
    update "$work/fixed.qdx" >/dev/null 2>&1

echo "== unplugged in the middle of a write, plugged in again and retried"
t=$SECONDS
fresh "$work/unplug"
# Report 250 of a clean update (364 reports) lies within the database's write.
unit_json "$work/unplug" ', "disconnect_after_reports": 250'
start_gadget "$work/unplug" || fail "unplugged: no gadget"
begun=$SECONDS
kivrel --device hid --yes --timeout-ms 5000 update "$work/fixed.qdx" \
    >"$work/unplug.out" 2>"$work/unplug.err"
status=$?
took=$((SECONDS - begun))
if [ $status = 1 ] && ! grep -q Successfully "$work/unplug.out" "$work/unplug.err" &&
    grep -q 'Update Failed' "$work/unplug.out" "$work/unplug.err"; then
    pass "unplugged: the update fails with its text, no success (${took}s)"
else
    echo "  status $status:"
    sed 's/^/  /' "$work/unplug.err" | tail -5
    fail "unplugged: the update fails with its text"
fi
[ $took -le 15 ] && pass "unplugged: failed within the bound" || fail "unplugged: took ${took}s"
[ -n "$gadget_pid" ] && kill -USR1 "$gadget_pid"
wait_hidraw
kivrel --device hid --yes update "$work/fixed.qdx" >"$work/replug.out" 2>&1
status=$?
stop_gadget
check "plugged in again: the retry succeeds" [ $status = 0 ]
check "plugged in again: banks as a clean update's" same_banks "$work/unplug" "$work/ref"
echo "  ($(elapsed $t))"

echo "== a slow unit"
t=$SECONDS
fresh "$work/slow"
unit_json "$work/slow" ', "first_answer_ms": 1500, "slow_answers": 3'
start_gadget "$work/slow"
kivrel --device hid --trace "$work/slow.trace" --yes update "$work/fixed.qdx" \
    >"$work/slow.out" 2>&1
status=$?
stop_gadget
gadget_ok=$?
check "slow first answers: the update succeeds" [ $status = 0 ]
check "slow first answers: no command out of step" [ $gadget_ok = 0 ]
check "slow first answers: the idle run's trace" same_trace "$work/ref.trace" "$work/slow.trace"
check "slow first answers: the idle run's banks" same_banks "$work/slow" "$work/ref"
echo "  ($(elapsed $t))"

t=$SECONDS
fresh "$work/busy"
start_gadget "$work/busy"
busy=()
for _ in $(seq 1 $(($(nproc) * 2))); do
    (while :; do :; done) &
    busy+=($!)
done
kivrel --device hid --trace "$work/busy.trace" --yes update "$work/fixed.qdx" \
    >"$work/busy.out" 2>&1
status=$?
kill "${busy[@]}" 2>/dev/null
wait "${busy[@]}" 2>/dev/null
stop_gadget
gadget_ok=$?
check "busy CPUs: the update succeeds" [ $status = 0 ]
check "busy CPUs: no command out of step" [ $gadget_ok = 0 ]
check "busy CPUs: the idle run's trace" same_trace "$work/ref.trace" "$work/busy.trace"
check "busy CPUs: the idle run's banks" same_banks "$work/busy" "$work/ref"
echo "  ($(elapsed $t))"

echo "== Linux permissions: the shipped rule, and a user without and with access"
t=$SECONDS
fresh "$work/perm"
start_gadget "$work/perm"
udevadm settle --timeout=30
check "the rule tags the unit's node uaccess" \
    bash -c "udevadm info '$hidraw' | grep -q 'TAGS=.*:uaccess:'"
chmod 0600 "$hidraw" && chown root:root "$hidraw"
id owner >/dev/null 2>&1 || useradd -M -d "$work/home" owner
mkdir -p "$work/home" && chown owner "$work/home"
as_owner() { setpriv --reuid owner --regid owner --init-groups env HOME="$work/home" "$@"; }
as_owner timeout 180 "$bin/kivrel" --device hid --yes update "$work/fixed.qdx" >"$work/perm.out" 2>"$work/perm.err"
status=$?
if [ $status = 1 ] && grep -q '70-kivrel.rules\|uaccess' "$work/perm.err"; then
    pass "without access: the text names the rule"
else
    echo "  status $status:"
    sed 's/^/  /' "$work/perm.err" | tail -5
    fail "without access: the text names the rule"
fi
setfacl -m u:owner:rw "$hidraw"
as_owner timeout 180 "$bin/kivrel" --device hid --yes update "$work/fixed.qdx" >"$work/perm.out" 2>"$work/perm.err"
status=$?
stop_gadget
check "with the access logind would grant: the update succeeds" [ $status = 0 ]
check "with access: banks as a clean update's" same_banks "$work/perm" "$work/ref"
echo "  ($(elapsed $t))"

[ "$skip_windows" != "--skip-windows" ] && windows_tests

echo "$passed passed, $failed failed"
[ $failed = 0 ]
