#!/usr/bin/env bash
# Configures and builds into ./build (or $KESTRO_BUILD_DIR): everything, or only the
# targets named in $KESTRO_TARGETS (space-separated). Warnings are errors by default, in
# every script, so the demo's build and the test suite's build share one set of flags and
# never rebuild each other; KESTRO_WERROR=OFF for a compiler newer than Debian 12's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRO_BUILD_DIR:-$root/build}
werror=${KESTRO_WERROR:-ON}
cmake -S "$root" -B "$build" -G Ninja -DKESTRO_WERROR="$werror" -DKESTRO_SANITIZE="${KESTRO_SANITIZE:-}" >/dev/null
# Two cores: keep the compiler count at the core count so memory stays sane.
targets=()
for t in ${KESTRO_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
