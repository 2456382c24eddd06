#!/bin/bash
# The service wrapper: every run gets a base name no earlier run used, also
# when restarts fall within one second and when earlier files were numbered or
# compressed since; wrong settings stop it with status 2 before the monitor
# starts; the monitor it starts ends a SIGTERM stop with a complete archive
# and status 5, which the units count as success.
# Usage: run_test.sh TALLYSCOPE TALLYREAD
source "$(dirname "$0")/lib.sh"
export TALLYSCOPE_BIN=$1
tallyread=$2
wrapper=$(dirname "$0")/../../dist/libexec/tallyscope-run
export TALLYSCOPE_DIR=$scratch/state TALLYSCOPE_INTERVAL=1 TALLYSCOPE_HOURS_PER_FILE=0 TALLYSCOPE_GZIP=no

# Every run of this test falls within the same second: a date that always
# says 10:10:10.
mkdir "$scratch/clock"
printf '#!/bin/sh\necho 20261206-101010\n' >"$scratch/clock/date"
chmod +x "$scratch/clock/date"

# Restarts within one second: three runs of one sample each.
for _ in 1 2 3; do
  PATH=$scratch/clock:$PATH TALLYSCOPE_OPTIONS="-t 1 -q" "$wrapper" --host >>"$scratch/runs.log" 2>&1 ||
    { cat "$scratch/runs.log" >&2; fail "a run in the same second failed"; }
done
expect_same "the archives of three runs in one second" "host-20261206-101010.1.out
host-20261206-101010.2.out
host-20261206-101010.out" "$(ls "$TALLYSCOPE_DIR/host")"
"$tallyread" check "$TALLYSCOPE_DIR"/host/*.out >/dev/null || fail "an archive of the restarts is damaged"

# A base whose numbered files remain, compressed by the retention job, is taken.
mkdir -p "$TALLYSCOPE_DIR/prod"
touch "$TALLYSCOPE_DIR/prod/prod-20261206-101010-1.out.gz" "$TALLYSCOPE_DIR/prod/prod-20261206-101010-2.out"
mkdir "$scratch/fake"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s"\n' "$scratch/fake/args" >"$scratch/fake/tallyscope"
chmod +x "$scratch/fake/tallyscope"
PATH=$scratch/clock:$PATH TALLYSCOPE_BIN=$scratch/fake/tallyscope TALLYSCOPE_HOURS_PER_FILE=24 TALLYSCOPE_GZIP=yes \
  TALLYSCOPE_HOST_GROUPS="-D -N" TALLYSCOPE_OPTIONS="-n 8" "$wrapper" prod
expect_same "the monitor's command line" "prod
-D
-N
-i
1
-f
$TALLYSCOPE_DIR/prod/prod-20261206-101010.1
-h
24
-r
-z
-n
8" "$(cat "$scratch/fake/args")"

# Wrong settings: status 2 and a message naming the setting; nothing runs.
check_refused() {
  local rc=0
  env "$@" TALLYSCOPE_BIN="$scratch/fake/tallyscope" "$wrapper" prod 2>"$scratch/refused.err" || rc=$?
  [ "$rc" -eq 2 ] || fail "$* gave status $rc, not 2"
  grep -q "${1%%=*}" "$scratch/refused.err" || fail "the message for $* does not name the setting"
}
rm -f "$scratch/fake/args"
check_refused TALLYSCOPE_INTERVAL=0
check_refused TALLYSCOPE_INTERVAL=ten
check_refused TALLYSCOPE_HOURS_PER_FILE=-1
check_refused TALLYSCOPE_GZIP=maybe
[ ! -e "$scratch/fake/args" ] || fail "the monitor was started despite a wrong setting"
rc=0
TALLYSCOPE_BIN=$scratch/fake/tallyscope "$wrapper" ../etc 2>/dev/null || rc=$?
[ "$rc" -eq 2 ] || fail "a name with a slash gave status $rc, not 2"

# A stop by SIGTERM: the monitor replaced the wrapper, so the signal reaches
# it; it closes its archive and ends with status 5.
TALLYSCOPE_OPTIONS="-I 100 -q" "$wrapper" --host >"$scratch/stop.log" 2>&1 &
monitor=$!
cleanups+=("kill -KILL $monitor 2>/dev/null")
for _ in $(seq 600); do
  if [ "$(find "$TALLYSCOPE_DIR/host" -name '*.out' | wc -l)" -eq 4 ] &&
    "$tallyread" check "$(ls -t "$TALLYSCOPE_DIR"/host/*.out | head -1)" >/dev/null 2>&1; then break; fi
  sleep 0.1
done
newest=$(ls -t "$TALLYSCOPE_DIR"/host/*.out | head -1)
kill -TERM "$monitor"
rc=0
wait "$monitor" || rc=$?
[ "$rc" -eq 5 ] || { cat "$scratch/stop.log" >&2; fail "the stopped monitor ended with status $rc, not 5"; }
"$tallyread" check "$newest" >"$scratch/check.log" || fail "the stopped monitor's archive is damaged"
echo "service wrapper: ok"
