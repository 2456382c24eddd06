# Shared by the operations tests: a scratch directory removed on any exit, and
# checks that name what they expected.
set -euo pipefail
scratch=$(mktemp -d /tmp/tallyops.XXXXXX)
cleanups=()
cleanup() {
  local c
  for c in "${cleanups[@]}"; do eval "$c" || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect_same WHAT EXPECTED ACTUAL: two texts must be equal; the difference is shown.
expect_same() {
  if [ "$2" != "$3" ]; then
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2 || true
    fail "$1 differs from what was expected (- expected, + actual)"
  fi
}

# The files an install puts under its prefix, sorted.
installed_files="bin/cachesim
bin/tallyread
bin/tallyscope
etc/default/tallyscope
lib/systemd/system/tallyscope-host.service
lib/systemd/system/tallyscope-retention.service
lib/systemd/system/tallyscope-retention.timer
lib/systemd/system/tallyscope@.service
lib/sysusers.d/tallyscope.conf
lib/tmpfiles.d/tallyscope.conf
libexec/tallyscope/tallyscope-retention
libexec/tallyscope/tallyscope-run
share/bash-completion/completions/tallyread
share/bash-completion/completions/tallyscope
share/man/man1/cachesim.1
share/man/man1/tallyread.1
share/man/man1/tallyscope.1"
