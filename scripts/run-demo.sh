#!/usr/bin/env bash
# Installs what is missing, builds, and starts KestroLink against the built-in simulated meter.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
# Only the program: the tests, tools and benchmarks wait for the test command.
KESTRO_TARGETS=kestrolink bash "$root/scripts/build.sh"
build=${KESTRO_BUILD_DIR:-$root/build}
exec "$build/src/app/kestrolink" --demo "$@"
