#!/bin/bash
# cpack -G DEB builds a package that installs under /usr with the settings in
# /etc, depends on the libraries the programs link, keeps the settings as a
# configuration file, and that apt would install on this system.
# Usage: deb_test.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$scratch"/pkg/tallyscope_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single tallyscope_*_amd64.deb in $(ls "$scratch/pkg")"
deb=${debs[0]}

# The install tree under /usr, the settings under /etc.
expected=$(sed -e 's|^etc/|./etc/|;t' -e 's|^|./usr/|' <<<"$installed_files" | LC_ALL=C sort)
expect_same "the package's file list" "$expected" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)"

depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for lib in libc6 zlib1g libstdc++6 gzip passwd; do
  grep -qxF "$lib" <<<"$names" || fail "Depends ($depends) lacks $lib"
done
expect_same "conffiles" "/etc/default/tallyscope" "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)"
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qx './postinst' || fail "the package has no postinst"
# The package's units point at the package's own paths.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/tallyscope@.service >"$scratch/unit"
grep -qx 'ExecStart=/usr/libexec/tallyscope/tallyscope-run %I' "$scratch/unit" || fail "the packaged unit starts another wrapper"
grep -qx 'EnvironmentFile=-/etc/default/tallyscope' "$scratch/unit" || fail "the packaged unit reads another defaults file"

# apt resolves it against this system without installing it.
apt-get install -s -q "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log" >&2; fail "apt-get cannot install the package"; }
grep -q '^Inst tallyscope ' "$scratch/apt.log" || { cat "$scratch/apt.log" >&2; fail "apt-get would not install tallyscope"; }
echo "package $(basename "$deb"): ok"
