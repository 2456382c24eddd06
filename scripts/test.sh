#!/usr/bin/env bash
# Builds and runs every test: the unit and end-to-end tests of a normal build,
# then both again under AddressSanitizer and UndefinedBehaviorSanitizer (the
# end-to-end tests then run the sanitized programs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" -L unit)
(cd build && ctest --output-on-failure -L e2e)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTALLY_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs" --target unit_tests e2e_tests
export ASAN_OPTIONS=detect_leaks=0:handle_segv=0 UBSAN_OPTIONS=print_stacktrace=1
(cd build-asan && ctest --output-on-failure -j"$jobs" -L unit)
(cd build-asan && ctest --output-on-failure -L e2e)
