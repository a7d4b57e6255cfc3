#!/usr/bin/env bash
# The Windows installer under Wine, in a throw-away prefix made once per run: a silent install
# puts the staged files (Kivrel's licence among them) under Program Files, a Start menu
# shortcut to Kivrel.exe, the .qdx type and the Apps & features entry; a silent uninstall takes
# away every file and key the install added, and gives back a .qdx type that belonged to
# another program. The zip built beside the installer must carry the licence too.
# Usage: installer_test.sh SETUP.exe VERSION WORK_DIR (WORK_DIR/../stage holds what it ships)
set -euo pipefail
export LC_ALL=C  # one sort order for comm
setup=$(realpath "$1")
version=$2
work=$(realpath -m "$3")  # Wine wants an absolute prefix
stage=$(realpath "$(dirname "$setup")/../packaging/stage")
zip=$(dirname "$setup")/Kivrel-$version-win64.zip
licence=$(realpath "$(dirname "$0")/../../LICENSE")

export WINEDEBUG=-all WINEPREFIX=$work/prefix
# No menu entries or icons in the home folder of whoever runs the test.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
c=$WINEPREFIX/drive_c
app_dir="$c/Program Files/Kivrel"
shortcut="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kivrel.lnk"
uninstall_key='Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kivrel'

fail() { echo "FAIL: $*" >&2; exit 1; }
# The licence's whole text in FILE (or, with a second argument, in that member of the zip
# FILE), whatever its line ends.
has_licence() {
    python3 - "$licence" "$@" <<'EOF'
import sys, zipfile
licence = open(sys.argv[1], encoding="utf-8").read()
if len(sys.argv) > 3:
    with zipfile.ZipFile(sys.argv[2]) as z:
        text = z.read(sys.argv[3]).decode("utf-8")
else:
    text = open(sys.argv[2], encoding="utf-8").read()
sys.exit(0 if licence in text.replace("\r\n", "\n") else 1)
EOF
}
has_licence "$zip" LICENSE.txt || fail "$(basename "$zip") lacks LICENSE.txt with Kivrel's licence"
run() { if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi; }
wine_wait() { run wine "$@"; wineserver -w; }

# Files below drive_c, but the temp folders (the uninstaller runs from a copy there, which
# Windows deletes at the next start), and registry key names without their timestamps.
snapshot() {
    (cd "$c" && find . -path ./users/\*/Temp -prune -o -print | sort) >"$work/$1.files"
    grep -h '^\[' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" |
        sed 's/\] [0-9]*$/]/' | sort >"$work/$1.keys"
}
added() { comm -13 "$work/$1.$3" "$work/$2.$3"; }

rm -rf "$work"
mkdir -p "$work"
run wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot"; }
wineserver -w
snapshot before

wine_wait "$setup" /S

# Exactly the staged files, plus the uninstaller and the shortcut.
snapshot installed
expected_files=$( (cd "$stage" && find . -mindepth 1 | sed 's|^\.|./Program Files/Kivrel|'
                   echo "./Program Files/Kivrel"; echo "./Program Files/Kivrel/uninstall.exe"
                   echo "./ProgramData/Microsoft/Windows/Start Menu/Programs/Kivrel.lnk") | sort)
diff <(echo "$expected_files") <(added before installed files) ||
    fail "the install added other files than expected (above: < missing, > unexpected)"
(cd "$stage" && find . -type f) | while read -r f; do
    cmp -s "$stage/$f" "$app_dir/$f" || fail "$f differs from the staged file"
done
has_licence "$app_dir/LICENSE.txt" || fail "the installed LICENSE.txt is not Kivrel's licence"

# The shortcut: LinkInfo's local base path and the working folder (MS-SHLLINK).
mapfile -t link < <(python3 - "$shortcut" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
at = 0x4C
if flags & 0x1:                                   # HasLinkTargetIDList
    at += 2 + struct.unpack_from("<H", data, at)[0]
info_size, _, _, _, base_offset = struct.unpack_from("<5I", data, at)
base = data[at + base_offset:data.index(b"\0", at + base_offset)].decode("latin-1")
at += info_size
strings = {}
for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "args"),
                  (0x40, "icon")):
    if flags & bit:
        count = struct.unpack_from("<H", data, at)[0]
        strings[name] = data[at + 2:at + 2 + 2 * count].decode("utf-16-le")
        at += 2 + 2 * count
print(base)
print(strings.get("workdir", ""))
EOF
)
[ "${link[0]}" = 'C:\Program Files\Kivrel\Kivrel.exe' ] || fail "shortcut points to ${link[0]}"
[ "${link[1]}" = 'C:\Program Files\Kivrel' ] || fail "shortcut starts in ${link[1]}"

# Exactly these keys (Wine's files list keys with values and empty keys; "shell" and
# "shell\open" are implied by the command below them), and their values as Windows reads them.
expected_keys='[Software\\Classes\\.qdx]
[Software\\Classes\\Kivrel.UpdateFile]
[Software\\Classes\\Kivrel.UpdateFile\\DefaultIcon]
[Software\\Classes\\Kivrel.UpdateFile\\shell\\open\\command]
['"$uninstall_key"']'
diff <(sort <<<"$expected_keys") <(added before installed keys) ||
    fail "the install added other keys than expected (above: < missing, > unexpected)"
query() { run wine reg query "$@" 2>/dev/null | tr -d '\r'; }
value() { sed -n "s/^    $1 *REG_[A-Z_]* *//p" <<<"$2"; }
uninstall=$(query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kivrel")
exe='C:\Program Files\Kivrel\Kivrel.exe'
unexe='"C:\Program Files\Kivrel\uninstall.exe"'
check() { [ "$(value "$1" "$2")" = "$3" ] || fail "$1 is '$(value "$1" "$2")', not '$3'"; }
check DisplayName "$uninstall" "Kivrel"
check DisplayVersion "$uninstall" "$version"
check Publisher "$uninstall" "Kivrel"
check InstallLocation "$uninstall" 'C:\Program Files\Kivrel'
check DisplayIcon "$uninstall" "\"$exe\",0"
check UninstallString "$uninstall" "$unexe"
check QuietUninstallString "$uninstall" "$unexe /S"
check NoModify "$uninstall" 0x1
check NoRepair "$uninstall" 0x1
size=$(value EstimatedSize "$uninstall")
[ $((size)) -gt 1000 ] || fail "EstimatedSize $size KB"
check "(Default)" "$(query 'HKLM\Software\Classes\.qdx' /ve)" "Kivrel.UpdateFile"
check "(Default)" "$(query 'HKLM\Software\Classes\Kivrel.UpdateFile\shell\open\command' /ve)" \
    "\"$exe\" \"%1\""
check "(Default)" "$(query 'HKLM\Software\Classes\Kivrel.UpdateFile\DefaultIcon' /ve)" "\"$exe\",0"

# The installed tool runs.
got=$(run wine "$app_dir/cli/kivrel.exe" --version | tr -d '\r')
[ "$got" = "kivrel $version" ] || fail "installed kivrel.exe --version says '$got'"

wine_wait "$app_dir/uninstall.exe" /S
snapshot removed
left=$(added before removed files)
[ -z "$left" ] || fail "files left behind by the uninstaller: $left"
left=$(added before removed keys)
[ -z "$left" ] || fail "keys left behind by the uninstaller: $left"

# A .qdx type another program owned before comes back when Kivrel goes.
run wine reg add 'HKLM\Software\Classes\.qdx' /ve /d Other.Type /f >/dev/null 2>&1
wine_wait "$setup" /S
check "(Default)" "$(query 'HKLM\Software\Classes\.qdx' /ve)" "Kivrel.UpdateFile"
wine_wait "$app_dir/uninstall.exe" /S
check "(Default)" "$(query 'HKLM\Software\Classes\.qdx' /ve)" "Other.Type"

wineserver -k 2>/dev/null || true
rm -rf "$work"
echo "installer test passed: $(basename "$setup") installs and uninstalls cleanly"
