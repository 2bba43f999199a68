#!/usr/bin/env bash
# `make demo`: with a display, the touch-screen program LX9 as a window on the built-in instrument
# simulator (`lx9 demo --gui`); without one, or with --headless (`make demo-headless`), the
# scripted whole job against the simulator and the result server. Loopback only. `lx9 demo` makes
# its own temporary folder for settings and data files, so the user's own settings are never
# touched.
set -euo pipefail
build=${1:-build}
shift || true
if [ "${1:-}" = "--headless" ]; then
    shift
    exec "$build/app/cli/lx9" demo "$@"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/app/cli/lx9" demo --gui "$@"
fi
exec "$build/app/cli/lx9" demo "$@"
