#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing,
# then the charting library the chart pages embed (npm, pinned by
# tools/tallyread/chart/package-lock.json) when it is missing or out of date.
# Usage: scripts/deps.sh [extra packages...]
set -euo pipefail
# clang and its runtime build the fuzz targets; pkg-config, cpp-httplib and
# prometheus (with promtool) serve and check the Prometheus output; scdoc makes
# the manual pages; man-db renders them in a test; systemd gives
# systemd-analyze to verify the units (no running service manager needed);
# dpkg-dev gives dpkg-shlibdeps for the package's dependencies.
want=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev procps clang libclang-rt-14-dev
      pkg-config libcpp-httplib-dev prometheus scdoc man-db systemd dpkg-dev gzip "$@")
# A node installed from elsewhere brings its own npm.
command -v npm >/dev/null 2>&1 || want+=(npm)
missing=()
for p in "${want[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi

chart="$(dirname "$0")/../tools/tallyread/chart"
if [ ! -f "$chart/node_modules/.package-lock.json" ] || [ "$chart/package-lock.json" -nt "$chart/node_modules/.package-lock.json" ]; then
  npm ci --prefix "$chart" --no-audit --no-fund --loglevel=error
fi
