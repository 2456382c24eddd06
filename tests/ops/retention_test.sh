#!/bin/bash
# The retention script on a directory of dated archives with fixed
# modification times: archives past the keeping time are deleted, plain ones
# past a day are compressed with their time kept, everything else stays, and
# a file some process has open is never touched, however old.
source "$(dirname "$0")/lib.sh"
retention=$(dirname "$0")/../../dist/libexec/tallyscope-retention
top=$scratch/state
mkdir -p "$top/prod" "$top/host"

# name age: a small archive last written that long ago.
archive() {
  local file=$top/$1
  case $file in
    *.gz) echo "TALLY \"3\"" | gzip >"$file" ;;
    *) echo "TALLY \"3\"" >"$file" ;;
  esac
  touch -d "$2" "$file"
}
archive prod/prod-20261206-101010-1.out "10 hours ago"    # younger than a day: stays
archive prod/prod-20261203-080000-1.out "3 days ago"      # compressed
archive prod/prod-20261203-080000-2.out.gz "3 days ago"   # already compressed: stays
archive prod/prod-20261020-080000-1.out "47 days ago"     # deleted, not compressed first
archive prod/prod-20261020-080000-2.out.gz "46 days ago"  # deleted
archive prod/notes.txt "90 days ago"                      # not an archive: stays
archive host/host-20261001-000000.out "66 days ago"       # open below: stays
archive host/host-20261201-000000.out "5 days ago"        # open below: stays uncompressed
archive host/host-20261101-000000.out.gz "35 days ago"    # deleted
archive old.out "90 days ago"                             # not in a name's directory: stays
expected_time=$(stat -c %Y "$top/prod/prod-20261203-080000-1.out")

# Held open as a monitor holds the file it writes.
exec 7>>"$top/host/host-20261001-000000.out" 8<"$top/host/host-20261201-000000.out"
TALLYSCOPE_KEEP_DAYS=28 "$retention" "$top" >"$scratch/out" 2>"$scratch/err" || { cat "$scratch/err" >&2; fail "retention failed"; }
exec 7>&- 8<&-
[ ! -s "$scratch/err" ] || { cat "$scratch/err" >&2; fail "retention wrote to standard error"; }

real=$(cd "$top" && pwd -P)
expect_same "what retention did" "compressed $real/prod/prod-20261203-080000-1.out
deleted $real/host/host-20261101-000000.out.gz
deleted $real/prod/prod-20261020-080000-1.out
deleted $real/prod/prod-20261020-080000-2.out.gz" "$(LC_ALL=C sort "$scratch/out")"
expect_same "what is left" "host/host-20261001-000000.out
host/host-20261201-000000.out
old.out
prod/notes.txt
prod/prod-20261203-080000-1.out.gz
prod/prod-20261203-080000-2.out.gz
prod/prod-20261206-101010-1.out" "$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
[ "$(stat -c %Y "$top/prod/prod-20261203-080000-1.out.gz")" = "$expected_time" ] ||
  fail "compression changed the archive's modification time"
expect_same "the compressed archive" 'TALLY "3"' "$(gzip -dc "$top/prod/prod-20261203-080000-1.out.gz")"

# Once no process holds them, the old files go too; a second run finds
# nothing left to do. Keeping 0 days keeps everything.
TALLYSCOPE_KEEP_DAYS=0 "$retention" "$top" >"$scratch/out"
expect_same "retention that keeps every archive" "compressed $real/host/host-20261001-000000.out
compressed $real/host/host-20261201-000000.out" "$(LC_ALL=C sort "$scratch/out")"
TALLYSCOPE_KEEP_DAYS=28 TALLYSCOPE_COMPRESS_DAYS=1 "$retention" "$top" >"$scratch/out"
expect_same "the later run" "deleted $real/host/host-20261001-000000.out.gz" "$(cat "$scratch/out")"
TALLYSCOPE_KEEP_DAYS=28 "$retention" "$top" >"$scratch/out"
[ ! -s "$scratch/out" ] || fail "a run with nothing to do did something: $(cat "$scratch/out")"

# Wrong settings and a missing directory: status 2, nothing done.
for setting in TALLYSCOPE_KEEP_DAYS=a TALLYSCOPE_COMPRESS_DAYS=-1; do
  rc=0
  env "$setting" "$retention" "$top" 2>/dev/null || rc=$?
  [ "$rc" -eq 2 ] || fail "$setting gave status $rc, not 2"
done
rc=0
"$retention" "$scratch/missing" 2>/dev/null || rc=$?
[ "$rc" -eq 2 ] || fail "a missing directory gave status $rc, not 2"
echo "retention: ok"
