#!/usr/bin/env bash
# Installs what is missing, builds, and starts the workstation on the bundled synthetic CT series
# (generated on first run into build/sample/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
sample="$root/build/sample/synthetic-abdomen"
if [ ! -f "$sample/IM0120.dcm" ]; then
  "$root/build/morvex-synthct" "$sample"
fi
cd "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display found; starting on a virtual X display (xvfb-run)" >&2
  exec xvfb-run -a ./morvex "$sample" "$@"
fi
exec ./morvex "$sample" "$@"
