#!/usr/bin/env bash
# The tests over a real USB bus (`make test-usb`, part of `make check`): boots the throw-away
# VM of scripts/usb-vm and runs tests/usb/vm_tests.sh in it against this tree's builds. Prints
# the guest's console; fails when a test there fails or the guest does not come back.
#
# Usage: tests/usb/run_vm_tests.sh [--skip-windows]
set -euo pipefail
cd "$(dirname "$0")/../.."
for built in build/native/bin/kivrel build/native/bin/usb_gadget_unit; do
    [ -x "$built" ] || { echo "run_vm_tests: $built is missing (make native)" >&2; exit 1; }
done
start=$SECONDS
status=0
scripts/usb-vm tests/usb/vm_tests.sh "$PWD" "$@" || status=$?
echo "run_vm_tests: the VM run took $((SECONDS - start)) s"
exit $status
