#!/usr/bin/env bash
# Runs a test program on a virtual X server with software OpenGL (Mesa llvmpipe). Exits 77, which
# CTest counts as skipped, only when no X server can start here.
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run not found (scripts/install-deps.sh installs it): skipping"
  exit 77
fi
if ! xvfb-run -a true >/dev/null 2>&1; then
  echo "no X server could start: skipping"
  exit 77
fi
export QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1
exec xvfb-run -a -s "-screen 0 1600x1200x24" "$@"
