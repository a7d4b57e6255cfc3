#!/usr/bin/env bash
# A 200 MiB download from a local server by the downloader and by `curl -o`, in the same run.
# Goal: the downloader reaches at least 0.8 x curl's throughput.
# Usage: bench/net_download.sh BUILD_DIR [MiB] [runs]
set -euo pipefail
build=${1:?build dir}
driver="$build/bin/net_download_driver"
[ -x "$driver" ] || cmake --build "$build" --target net_download_driver >/dev/null
if ! command -v curl >/dev/null; then
  echo "curl is not installed (scripts/bootstrap installs it)"
  exit 1
fi
"$driver" "${2:-200}" "${3:-5}"
