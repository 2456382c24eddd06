#!/bin/bash
# cmake --install puts the programs, manual pages, units, scripts, completion
# and defaults file where they belong; the units it writes verify with
# systemd-analyze and name the installed scripts; every manual page renders
# without a warning and documents what an operator looks for.
# Usage: install_test.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
build=$1
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"

expect_same "the install tree" "$installed_files" "$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
for f in bin/tallyscope bin/tallyread bin/cachesim libexec/tallyscope/tallyscope-run libexec/tallyscope/tallyscope-retention; do
  [ -x "$prefix/$f" ] || fail "$f is not executable"
done

# The units name this prefix's wrapper and defaults file, so systemd-analyze
# can check that their programs exist.
units=("$prefix"/lib/systemd/system/*)
grep -q "^ExecStart=$prefix/libexec/tallyscope/tallyscope-run %I\$" "$prefix/lib/systemd/system/tallyscope@.service" ||
  fail "tallyscope@.service does not start the installed wrapper"
grep -q "^EnvironmentFile=-$prefix/etc/default/tallyscope\$" "$prefix/lib/systemd/system/tallyscope-host.service" ||
  fail "tallyscope-host.service does not read the installed defaults file"
if ! systemd-analyze verify --man=no "${units[@]}" >"$scratch/verify.log" 2>&1 || [ -s "$scratch/verify.log" ]; then
  cat "$scratch/verify.log" >&2
  fail "systemd-analyze verify found problems in the units"
fi
# What makes them services that run for months: a stop by SIGTERM is a
# success, a fault ends the run soon and is restarted, an unprivileged user.
for unit in tallyscope@.service tallyscope-host.service; do
  for line in SuccessExitStatus=5 Restart=on-failure Environment=QL_CORE_TIME_OUT=5 User=tallyscope NoNewPrivileges=yes; do
    grep -qx "$line" "$prefix/lib/systemd/system/$unit" || fail "$unit lacks $line"
  done
done

for page in tallyscope tallyread cachesim; do
  file=$prefix/share/man/man1/$page.1
  text=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$file" 2>"$scratch/man.err")
  [ ! -s "$scratch/man.err" ] || { cat "$scratch/man.err" >&2; fail "man warns about $page(1)"; }
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "SEE ALSO"; do
    grep -qx "$section" <<<"$text" || fail "$page(1) has no section $section"
  done
done
# Every option of the monitor's usage text and every environment variable
# it reads is on its page.
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/tallyscope.1" 2>/dev/null)
for option in $("$prefix/bin/tallyscope" 2>/dev/null | grep -oE '^  -[A-Za-z]' | tr -d ' '); do
  grep -qE "^ +$option([^A-Za-z]|$)" <<<"$page" || fail "tallyscope(1) does not describe $option"
done
for variable in QUILLON_GLOBAL_DIR QL_DISABLE_WARNING QL_QLLIST_TIME_FORMAT QL_CFTIME QL_CORE_TIME_OUT \
  QL_WRITE_CORE_FILE QL_DEBUG_SHARED_MEM QL_DISABLE_SHMDT POSIXLY_CORRECT; do
  grep -qE "^ +$variable\$" <<<"$page" || fail "tallyscope(1) does not describe $variable"
done
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/cachesim.1" 2>/dev/null)
for option in $("$prefix/bin/cachesim" --help | grep -oE '^  --[a-z-]+'); do
  grep -qE "^ +$option\b" <<<"$page" || fail "cachesim(1) does not describe $option"
done
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/tallyread.1" 2>/dev/null)
for command in check types fields csv json summary top; do
  grep -qE "^ +$command\$" <<<"$page" || fail "tallyread(1) has no section for $command"
done
echo "install tree, units and manual pages: ok"
