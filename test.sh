#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in the normal
# build, once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"

# The sanitizer build runs the same suite; the install and package scripts
# test the normal build only.
scripts/build.sh build-asan -DQM_SANITIZE=ON -DQM_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" -E '^script_'
