#!/usr/bin/env bash
# The program on a system where a QML module it imports is missing: QtQuick.Layouts' folder is
# hidden under an empty one in a mount namespace of the test's own, as on a system without the
# module's package. The program must end with a failure status and say why, not run on (or end
# "successfully") without a window.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work"/home/{config,data,state,cache,runtime}
chmod 700 "$work/home/runtime"
layouts="$(/usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_QML)/QtQuick/Layouts"
[ -f "$layouts/qmldir" ] || fail "QtQuick.Layouts is not installed here ($layouts)"

# Its own X server, home and network namespace (loopback only): nothing it starts reaches out.
cat > "$work/run.sh" <<EOF
mount -t tmpfs tmpfs "$layouts"
ip link set lo up
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \\
       XDG_STATE_HOME="$work/home/state" XDG_CACHE_HOME="$work/home/cache" \\
       XDG_RUNTIME_DIR="$work/home/runtime"
exec timeout 90 "$program"
EOF
if [ "$(id -u)" -eq 0 ]; then isolate=(unshare --mount --net); else isolate=(unshare --map-root-user --mount --net); fi
status=0
"${isolate[@]}" "$(dirname "$0")/../../scripts/with-xvfb" bash "$work/run.sh" >"$work/out.log" 2>&1 || status=$?
[ "$status" -ne 124 ] || fail "the program kept running without its window"
[ "$status" -ne 0 ] || fail "the program ended with status 0 without its window: $(tail -5 "$work/out.log")"
grep -q 'the main window could not be loaded' "$work/out.log" || fail "no reason given: $(tail -5 "$work/out.log")"
grep -q 'QtQuick.Layouts' "$work/out.log" || fail "the reason does not name the module: $(tail -5 "$work/out.log")"
echo "status $status"; grep -A6 "could not be loaded" "$work/out.log"
