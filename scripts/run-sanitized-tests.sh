#!/usr/bin/env bash
# Builds everything with the address and undefined-behaviour sanitizers in its own
# folder (./build-san or $KESTRO_SAN_DIR) and runs the whole suite there: any finding
# stops the program that made it, leaks included.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRO_SAN_DIR:-$root/build-san}
bash "$root/scripts/install-deps.sh"
KESTRO_BUILD_DIR=$build KESTRO_SANITIZE=address,undefined KESTRO_WERROR=ON bash "$root/scripts/build.sh"
# intercept_tls_get_addr=0: the leak checker's own tracer crashes (SIGSEGV) on a bogus
# dynamic-TLS range that a plugin Qt loads leaves in GCC 12's runtime, after the test passed.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp
cd "$build"
# The package check is about files, not memory: the plain suite runs it.
ctest --output-on-failure -j "$(nproc)" --timeout 300 -E PackageAndInstalledTree
