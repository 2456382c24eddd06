#!/bin/bash
# Bash completion: tallyscope completes its options and the keeper and cache
# names of the global directory's registry; tallyread completes its commands,
# each command's options, and the types and fields of the archive on the line.
# Usage: completion_test.sh TALLYSCOPE TALLYREAD
source "$(dirname "$0")/lib.sh"
tallyscope=$1
tallyread=$2
completions=$(dirname "$0")/../../dist/completion
source "$completions/tallyscope"
source "$completions/tallyread"

# complete WORD...: the completions of the last word.
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "_${1##*/}"
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

mkdir -p "$scratch/global/locks"
touch "$scratch/global/locks/prod..LCK" "$scratch/global/locks/prod~1a2b3c..LCK" \
  "$scratch/global/locks/qa..LCK" "$scratch/global/locks/quillon.hostid"
export QUILLON_GLOBAL_DIR=$scratch/global
expect_same "keeper names" "prod
prod~1a2b3c" "$(complete_line tallyscope -A pr)"
expect_same "options after -A" "-X" "$(complete_line tallyscope -A -X)"
expect_same "no names after -i" "" "$(complete_line tallyscope prod -i "")"

"$tallyscope" -X -C -I 100 -t 2 -q -f "$scratch/a" >/dev/null 2>&1 || fail "the monitor did not write an archive"
archive=$scratch/a.out
expect_same "commands" "summary" "$(complete_line "$tallyread" su)"
expect_same "types of the archive" "x86_CPU" "$(complete_line "$tallyread" csv "$archive" --type x86)"
expect_same "fields of a type" "PercentCpuUser" "$(complete_line "$tallyread" csv "$archive" --type x86_CPU --fields PercentCpuU)"
expect_same "the last field of a list" "Time,PercentCpuUser" \
  "$(complete_line "$tallyread" csv "$archive" --type x86_CPU --fields Time,PercentCpuU)"
expect_same "options of top" "--by" "$(complete_line "$tallyread" top "$archive" --b)"
expect_same "no types without an archive" "" "$(complete_line "$tallyread" csv --type x86)"
echo "completion: ok"
