#!/usr/bin/env bash
# Installs the build into a temporary root and builds the Debian package, then checks that both
# hold what a user's machine needs and nothing of the development tools.
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

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/tarnel_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package was built"
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -q 'v2ray' || fail "the package does not depend on v2ray: $depends"
echo "$depends" | grep -q 'libqt6' || fail "the package does not name the Qt libraries: $depends"
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tarnel ./usr/share/applications/tarnel.desktop ./usr/libexec/tarnel/io.tarnelmacos.ne \
         ./usr/lib/systemd/system/io.tarnelmacos.ne.service ./usr/lib/systemd/system/io.tarnelmacos.ne.socket; do
  echo "$contents" | grep -q " $f\$" || fail "package lacks $f"
done
echo "$contents" | grep -q devservice && fail "the package holds the development service"
echo "installed layout and package: ok ($(basename "$deb"))"
