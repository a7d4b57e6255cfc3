#!/usr/bin/env bash
# Bash completion of kivrel against the built tool: commands, options, values and files come
# from the tool's --help, so a change in how the tool prints its help shows up here.
# Usage: completion_test.sh COMPLETION_SCRIPT KIVREL
set -uo pipefail
completion=$1
bin_dir=$(cd "$(dirname "$2")" && pwd)
export PATH=$bin_dir:$PATH
source "$completion"
compopt() { :; }  # only valid inside a real completion

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/units" "$work/updates"
touch "$work/updates/a.qdx"
cd "$work"

failures=0
expect() {  # expect "COMMAND LINE" "EXPECTED CANDIDATES"
    COMP_LINE=$1
    COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kivrel
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$2" ]]; then
        echo "FAIL [$1]: expected '$2', got '$got'"
        failures=$((failures + 1))
    fi
}

expect "kivrel " "check info inspect pack report settings sign-version sim update"
expect "kivrel in" "info inspect"
expect "kivrel --dev" "--device"
expect "kivrel --device " "hid sim:"
expect "kivrel --device sim:un" "units"
expect "kivrel --device sim:units settings " "$(kivrel settings --help |
    sed -n '/^Subcommands:/,$s/^  \([a-z][a-z-]*\).*/\1/p' | sort | xargs)"
expect "kivrel --timeout-ms 5 sim " "create"
expect "kivrel update --nat" "--national"
expect "kivrel update --json --onl" "--online"
expect "kivrel check --trus" "--trusted-key"
expect "kivrel update up" "updates"
expect "kivrel inspect updates/" "updates/a.qdx"
expect "kivrel pack out.qdx --form m" "medium"
expect "kivrel info --json " ""

if [[ $failures -gt 0 ]]; then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "completion: all cases passed"
