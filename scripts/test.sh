#!/usr/bin/env bash
# Builds and runs every test: the unit and end-to-end tests of a normal build
# (the chart pages opened in headless Chromium among them) and the operations
# tests (install tree, package, units, manual pages, service wrapper,
# retention, completion), then both again under AddressSanitizer and UndefinedBehaviorSanitizer (the
# end-to-end tests then run the sanitized programs), then the archive reader's
# fuzz target (clang, libFuzzer) for FUZZ_SECONDS (default 60) from its
# committed seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
# Headless Chromium opens the chart pages in the browser test.
bash scripts/deps.sh chromium
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" -L unit)
(cd build && ctest --output-on-failure -L e2e)
(cd build && ctest --output-on-failure -L ops)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTALLY_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs" --target unit_tests e2e_tests
(export ASAN_OPTIONS=detect_leaks=0:handle_segv=0 UBSAN_OPTIONS=print_stacktrace=1
 cd build-asan && ctest --output-on-failure -j"$jobs" -L unit && ctest --output-on-failure -L e2e)

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLY_FUZZ=ON -DTALLY_BUILD_TESTS=OFF \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build build-fuzz -j"$jobs" --target archivereader_fuzz
fuzzwork=$(mktemp -d /tmp/tallyfuzz.XXXXXX)
trap 'rm -rf "$fuzzwork"' EXIT
# New inputs go to the scratch directory, never into the committed seeds; a
# failing input is kept in build-fuzz/.
if ! build-fuzz/tests/fuzz/archivereader_fuzz -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=512 \
     -artifact_prefix=build-fuzz/ "$fuzzwork" tests/fuzz/corpus/archivereader >"$fuzzwork/log" 2>&1; then
  tail -40 "$fuzzwork/log"
  echo "archive reader fuzzing failed; the input is in build-fuzz/" >&2
  exit 1
fi
grep -E '^Done [0-9]+ runs' "$fuzzwork/log"
