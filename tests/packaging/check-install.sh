#!/usr/bin/env bash
# Installs the build into a temporary root and checks that it holds what a user's machine needs
# (the program, Spindrift with its confined service, the engine's user, Debian's documents) and
# nothing of the development tools.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root="$work/root"
cmake --install "$build" --prefix "$root/usr" >/dev/null
for f in usr/bin/tarnel usr/share/applications/tarnel.desktop usr/share/icons/hicolor/scalable/apps/tarnel.svg; do
  [ -e "$root/$f" ] || fail "missing $f"
done
find "$root/usr/lib" -path '*/tarnel/libTarnelLibrary.so*' | grep -q . || fail "missing the service library"
find "$root/usr/lib" -path '*/tarnel/libHelmsey.so*' | grep -q . || fail "missing the core framework"
find "$root" -name '*devservice*' | grep -q . && fail "the development service was installed"
find "$root" -name '*_tests' | grep -q . && fail "a test program was installed"
# The installed program finds its private libraries by its run path alone.
missing=$(env -u LD_LIBRARY_PATH ldd "$root/usr/bin/tarnel" | grep 'not found' || true)
[ -z "$missing" ] || fail "unresolved libraries: $missing"
# Tunnel mode: Spindrift, its socket-activated service and its polkit action.
for f in usr/libexec/tarnel/io.tarnelmacos.ne usr/lib/systemd/system/io.tarnelmacos.ne.socket \
         usr/lib/systemd/system/io.tarnelmacos.ne.service usr/share/polkit-1/actions/io.tarnelmacos.ne.policy; do
  [ -e "$root/$f" ] || fail "missing $f"
done
grep -qx "ExecStart=$root/usr/libexec/tarnel/io.tarnelmacos.ne --polkit" "$root/usr/lib/systemd/system/io.tarnelmacos.ne.service" \
  || fail "the service does not start the installed Spindrift"
missing=$(env -u LD_LIBRARY_PATH ldd "$root/usr/libexec/tarnel/io.tarnelmacos.ne" | grep 'not found' || true)
[ -z "$missing" ] || fail "Spindrift has unresolved libraries: $missing"
grep -q '^Exec=tarnel' "$root/usr/share/applications/tarnel.desktop" || fail "desktop entry does not start tarnel"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$root/usr/share/applications/tarnel.desktop"; fi

# The units as systemd reads them: no unknown or misspelt setting, and the service confined (the
# exposure systemd computes from its sandboxing stays low).
units=("$root"/usr/lib/systemd/system/io.tarnelmacos.ne.{socket,service})
# The manual page named by the service is in the temporary root, not where man looks.
complaints=$(systemd-analyze verify --man=no "${units[@]}" 2>&1 || echo "systemd-analyze verify failed")
[ -z "$complaints" ] || fail "the units do not verify: $complaints"
exposure=$(systemd-analyze security --offline=yes "${units[1]}" 2>/dev/null | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] || fail "systemd-analyze security gave no exposure level"
awk -v e="$exposure" 'BEGIN { exit !(e <= 4.0) }' || fail "the service is exposed ($exposure; at most 4.0)"
for key in NoNewPrivileges=yes ProtectSystem=strict ProtectHome=yes PrivateTmp=yes \
           "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK"; do
  grep -qx "$key" "${units[1]}" || fail "the service lacks $key"
done
grep -q '^u tarnel-engine ' "$root/usr/lib/sysusers.d/tarnel-engine.conf" || fail "no system user for the engine"
grep -q '^License: Expat' "$root/usr/share/doc/tarnel/copyright" || fail "no machine-readable copyright file"
gzip -t "$root/usr/share/doc/tarnel/changelog.Debian.gz" || fail "no packaging changelog"
echo "installed layout: ok (service exposure $exposure)"
