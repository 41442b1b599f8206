#!/usr/bin/env bash
# Configures and builds into ./build (or $KESTRO_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRO_BUILD_DIR:-$root/build}
werror=${KESTRO_WERROR:-OFF}
cmake -S "$root" -B "$build" -G Ninja -DKESTRO_WERROR="$werror" >/dev/null
# Two cores: keep the compiler count at the core count so memory stays sane.
cmake --build "$build" -j "$(nproc)"
