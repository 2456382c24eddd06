#!/usr/bin/env bash
# The performance suite in one command: installs what it needs (sysstat for the
# baselines), builds in Release into build-bench/, runs every scenario and prints
# one table. Every figure beside a baseline is measured in the same run.
#
#   bash bench/run.sh
#
# Settings (environment): BENCH_BUILD_DIR (default build-bench), BENCH_SAMPLES
# (samples per cache run, default 50), BENCH_HOST_SAMPLES (host-only and listed
# process runs at 1 s, default 60), BENCH_PACING_SAMPLES (default 600),
# BENCH_ONLY (space-separated subset of: encoder cache host users churn pacing
# reader chart), BENCH_USER_RUNS (the runs of "users": count[:wake_ms[:threads]]
# each, default "200 1000 1000:250 200:0:16"), BENCH_CHURN_SAMPLES (default 30),
# BENCH_READER_MB (the large archive of reader and chart, default 1024),
# BENCH_READER_RUNS (runs of summary and its baseline, the fastest kept, default 3),
# BENCH_CHART_STEP (seconds between the samples of the day of envoys, default 10),
# BENCH_KEEP=1 (keep the work directory with every archive and log).
#
# Everything the suite starts (the cache simulator, the monitor, the baselines,
# the sleeping processes of the benchmark user) is stopped by pid, segments left
# by a simulator that could not clean up are removed, the benchmark user is
# deleted when this run created it, and the work directory is removed: also when
# a step fails or the run is interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BENCH_BUILD_DIR:-$ROOT/build-bench}
SAMPLES=${BENCH_SAMPLES:-50}
HOST_SAMPLES=${BENCH_HOST_SAMPLES:-60}
PACING_SAMPLES=${BENCH_PACING_SAMPLES:-600}
ONLY=${BENCH_ONLY:-encoder cache host users churn pacing reader chart}
BENCH_USER=tallybench
SADC=/usr/lib/sysstat/sadc

wants() { [[ " $ONLY " == *" $1 "* ]]; }

# --- set-up and clean-up ---

bash scripts/deps.sh sysstat >/dev/null
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLY_BUILD_BENCH=ON -DTALLY_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc 2>/dev/null || echo 2)" \
  --target tallyscope cachesim tallyread benchrun encoder_bench hoststats_bench >/dev/null

TALLY=$BUILD/src/tallyscope
SIM=$BUILD/tools/cachesim/cachesim
READER=$BUILD/tools/tallyread/tallyread
RUN=$BUILD/bench/benchrun

WORK=$(mktemp -d /tmp/tallybench.XXXXXX)
STARTED=()      # pids of the background programs of this run
USER_CREATED=0

stopStarted() {
  local pid
  for pid in "${STARTED[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${STARTED[@]}"; do wait "$pid" 2>/dev/null || true; done
  STARTED=()
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  stopStarted
  # A simulator that died without its clean-up leaves its segment behind.
  if [ -f "$WORK/shmids" ]; then
    while read -r id; do ipcrm -m "$id" 2>/dev/null || true; done <"$WORK/shmids"
  fi
  [ "$USER_CREATED" = 1 ] && userdel "$BENCH_USER" 2>/dev/null
  if [ "${BENCH_KEEP:-0}" = 1 ]; then echo "work directory kept: $WORK" >&2; else rm -rf "$WORK"; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a program in the background and remembers its pid.
background() {
  "$@" &
  STARTED+=($!)
}

# Stops the background program started last.
stopLast() {
  local pid=${STARTED[-1]}
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset 'STARTED[-1]'
}

# key=value figure from a benchrun result line.
field() { sed -n "s/.*\b$2=\([^ ]*\).*/\1/p" "$1"; }
calc() { awk "BEGIN { printf \"%s\", $1 }"; }
fmt() { awk -v v="$1" -v d="${2:-2}" 'BEGIN { printf "%.*f", d, v }'; }
check() { awk "BEGIN { exit !($1) }" && echo met || echo MISSED; }

TABLE=$WORK/table
row() { printf '%s|%s|%s|%s|%s|%s\n' "$@" >>"$TABLE"; }   # scenario value baseline peak-rss target result

# --- encoder ---

runEncoder() {
  echo "== encoder" >&2
  "$BUILD/bench/encoder_bench" --benchmark_repetitions=10 --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | grep '_min"' >"$WORK/encoder.csv"
  nsOf() { awk -F, -v n="\"BM_$1_min\"" '$1 == n { printf "%.2f", $NF * 1e9 }' "$WORK/encoder.csv"; }
  local vec per snp u32 snp32
  vec=$(nsOf EncoderVectorI64)
  per=$(nsOf EncoderPerCallInt64)
  snp=$(nsOf SnprintfPerTokenI64)
  u32=$(nsOf EncoderVectorU32)
  snp32=$(nsOf SnprintfPerTokenU32)
  row "Encoder, 64-bit mix, one vector" "$vec ns/value" "snprintf $snp ns ($(fmt "$(calc "$snp/$vec")" 1)x)" "" \
    "<= 3 ns, >= 8x" "$(check "$vec <= 3 && $snp / $vec >= 8")"
  row "Encoder, 64-bit mix, one call each" "$per ns/value" "snprintf $snp ns ($(fmt "$(calc "$snp/$per")" 1)x)" "" "" ""
  row "Encoder, 32-bit mix, one vector" "$u32 ns/value" "snprintf $snp32 ns ($(fmt "$(calc "$snp32/$u32")" 1)x)" "" "" ""
  "$BUILD/bench/hoststats_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | grep '_median"' >"$WORK/hoststats.csv"
  local collect
  collect=$(awk -F, '$1 == "\"BM_HostCollectionAllGroups_median\"" { printf "%.0f", $4 }' "$WORK/hoststats.csv")
  row "Host collection, all groups (in process)" "$collect us" "" "" "" ""
}

# --- cache sampling ---

# Starts the simulator with N envoys (plus monitor, keeper and 8 page servers)
# and waits for its ready line.
startCache() {
  local envoys=$1
  rm -rf "$WORK/global"
  mkdir -p "$WORK/global"
  background "$SIM" --dir "$WORK/global" --keeper benchkeeper --envoys "$envoys" --pgsvrs 8 --other-pgsvrs 0 \
    --pagemgr-threads 0 --no-odd-slots --free-slots 0 --interval 1000 >"$WORK/sim.log" 2>&1
  local i
  for i in $(seq 1200); do
    grep -q '^cachesim ready' "$WORK/sim.log" && break
    kill -0 "${STARTED[-1]}" 2>/dev/null || { cat "$WORK/sim.log" >&2; return 1; }
    sleep 0.1
  done
  sed -n 's/^cachesim ready .*shmid=\([0-9]*\).*/\1/p' "$WORK/sim.log" >>"$WORK/shmids"
  grep -q '^cachesim ready' "$WORK/sim.log"
}

# Runs the monitor against the simulator; result line in $WORK/<name>.res.
# The monitor holds four /proc files open per cache process: 5,000 envoys need
# more descriptors than many hosts allow by default.
monitorCache() {
  local name=$1
  shift
  (ulimit -n 65536 2>/dev/null || true
   QUILLON_GLOBAL_DIR=$WORK/global exec "$RUN" run --result "$WORK/$name.res" -- \
     "$TALLY" benchkeeper "$@" -q -f "$WORK/$name" >"$WORK/$name.log" 2>&1)
}

perSample() { calc "$(field "$1" cpu_ms) / $2"; }
rssMb() { fmt "$(calc "$(field "$1" maxrss_kb) / 1024")" 1; }
bytesPerSample() { calc "$(stat -c %s "$1") / $2"; }

# The run ended normally, said nothing but its detach line (and the notice
# that the descriptor limit keeps some processes' files from staying open), and
# its archive holds every record of every sample.
cleanRun() {
  local name=$1 samples=$2 records=$3
  [ "$(field "$WORK/$name.res" status)" = 0 ] || return 1
  ! grep -v -e '^Tally is detaching from shared cache\.$' -e '^\[Warning\]: too many processes to keep' \
    "$WORK/$name.log" | grep -q . || return 1
  "$READER" check "$WORK/$name.out" >"$WORK/$name.check" 2>&1 || return 1
  grep -q ": ok: $records records, $samples samples" "$WORK/$name.check"
}

# Memory this virtual machine has not used since it booted costs its host a
# fault at the first touch: a file written into such memory cost 1.4 to 1.6 ns
# a byte here, against 0.2 ns into memory used before. A monitor that has run
# for days writes into a page cache that recycles memory, so before each set of
# runs the suite writes and deletes a scratch file larger than any archive of
# the set (the simulator's processes have taken their memory by then), and each
# archive is deleted once it has been measured and checked.
warmMemory() { "$RUN" writer "$WORK/warm" $((64 << 20)) 8 0; }
dropArchive() { [ "${BENCH_KEEP:-0}" = 1 ] || rm -f "$@"; }

runCache() {
  local envoys name y p samples perRecord bytes
  declare -A costY costP costN costW
  for envoys in 100 1000 5000; do
    echo "== cache, $envoys envoys" >&2
    startCache "$envoys"
    warmMemory
    # The simulator's processes: monitor, keeper, 8 page servers and the envoys,
    # each one record per sample, and the monitor's own record.
    perRecord=$((envoys + 10 + 1))
    name=y$envoys
    monitorCache "$name" -Y -I 200 -u 0 -t "$SAMPLES"
    y=$(perSample "$WORK/$name.res" "$SAMPLES")
    costY[$envoys]=$y
    local verdict="" target=""
    if [ "$envoys" = 1000 ]; then
      target="<= 2 ms"
      verdict=$(check "$y <= 2")
    fi
    cleanRun "$name" "$SAMPLES" $((perRecord * SAMPLES)) || verdict="ERRORS"
    bytes=$(bytesPerSample "$WORK/$name.out" "$SAMPLES")
    dropArchive "$WORK/$name.out"
    row "Cache -Y, $envoys envoys" "$(fmt "$y") ms/sample, $(fmt "$bytes" 0) B/sample" \
      "" "$(rssMb "$WORK/$name.res") MB" "$target" "$verdict"

    # The same with the archive thrown away: the monitor's own work without the
    # file system's (page cache, writeback of a few MB per sample).
    (QUILLON_GLOBAL_DIR=$WORK/global exec "$RUN" run --result "$WORK/n$envoys.res" -- \
      sh -c "exec '$TALLY' benchkeeper -Y -I 200 -u 0 -t $SAMPLES -q -f stdout >/dev/null 2>&1")
    costN[$envoys]=$(perSample "$WORK/n$envoys.res" "$SAMPLES")

    # The file system's own part: a plain program appending the same bytes per
    # sample at the same pace, with the same processes on the host.
    "$RUN" run --result "$WORK/w$envoys.res" -- "$RUN" writer "$WORK/w$envoys.out" "$(fmt "$bytes" 0)" "$SAMPLES" 200
    costW[$envoys]=$(perSample "$WORK/w$envoys.res" "$SAMPLES")

    if [ "$envoys" = 1000 ]; then
      # The default flush policy at this interval keeps 60 samples in memory: a
      # run this short measures the growth of the text buffer to that size.
      monitorCache y1000default -Y -I 200 -t "$SAMPLES"
      dropArchive "$WORK/y1000default.out"
      row "Cache -Y, 1000 envoys, default flush (-u 60)" \
        "$(fmt "$(perSample "$WORK/y1000default.res" "$SAMPLES")") ms/sample" "" \
        "$(rssMb "$WORK/y1000default.res") MB" "" ""
    fi

    name=p$envoys
    samples=$SAMPLES
    monitorCache "$name" -I 200 -u 0 -t "$samples"
    p=$(perSample "$WORK/$name.res" "$samples")
    costP[$envoys]=$p
    verdict=""
    target=""
    [ "$envoys" = 1000 ] && target="<= 25 ms" && verdict=$(check "$p <= 25")
    cleanRun "$name" "$samples" $(((perRecord + 1) * samples)) || verdict="ERRORS"
    bytes=$(bytesPerSample "$WORK/$name.out" "$samples")
    dropArchive "$WORK/$name.out"
    row "Cache + per-process figures, $envoys envoys" "$(fmt "$p") ms/sample, $(fmt "$bytes" 0) B/sample" "" \
      "$(rssMb "$WORK/$name.res") MB" "$target" "$verdict"

    if [ "$envoys" = 5000 ]; then
      # What a production run of this size does: a sample every second.
      name=s$envoys
      samples=$(( SAMPLES < 15 ? SAMPLES : 15 ))
      monitorCache "$name" -i 1 -u 0 -t "$samples"
      p=$(perSample "$WORK/$name.res" "$samples")
      target="every 1 s, no errors"
      verdict=met
      # With per-process figures the system record joins each sample.
      cleanRun "$name" "$samples" $(((perRecord + 1) * samples)) || verdict="ERRORS"
      grep -q '^\[Warning\]: too many processes' "$WORK/$name.log" &&
        target="$target (descriptor limit $(ulimit -Hn): some files reopened)"
      bytes=$(bytesPerSample "$WORK/$name.out" "$samples")
      dropArchive "$WORK/$name.out"
      row "Cache + per-process figures, $envoys envoys, -i 1" "$(fmt "$p") ms/sample, $(fmt "$bytes" 0) B/sample" "" \
        "$(rssMb "$WORK/$name.res") MB" "$target" "$verdict"
    fi
    stopLast
  done
  # Linear growth: the cost per added envoy from 1,000 to 5,000 is not above
  # 1.5 times the cost per added envoy from 100 to 1,000.
  local mode slope1 slope2 label
  for mode in Y N W P; do
    local -n cost=cost$mode
    case $mode in
      Y) label="-Y" ;;
      N) label="-Y, archive to /dev/null" ;;
      W) label="plain writer of the -Y archive's bytes" ;;
      P) label="per-process" ;;
    esac
    slope1=$(calc "(${cost[1000]} - ${cost[100]}) / 900 * 1000")
    slope2=$(calc "(${cost[5000]} - ${cost[1000]}) / 4000 * 1000")
    row "Growth per envoy ($label)" \
      "$(fmt "$slope1" 2) us (100-1000), $(fmt "$slope2" 2) us (1000-5000)" \
      "ms/sample at 100/1000/5000: $(fmt "${cost[100]}")/$(fmt "${cost[1000]}")/$(fmt "${cost[5000]}")" "" \
      "$([ $mode = W ] || echo linear)" "$([ $mode = W ] || check "$slope2 <= 1.5 * $slope1")"
  done
}

# --- host only, beside sadc ---

runHost() {
  echo "== host only, beside sadc ($HOST_SAMPLES samples at 1 s)" >&2
  local n=$HOST_SAMPLES
  background "$RUN" run --result "$WORK/sadc.res" -- "$SADC" -S XALL 1 "$n" "$WORK/sa.data"
  "$RUN" run --result "$WORK/host.res" -- "$TALLY" -X -A -i 1 -t "$n" -q -f "$WORK/host" >"$WORK/host.log" 2>&1
  wait "${STARTED[-1]}" || true
  unset 'STARTED[-1]'
  local t s
  t=$(perSample "$WORK/host.res" "$n")
  s=$(perSample "$WORK/sadc.res" "$n")
  row "Host only -X -A" "$(fmt "$t" 3) ms/sample" "sadc -S XALL $(fmt "$s" 3) ms ($(fmt "$(calc "$t/$s")")x)" \
    "$(rssMb "$WORK/host.res") MB" "<= 0.5x sadc" "$(check "$t <= 0.5 * $s")"
  row "Host only -X -A, peak resident size" "$(rssMb "$WORK/host.res") MB" \
    "sadc $(rssMb "$WORK/sadc.res") MB" "" "<= 8 MB" "$(check "$(field "$WORK/host.res" maxrss_kb) <= 8192")"
}

# --- processes of one user, beside pidstat ---

# The unprivileged user whose processes the listed-user runs record; created
# for this run (and deleted by the clean-up) when the host lacks it.
ensureBenchUser() {
  if ! id "$BENCH_USER" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$BENCH_USER"
    USER_CREATED=1
  fi
}

# Waits (at most 30 s) for the "ready" line of a helper started in the background.
waitReady() {
  local i
  for i in $(seq 300); do
    grep -q ready "$1" && return 0
    sleep 0.1
  done
  grep -q ready "$1"
}

runUsers() {
  ensureBenchUser
  local count n=$HOST_SAMPLES t s run wake threads tag
  # The third run wakes each process every 250 ms: every process has run
  # since the last sample, so every file of every process is read each time.
  # The fourth has 200 processes of 16 threads each (count:wake:threads), whose
  # switches and CPU waits are read thread by thread.
  for run in ${BENCH_USER_RUNS:-200 1000 1000:250 200:0:16}; do
    IFS=: read -r count wake threads <<<"$run"
    wake=${wake:-0}
    threads=${threads:-1}
    tag=${run//:/w}
    echo "== $count processes of one user ($threads threads each, waking every $wake ms), beside pidstat" \
      "($n samples at 1 s)" >&2
    background "$RUN" sleepers "$BENCH_USER" "$count" "$wake" "$threads" >"$WORK/sleepers.log"
    waitReady "$WORK/sleepers.log"
    background "$RUN" run --result "$WORK/pidstat$tag.res" -- \
      sh -c "exec pidstat -u -r -w -U $BENCH_USER 1 $n >'$WORK/pidstat$tag.txt'"
    "$RUN" run --result "$WORK/u$tag.res" -- "$TALLY" -X -U "$BENCH_USER" -i 1 -t "$n" -q -f "$WORK/u$tag" \
      >"$WORK/u$tag.log" 2>&1
    wait "${STARTED[-1]}" || true
    unset 'STARTED[-1]'
    stopLast  # the sleepers
    t=$(perSample "$WORK/u$tag.res" "$n")
    s=$(perSample "$WORK/pidstat$tag.res" "$n")
    local target="" verdict=""
    if [ "$run" = 1000 ]; then
      target="<= 0.5x pidstat"
      verdict=$(check "$t <= 0.5 * $s")
    fi
    # Every process of the user in every sample, beside the system record and
    # the monitor's own.
    "$READER" check "$WORK/u$tag.out" >"$WORK/u$tag.check" 2>&1 &&
      grep -q ": ok: $(((count + 2) * n)) records" "$WORK/u$tag.check" || verdict="ERRORS"
    local what="-X -U, $count processes of one user"
    [ "$threads" = 1 ] || what="$what, $threads threads each"
    [ "$wake" = 0 ] || what="$what, each waking every $wake ms"
    row "$what" "$(fmt "$t") ms/sample" \
      "pidstat -u -r -w $(fmt "$s") ms ($(fmt "$(calc "$t/$s")")x)" "$(rssMb "$WORK/u$tag.res") MB" \
      "$target" "$verdict"
  done
}

# --- descriptors under churn ---

# One user starts and ends 80 processes a second (each living half a second on
# average) while the monitor records the user's processes every second: its
# open descriptors are counted every 100 ms, beside the user's live processes.
runChurn() {
  ensureBenchUser
  local n=${BENCH_CHURN_SAMPLES:-30} uid
  uid=$(id -u "$BENCH_USER")
  echo "== descriptors: 80 processes a second of one user ($n samples at 1 s)" >&2
  background "$RUN" churn "$BENCH_USER" 80 500 >"$WORK/churn.log"
  waitReady "$WORK/churn.log"
  "$RUN" run --result "$WORK/churn.res" --fds "$uid" -- "$TALLY" -X -U "$BENCH_USER" -i 1 -t "$n" -q \
    -f "$WORK/churn" >"$WORK/churn.log2" 2>&1
  stopLast
  local mean max live verdict
  mean=$(field "$WORK/churn.res" fds_mean)
  max=$(field "$WORK/churn.res" fds_max)
  live=$(field "$WORK/churn.res" uid_procs_mean)
  "$READER" check "$WORK/churn.out" >"$WORK/churn.check" 2>&1 && [ "$(field "$WORK/churn.res" status)" = 0 ] &&
    verdict=$(check "$max <= 4 * $live * 1.5 + 64") || verdict="ERRORS"
  dropArchive "$WORK/churn.out"
  row "-X -U, 80 processes a second of one user: open descriptors" "mean $(fmt "$mean" 0), max $max" \
    "user's live processes: mean $(fmt "$live" 1) (x 4 files = $(fmt "$(calc "4 * $live")" 0))" \
    "$(rssMb "$WORK/churn.res") MB" "near live x 4 (max <= 1.5x + 64)" "$verdict"
}

# --- pacing ---

runPacing() {
  local n=$PACING_SAMPLES
  echo "== pacing: $n samples at 100 ms (100 envoys, per-process figures)" >&2
  startCache 100
  QUILLON_GLOBAL_DIR=$WORK/global "$RUN" run --result "$WORK/pace.res" --stamps 16 --interval-ms 100 \
    --out "$WORK/pace.out" -- "$TALLY" benchkeeper -I 100 -t "$n" -u 0 -q -f stdout 2>"$WORK/pace.log"
  stopLast
  local wall ideal drift end
  wall=$(field "$WORK/pace.res" wall_ms)
  ideal=$((n * 100))
  drift=$(field "$WORK/pace.res" worst_drift_ms)
  end=$(field "$WORK/pace.res" end_drift_ms)
  row "Pacing, $n samples at -I 100" "$(fmt "$(calc "$wall / 1000")" 3) s (ideal $(calc "$ideal / 1000") s)" \
    "start drift: worst $drift ms, growth $end ms" "$(rssMb "$WORK/pace.res") MB" "within 50 ms" \
    "$(check "$wall - $ideal <= 50 && $ideal - $wall <= 50")"
}

# --- the archive reader on hostile input ---

# A host archive of MB megabytes: the records of a real host archive repeated
# with rising time stamps.
bigHostArchive() {
  "$TALLY" -X -A -i 1 -t 2 -q -f "$WORK/seed" >/dev/null 2>&1
  awk -v limit=$(($1 << 20)) '
    !body { print; if ($0 == "ENDHEADER") { getline; print; body = 1 }; next }
    { rec[n++] = $0 }
    END {
      for (t = 1700000000; size < limit; t++)
        for (i = 0; i < n; i++) { $0 = rec[i]; $2 = t; print; size += length($0) + 1 }
    }' "$WORK/seed.out" >"$2"
  rm -f "$WORK/seed.out"
}

# A baseline command and tallyread's, run by turns BENCH_READER_RUNS times
# (default 3) on a machine shared with other work: the fastest run of each
# goes to base.res and sum.res.
pairFastest() {
  local i
  rm -f "$WORK/base.res" "$WORK/sum.res"
  for ((i = 0; i < ${BENCH_READER_RUNS:-3}; i++)); do
    "$RUN" run --result "$WORK/try.res" -- sh -c "$1"
    keepFastest "$WORK/try.res" "$WORK/base.res"
    "$RUN" run --result "$WORK/try.res" -- sh -c "$2"
    keepFastest "$WORK/try.res" "$WORK/sum.res"
  done
}
keepFastest() {
  [ -f "$2" ] && awk "BEGIN { exit !($(field "$1" wall_ms) >= $(field "$2" wall_ms)) }" || cp "$1" "$2"
}

# Lines that never end: a 128 MB line, a gzip bomb of one 256 MB line, and
# /dev/zero. The reader stops at its line length limit; wc -l reads the whole
# of the same input as the baseline.
runReader() {
  echo "== tallyread check of overlong lines" >&2
  local n what base
  head -c $((128 << 20)) /dev/zero | tr '\0' 'a' >"$WORK/longline.out"
  head -c $((256 << 20)) /dev/zero | tr '\0' 'a' | gzip -1 >"$WORK/bomb.out.gz"
  for what in longline.out bomb.out.gz /dev/zero; do
    local path=$what
    [ "${what#/}" = "$what" ] && path=$WORK/$what
    "$RUN" run --result "$WORK/reader.res" -- "$READER" check "$path" >/dev/null 2>"$WORK/reader.err" || true
    if [ "$what" = /dev/zero ]; then
      base="(endless input)"
    elif [ "$what" = bomb.out.gz ]; then
      "$RUN" run --result "$WORK/base.res" -- sh -c "gzip -dc '$path' | wc -l >/dev/null"
      base="gzip -dc piped to wc -l $(field "$WORK/base.res" wall_ms) ms"
    else
      "$RUN" run --result "$WORK/base.res" -- wc -l "$path" >/dev/null
      base="wc -l $(field "$WORK/base.res" wall_ms) ms"
    fi
    n=$(field "$WORK/reader.res" wall_ms)
    row "tallyread check, $what (one line)" "$n ms" "$base" "$(rssMb "$WORK/reader.res") MB" \
      "refused, <= 16 MB" "$(grep -q 'is longer than' "$WORK/reader.err" &&
        [ "$(field "$WORK/reader.res" maxrss_kb)" -le 16384 ] && echo met || echo MISSED)"
  done
  rm -f "$WORK/longline.out" "$WORK/bomb.out.gz"

  # summary over a large archive: the records of a real host archive repeated
  # with rising time stamps up to BENCH_READER_MB (default 1024) megabytes.
  local mb=${BENCH_READER_MB:-1024} t s
  echo "== tallyread summary over a $mb MB archive" >&2
  bigHostArchive "$mb" "$WORK/big.out"
  pairFastest "wc -w '$WORK/big.out' >/dev/null" "'$READER' summary '$WORK/big.out' >/dev/null"
  t=$(field "$WORK/sum.res" wall_ms)
  s=$(field "$WORK/base.res" wall_ms)
  row "tallyread summary, $mb MB plain" "$t ms ($(fmt "$(calc "$mb * 1000 / $t")" 0) MB/s)" \
    "wc -w $s ms ($(fmt "$(calc "$t / $s")")x)" "$(rssMb "$WORK/sum.res") MB" "<= 1x wc -w" "$(check "$t <= $s")"
  gzip -1 -c "$WORK/big.out" >"$WORK/big.out.gz"
  rm -f "$WORK/big.out"
  pairFastest "gzip -dc '$WORK/big.out.gz' >/dev/null" "'$READER' summary '$WORK/big.out.gz' >/dev/null"
  t=$(field "$WORK/sum.res" wall_ms)
  s=$(field "$WORK/base.res" wall_ms)
  row "tallyread summary, $mb MB gzip" "$t ms" "gzip -dc $s ms ($(fmt "$(calc "$t / $s")")x)" \
    "$(rssMb "$WORK/sum.res") MB" "<= 1.3x gzip -dc" "$(check "$t <= 1.3 * $s")"
  rm -f "$WORK/big.out.gz"
}

# --- chart pages ---

# The ms until Chromium has drawn a page, or "n/a" without the browser.
openMs() {
  local out
  out=$(node tools/tallyread/chart/browser_test.mjs "$READER" "$WORK/browser" --open "$1" 2>/dev/null) || true
  out=$(sed -n 's/^open_ms=\([0-9]*\).*/\1/p' <<<"$out")
  echo "${out:-n/a}"
}

# A day of 1,000 envoys (every BENCH_CHART_STEP seconds, default 10) with the
# host's CPU: the dashboard and a chart of every envoy's page reads. Then the
# dashboard of a BENCH_READER_MB (default 1024) MB host archive.
runChart() {
  local step=${BENCH_CHART_STEP:-10} mb=${BENCH_READER_MB:-1024} t size ms
  echo "== tallyread chart of a day of 1,000 envoys every $step s" >&2
  awk -v step="$step" 'BEGIN {
      print "TALLY \"3\""; print "Platform = \"x86-64 (Solaris i386)\""; print "QuillonVersion = \"3.2.8.1\""
      print "Machine = \"bench\""; print "Time = \"12/05/26 00:00:00 UTC\""; print "StatTypes = ["
      print "Solaris_x86_System ( StatTypeNum Time ProcessName ProcessId SessionId PercentCpuUser PercentCpuSystem PercentCpuWaiting PercentCpuIdle ) 64 ,"
      print "Envoy ( StatTypeNum Time ProcessName ProcessId SessionId PageReads PageWrites LocalPageCacheHits LocalPageCacheMisses PercentCpuUsed ) 8"
      print "]"; print "%%%%Generated by the statistics monitor"; print "ENDHEADER"; print ""
      srand(7)
      for (t = 0; t < 86400; t += step) {
        u = int(rand() * 60); print "64", 1700000000 + t, "host 0 0", u, 10, 2, 88 - u
        for (e = 0; e < 1000; e++) {
          r[e] += int(rand() * 500); w[e] += int(rand() * 50); h[e] += int(rand() * 5000); m[e] += int(rand() * 40)
          print "8", 1700000000 + t, "envoy" e, 10000 + e, e, r[e], w[e], h[e], m[e], int(rand() * 3)
        }
      }
    }' >"$WORK/envoys.out"
  local what
  for what in dashboard selection; do
    local args=()
    [ "$what" = selection ] && args=(--type Envoy --fields PageReads)
    "$RUN" run --result "$WORK/chart.res" -- "$READER" chart "$WORK/envoys.out" "${args[@]}" -o "$WORK/$what.html" \
      2>/dev/null
    t=$(field "$WORK/chart.res" wall_ms)
    size=$(stat -c %s "$WORK/$what.html")
    ms=$(openMs "$WORK/$what.html")
    row "tallyread chart, day of 1,000 envoys, $what" \
      "$(fmt "$(calc "$size / 1048576")") MB page in $t ms; opens in $ms ms" \
      "archive $(( $(stat -c %s "$WORK/envoys.out") >> 20 )) MB" "$(rssMb "$WORK/chart.res") MB" "< 10 MB, opens < 2 s" \
      "$(check "$size < 10485760 && ${ms/n\/a/99999} < 2000")"
    rm -f "$WORK/$what.html"
  done
  rm -f "$WORK/envoys.out"

  echo "== tallyread chart of a $mb MB host archive" >&2
  bigHostArchive "$mb" "$WORK/big.out"
  "$RUN" run --result "$WORK/base.res" -- sh -c "'$READER' summary '$WORK/big.out' >/dev/null"
  "$RUN" run --result "$WORK/chart.res" -- "$READER" chart "$WORK/big.out" -o "$WORK/big.html"
  t=$(field "$WORK/chart.res" wall_ms)
  size=$(stat -c %s "$WORK/big.html")
  ms=$(openMs "$WORK/big.html")
  row "tallyread chart, $mb MB host archive, dashboard" \
    "$(fmt "$(calc "$size / 1048576")") MB page in $t ms; opens in $ms ms" \
    "summary $(field "$WORK/base.res" wall_ms) ms" "$(rssMb "$WORK/chart.res") MB" "< 10 MB" "$(check "$size < 10485760")"
  rm -f "$WORK/big.out" "$WORK/big.html"
}

wants encoder && runEncoder
wants cache && runCache
wants host && runHost
wants users && runUsers
wants churn && runChurn
wants pacing && runPacing
wants reader && runReader
wants chart && runChart

# --- the table ---

echo
echo "tallyscope performance ($(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), kernel $(uname -r))"
echo "CPU figures: the program's run time as the scheduler counts it, over the whole run (start-up included), divided by its samples."
echo
awk -F'|' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
  END {
    split("Scenario|Monitor|Baseline (same run)|Peak RSS|Target|Result", head, "|")
    for (i = 1; i <= 6; i++) if (length(head[i]) > w[i]) w[i] = length(head[i])
    line = ""
    for (i = 1; i <= 6; i++) { printf "%-*s%s", w[i], head[i], i < 6 ? " | " : "\n"; line = line sprintf("%s%s", substr("--------------------------------------------------------------------------------", 1, w[i]), i < 6 ? "-|-" : "") }
    print line
    for (r = 1; r <= NR; r++) for (i = 1; i <= 6; i++) printf "%-*s%s", w[i], cell[r, i], i < 6 ? " | " : "\n"
  }' "$TABLE"
