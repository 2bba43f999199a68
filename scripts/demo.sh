#!/usr/bin/env bash
# `make demo`: the whole job in one run against the built-in instrument simulator and result
# server, on loopback only. `lx9 demo` makes its own temporary folder for settings, data files,
# images and the server's copy, so the user's own settings are never touched.
set -euo pipefail
build=${1:-build}
exec "$build/app/cli/lx9" demo "${@:2}"
