#!/usr/bin/env bash
# Exchanges per second over a real USB bus: the tool's transport for `--device hid` (discovery,
# hidapi's write and timed read: usb_link_driver) against a bare write()/read() loop on the same
# hidraw node (hidraw_loop), both against a C echo on a USB HID gadget (usb_echo_gadget), in one
# run of the throw-away VM of scripts/usb-vm. Under TCG the absolute numbers mean little; the
# ratio is the figure: the tool's transport should be within 5 % of the bare loop.
#
# Usage: bench/usb_link.sh [BUILD_DIR]   (default build/native; `make bench` runs it)
# Environment: USB_LINK_ROUNDS (default 9), USB_LINK_COUNT (exchanges a round, default 2000).
set -euo pipefail

if [ "${1:-}" != "--in-vm" ]; then
    cd "$(dirname "$0")/.."
    build=$(realpath "${1:-build/native}")
    for p in usb_echo_gadget hidraw_loop usb_link_driver; do
        [ -x "$build/bin/$p" ] || { echo "usb_link: $build/bin/$p is missing (make native)" >&2; exit 1; }
    done
    exec scripts/usb-vm bench/usb_link.sh --in-vm "$build" "${USB_LINK_ROUNDS:-9}" \
        "${USB_LINK_COUNT:-2000}"
fi

# ---- In the VM ----
build=$2
rounds=$3
count=$4
g=/sys/kernel/config/usb_gadget/echo
mkdir -p "$g/strings/0x409" "$g/configs/c.1/strings/0x409" "$g/functions/hid.usb0"
echo 0x0416 >"$g/idVendor"
echo 0xb500 >"$g/idProduct"
echo echo >"$g/strings/0x409/product"
echo 0 >"$g/functions/hid.usb0/protocol"
echo 0 >"$g/functions/hid.usb0/subclass"
echo 64 >"$g/functions/hid.usb0/report_length"
# Vendor page, 64 bytes in and out, no report ids: the unit's own descriptor.
printf '\x06\x00\xff\x09\x01\xa1\x01\x15\x00\x26\xff\x00\x75\x08\x95\x40\x09\x01\x81\x02\x95\x40\x09\x01\x91\x02\xc0' \
    >"$g/functions/hid.usb0/report_desc"
ln -s "$g/functions/hid.usb0" "$g/configs/c.1/"
ls /sys/class/udc >"$g/UDC"
dev=$(cat "$g/functions/hid.usb0/dev")
hidg=""
for n in /sys/class/hidg/*; do [ "$(cat "$n/dev")" = "$dev" ] && hidg=/dev/${n##*/}; done
"$build/bin/usb_echo_gadget" "$hidg" &
hidraw=""
for _ in $(seq 1 100); do
    for n in /sys/class/hidraw/hidraw*; do
        grep -qi 'HID_ID=0003:00000416:0000B500' "$n/device/uevent" 2>/dev/null &&
            hidraw=/dev/${n##*/}
    done
    [ -n "$hidraw" ] && [ -c "$hidraw" ] && break
    sleep 0.1
done
[ -n "$hidraw" ] || { echo "usb_link: no hidraw node for the echo gadget"; exit 1; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rate() { "$@" | awk '/exchanges_per_second/ { print $2 }'; }
: >/tmp/bare
: >/tmp/tool
echo "round  bare hidraw loop  tool's transport  (exchanges/s, $count a round)"
for r in $(seq 1 "$rounds"); do
    # Alternated, so that a slow spell of the machine falls on both.
    bare=$(rate "$build/bin/hidraw_loop" "$hidraw" "$count")
    tool=$(rate "$build/bin/usb_link_driver" "$count")
    printf '%5d  %16s  %16s\n' "$r" "$bare" "$tool"
    echo "$bare" >>/tmp/bare
    echo "$tool" >>/tmp/tool
done
bare=$(median </tmp/bare)
tool=$(median </tmp/tool)
echo "median bare hidraw loop: $bare exchanges/s"
echo "median tool's transport: $tool exchanges/s"
awk -v t="$tool" -v b="$bare" 'BEGIN { printf "ratio tool/bare: %.3f (%+.1f %%)\n", t / b, (t / b - 1) * 100 }'
