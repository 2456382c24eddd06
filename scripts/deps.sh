#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Usage: scripts/deps.sh [extra packages...]
set -euo pipefail
# clang and its runtime build the fuzz targets; pkg-config, cpp-httplib and
# prometheus (with promtool) serve and check the Prometheus output; scdoc makes
# the manual pages; man-db renders them in a test; systemd gives
# systemd-analyze to verify the units (no running service manager needed);
# dpkg-dev gives dpkg-shlibdeps for the package's dependencies.
want=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev procps clang libclang-rt-14-dev
      pkg-config libcpp-httplib-dev prometheus scdoc man-db systemd dpkg-dev gzip "$@")
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
