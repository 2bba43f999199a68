#!/usr/bin/env bash
# `make demo`: runs the demonstration in a temporary settings folder, so it never touches the
# user's own settings.
set -euo pipefail
build=${1:-build}
demo_dir=$(mktemp -d "${TMPDIR:-/tmp}/lx9-demo.XXXXXX")
export LX9_CONFIG_DIR="$demo_dir"
echo "demo settings folder: $demo_dir"
"$build/app/cli/lx9" info
