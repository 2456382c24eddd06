#!/usr/bin/env bash
# Builds the monitor and runs its main job on the embedded default: the bundled
# cache simulator stands in for a running shared page cache; tallyscope monitors
# it (and the host) for a few samples; the archive it wrote is summarised.
#   DEMO_SAMPLES (default 5), DEMO_OUT (default: a temporary directory)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target tallyscope tallyread cachesim

samples=${DEMO_SAMPLES:-5}
out=${DEMO_OUT:-$(mktemp -d /tmp/tallydemo.XXXXXX)}
mkdir -p "$out/global"
export QUILLON_GLOBAL_DIR="$out/global"

./build/tools/cachesim/cachesim --dir "$out/global" --keeper demokeeper --envoys 6 \
    --envoy-sessions 3 --counters 8 --interval 500 >"$out/cachesim.log" 2>&1 &
sim=$!
trap 'kill -TERM $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q '^cachesim ready' "$out/cachesim.log" && break
  kill -0 $sim 2>/dev/null || { cat "$out/cachesim.log"; exit 1; }
  sleep 0.1
done
grep '^cachesim ready' "$out/cachesim.log"

./build/src/tallyscope demokeeper -A -n 4 -i 1 -t "$samples" -f "$out/demo"

reader=./build/tools/tallyread/tallyread
echo
echo "Archive: $out/demo.out"
$reader check "$out/demo.out"
$reader types "$out/demo.out"
echo
echo "The archive is $out/demo.out. Two commands to try next:"
echo "  $reader csv $out/demo.out --type Solaris_x86_System --fields PercentCpuUser,PercentCpuSystem,LoadAverage1 --time local"
echo "  $reader top $out/demo.out --type Envoy --field PageReads"
# The dashboard of the archive, one HTML file that opens offline in a browser.
$reader chart "$out/demo.out" -o "$out/demo.html"
echo
echo "Charts of the archive (open in a browser): $out/demo.html"
