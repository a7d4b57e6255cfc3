#!/usr/bin/env bash
# First, `make install` (cmake --install) into a scratch prefix lays out the same files as
# the .deb, its copyright file carrying Kivrel's licence. Then, as root (skipped with a message
# otherwise), installs the .deb on this machine, checks what it put where, and removes it
# again: `kivrel --version` from PATH, the udev rule where udev reads it (and accepted by
# udev's own rule parser), the manual page, the completion and the licence; then `dpkg -r`
# takes every file away.
# Usage: deb_test.sh DEB NATIVE_BUILD_DIR
set -euo pipefail
export LC_ALL=C
deb=$(realpath "$1")
build=$2
rule=/usr/lib/udev/rules.d/70-kivrel.rules
files=(/usr/bin/kivrel "$rule" /usr/share/man/man1/kivrel.1.gz
       /usr/share/bash-completion/completions/kivrel /usr/share/doc/kivrel/copyright)

fail() { echo "FAIL: $*" >&2; exit 1; }
licence=$(realpath "$(dirname "$0")/../../LICENSE")
# The licence's whole text in FILE, and the text as written (no line begun by a CMake list
# separator).
has_licence() {
    python3 - "$licence" "$1" <<'EOF'
import sys
licence, text = (open(path, encoding="utf-8").read() for path in sys.argv[1:])
sys.exit(0 if licence in text and "\n;" not in text else 1)
EOF
}

scratch=$(mktemp -d)
DESTDIR= cmake --install "$build" --prefix "$scratch/usr" >/dev/null
diff <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||' | sort) \
     <(cd "$scratch" && find . -type f | sed 's|^\.||' | sort) ||
    fail "make install and the .deb lay out different files (< .deb, > make install)"
has_licence "$scratch/usr/share/doc/kivrel/copyright" || fail "the copyright file lacks the licence"
rm -rf "$scratch"

if [ "$(id -u)" -ne 0 ]; then
    echo "deb test skipped: installing a package needs root (CI runs as root)"
    exit 0
fi
if dpkg-query -W -f='${Status}' kivrel 2>/dev/null | grep -q 'ok installed'; then
    echo "deb test skipped: a kivrel package is already installed here and would be replaced"
    exit 0
fi

trap 'dpkg -P kivrel >/dev/null 2>&1 || true' EXIT

version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "kivrel_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
dpkg-deb -f "$deb" Depends | grep -q libhidapi-hidraw0 || fail "Depends lacks hidapi"
dpkg -i "$deb" >/dev/null

# The tool, from PATH, in a shell that knows nothing of the build tree.
[ "$(env -i PATH=/usr/local/bin:/usr/bin:/bin bash -c 'command -v kivrel')" = /usr/bin/kivrel ] ||
    fail "kivrel is not on PATH"
[ "$(env -i PATH=/usr/bin:/bin kivrel --version)" = "kivrel $version" ] || fail "kivrel --version"
for f in "${files[@]}"; do [ -f "$f" ] || fail "$f not installed"; done
has_licence /usr/share/doc/kivrel/copyright || fail "the installed copyright file lacks the licence"

# udev's own parser reads every rules file when it simulates an event; a device without a
# node (a CPU) and a private /run keep the simulation from leaving anything behind. Errors
# come out as "FILE:LINE message".
if command -v udevadm >/dev/null; then
    log=$(mktemp)
    simulate='udevadm test --action=add /sys/devices/system/cpu/cpu0'
    unshare --mount sh -c "mount -t tmpfs none /run && $simulate" >"$log" 2>&1 ||
        $simulate >"$log" 2>&1 || { cat "$log"; fail "udevadm test did not run"; }
    grep -qx "Reading rules file: $rule" "$log" || { cat "$log"; fail "udev does not read $rule"; }
    if grep "^$rule:" "$log"; then fail "udev finds faults in $rule"; fi
    rm -f "$log"
else
    echo "note: udevadm is not installed; the rule's syntax was not checked"
fi

# The manual page, as `man kivrel` shows it.
page=$(MANPAGER=cat MANWIDTH=80 man kivrel 2>/dev/null) || fail "man kivrel"
for text in "kivrel - read and update GPS speed-camera units" "COMMANDS" "kivrel update" \
            "70-kivrel.rules" "kivrel $version"; do
    grep -qF -- "$text" <<<"$page" || fail "the manual page lacks \"$text\""
done

# Completion loads and is bound to the command.
bash -c "source /usr/share/bash-completion/completions/kivrel && complete -p kivrel" |
    grep -q _kivrel || fail "completion"

dpkg -r kivrel >/dev/null
for f in "${files[@]}"; do [ ! -e "$f" ] || fail "$f left behind by dpkg -r"; done
[ -z "$(command -v kivrel)" ] || fail "kivrel still on PATH"
echo "deb test passed: $(basename "$deb") installs, runs, and is removed"
