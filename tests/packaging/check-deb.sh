#!/usr/bin/env bash
# Builds the Debian package as a release is built (scripts/package: a hardened build of
# its own) and checks it as a fresh Debian 12 meets it:
#   - the maintainer scripts enable, start, restart and stop Spindrift's socket as Debian's systemd
#     helpers do, make the engine's user, and leave a system without systemd alone;
#   - Depends names the package of every library a binary links, every Qt plugin and QML module
#     the running program loads or imports, and everything else it maps comes with those;
#   - every binary is stripped and hardened;
#   - lintian finds no error.
#
#   check-deb.sh <source folder> <release build folder> [package]
# The build folder is kept between runs, so that only what changed is rebuilt. Given a package,
# that one is checked instead of a new build.
set -euo pipefail
source=$1
build=$2
given=${3:-}
work=$(mktemp -d)
program_pid=""
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# A private mount (and network) namespace of the test's own; unprivileged through a user namespace.
isolated() {
  if [ "$(id -u)" -eq 0 ]; then unshare "$@"; else unshare --map-root-user "$@"; fi
}

if [ -n "$given" ]; then
  deb=$(realpath "$given")
else
  # The compiler cache keeps temporary files in the runtime folder: one of the test's own.
  mkdir -m 700 "$work/build-runtime"
  # TARNEL_PACKAGE_CMAKE_ARGS: CMake arguments the suite's tree hands on (its warning setting).
  deb=$(XDG_RUNTIME_DIR="$work/build-runtime" "$source/scripts/package" --build "$build" --output "$work/deb" \
    -- ${TARNEL_PACKAGE_CMAKE_ARGS:-})
fi
[ -f "$deb" ] || fail "no package was built"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"

# --- Maintainer scripts -------------------------------------------------------------------------
# Each script runs with the systemd helpers replaced by stand-ins that record their calls, in a
# mount namespace whose /run has (or lacks) systemd's mark of a running systemd.
stubs="$work/stubs"
mkdir -p "$stubs"
for tool in deb-systemd-helper deb-systemd-invoke systemctl systemd-sysusers adduser; do
  cat > "$stubs/$tool" <<EOF
#!/bin/sh
echo "$tool \$*" >> "\$TARNEL_CALLS"
if [ "$tool \$1" = "deb-systemd-helper was-enabled" ] || [ "$tool \$2" = "deb-systemd-helper was-enabled" ]; then
  [ "\${TARNEL_WAS_ENABLED:-yes}" = yes ]
fi
EOF
  chmod +x "$stubs/$tool"
done
tools="$work/tools"
mkdir -p "$tools"
ln -s "$(command -v getent)" "$tools/getent"

# run_script <systemd running: yes|no> <script> <arguments...>: prints the recorded calls.
run_script() {
  local systemd=$1 script=$2
  shift 2
  local calls="$work/calls"
  : > "$calls"
  isolated --mount sh -c '
    mount -t tmpfs tmpfs /run
    if [ "$1" = yes ]; then mkdir -p /run/systemd/system; fi
    shift
    exec "$@"' run "$systemd" env PATH="$stubs:$tools" TARNEL_CALLS="$calls" "$work/control/$script" "$@" \
    || fail "$script $* failed"
  cat "$calls"
}
expect_call() { grep -qxF "$2" <<<"$1" || fail "$3: no \"$2\" among: $(tr '\n' ';' <<<"$1")"; }
expect_no_call() { ! grep -q "$2" <<<"$1" || fail "$3: unexpected \"$2\" among: $(tr '\n' ';' <<<"$1")"; }

socket=io.tarnelmacos.ne.socket
calls=$(run_script yes postinst configure)
expect_call "$calls" "systemd-sysusers tarnel-engine.conf" "installation"
expect_call "$calls" "deb-systemd-helper enable $socket" "installation"
expect_call "$calls" "systemctl --system daemon-reload" "installation"
expect_call "$calls" "deb-systemd-invoke start $socket" "installation"

calls=$(run_script yes postinst configure 0.9.0-1)
expect_call "$calls" "deb-systemd-invoke restart $socket" "upgrade"

calls=$(TARNEL_WAS_ENABLED=no run_script yes postinst configure 0.9.0-1)
expect_no_call "$calls" "helper enable" "upgrade of a socket the administrator disabled"
expect_call "$calls" "deb-systemd-helper update-state $socket" "upgrade of a socket the administrator disabled"

calls=$(run_script no postinst configure)
expect_call "$calls" "deb-systemd-helper enable $socket" "installation without systemd running"
expect_no_call "$calls" "deb-systemd-invoke" "installation without systemd running"
expect_no_call "$calls" "systemctl" "installation without systemd running"

mv "$stubs/systemd-sysusers" "$work/systemd-sysusers.away"
calls=$(run_script no postinst configure)
mv "$work/systemd-sysusers.away" "$stubs/systemd-sysusers"
grep -q '^adduser --system .*tarnel-engine$' <<<"$calls" || fail "no system user made without systemd-sysusers: $calls"

calls=$(run_script yes prerm remove)
expect_call "$calls" "deb-systemd-invoke stop io.tarnelmacos.ne.service $socket" "removal"
calls=$(run_script yes prerm upgrade 1.0.1-1)
expect_no_call "$calls" "deb-systemd-invoke" "upgrade (old package's prerm)"
calls=$(run_script no prerm remove)
expect_no_call "$calls" "deb-systemd-invoke" "removal without systemd running"

calls=$(run_script yes postrm remove)
expect_call "$calls" "deb-systemd-helper mask $socket" "removal"
calls=$(run_script yes postrm purge)
expect_call "$calls" "deb-systemd-helper purge $socket" "purge"
expect_call "$calls" "deb-systemd-helper unmask $socket" "purge"
echo "maintainer scripts: ok"

# --- Depends ------------------------------------------------------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
# Every package name in Depends (each alternative counts), then all that installing them brings.
named=$(tr ',|' '\n\n' <<<"$depends" | sed -e 's/(.*)//' -e 's/:any//' -e 's/[[:space:]]//g' | grep . | sort -u)
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
            --no-enhances $named 2>/dev/null | grep -v '^ ' | tr -d '<>' | sort -u)
# The package holding each file, asked of dpkg once for many files (each question reads its whole
# database). On a merged /usr dpkg may know a file by its /lib name, or by the name it links to.
declare -A owners
variants() { local path; for path in "$1" "$(realpath "$1")"; do echo "$path"; echo "${path#/usr}"; echo "/usr$path"; done; }
learn_owners() {
  local line
  while IFS= read -r line; do
    owners[${line#*: }]=${line%%[:,]*}
  done < <(for path in "$@"; do variants "$path"; done | sort -u | xargs -d '\n' dpkg -S 2>/dev/null | grep -v '^diversion')
}
owner() {
  local candidate
  for candidate in "$1" "${1#/usr}" "/usr$1"; do
    [ -z "${owners[$candidate]:-}" ] || { echo "${owners[$candidate]}"; return; }
  done
  learn_owners "$1"
  for candidate in $(variants "$1"); do
    [ -z "${owners[$candidate]:-}" ] || { echo "${owners[$candidate]}"; return; }
  done
  echo "?"
}
declare -A named_set closure_set
for package in $named; do named_set[$package]=1; done
for package in $closure; do closure_set[$package]=1; done
in_depends() { [ -n "${named_set[$1]:-}" ]; }
in_closure() { [ -n "${closure_set[$1]:-}" ] || in_depends "$1"; }

binaries=$(find "$root" -type f \( -perm -u+x -o -name '*.so*' \) -exec sh -c 'head -c4 "$1" | grep -q ELF' sh {} \; -print)
[ -n "$binaries" ] || fail "no binaries in the package"
linked=$(for binary in $binaries; do env -u LD_LIBRARY_PATH ldd "$binary"; done \
         | awk '$3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' | grep -v "^$root/" | sort -u)
learn_owners $linked
# Each library a binary links by name is one Depends names.
for binary in $binaries; do
  resolved=$(env -u LD_LIBRARY_PATH ldd "$binary")
  for needed in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(awk -v n="$needed" '$1 == n && $3 ~ /^\// { print $3 }
                               $1 ~ /^\// && $1 ~ ("/" n "$") { print $1 }' <<<"$resolved" | head -1)
    [ -n "$path" ] || fail "${binary#$root}: $needed is not found"
    case "$path" in "$root"/*) continue ;; esac
    package=$(owner "$path")
    in_depends "$package" || fail "${binary#$root} links $needed ($package), which Depends does not name"
  done
done
# All they pull in comes with Depends.
for path in $linked; do
  package=$(owner "$path")
  in_closure "$package" || fail "the binaries load $path ($package), which Depends does not bring"
done

# The QML modules the program's pages import.
qml_dir=$(/usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_QML)
for module in $(grep -rhoE '^\s*import\s+[A-Za-z][A-Za-z0-9_.]*' "$source/ui" --include='*.qml' | awk '{ print $2 }' \
                | grep -v '^Lumora' | sort -u); do
  qmldir="$qml_dir/${module//.//}/qmldir"
  [ -f "$qmldir" ] || fail "the program imports $module, which is not installed here"
  package=$(owner "$qmldir")
  in_depends "$package" || fail "the program imports $module ($package), which Depends does not name"
done
# The browser engine's page process, which Qt starts for the web windows.
if grep -q libQt6WebEngineCore <<<"$(readelf -d "$root/usr/bin/tarnel")"; then
  package=$(owner "$(/usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_LIBEXECS)/QtWebEngineProcess")
  in_depends "$package" || fail "the web windows need QtWebEngineProcess ($package), which Depends does not name"
fi

# What the installed program really loads: it runs from the unpacked package, in a network
# namespace of its own (loopback only) with its own X server and home, until its window is up.
home="$work/home"
mkdir -p "$home"/{config,data,state,cache,runtime}
chmod 700 "$home/runtime"
cat > "$work/run-program.sh" <<EOF
ip link set lo up
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \\
       XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime"
unset LD_LIBRARY_PATH QML_IMPORT_PATH QML2_IMPORT_PATH QT_PLUGIN_PATH
exec "$source/scripts/with-xvfb" --screen 1280x800x24 \\
  bash -c 'echo "\$DISPLAY" > "$work/display"; exec "$root/usr/bin/tarnel"'
EOF
isolated --net bash "$work/run-program.sh" >"$work/program.log" 2>&1 &
runner=$!
# The program is the runner itself once it has exec'd (as root) or its child (in a user namespace).
window=""
for _ in $(seq 1200); do
  kill -0 "$runner" 2>/dev/null || fail "the installed program ended before its window: $(tail -20 "$work/program.log")"
  display=$(cat "$work/display" 2>/dev/null || true)
  program_pid=$(pgrep -f -x "$root/usr/bin/tarnel" | head -1 || true)
  if [ -n "$program_pid" ] && [ -n "$display" ] && DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '("tarnel" '; then
    window=yes
    break
  fi
  sleep 0.1
done
[ -n "$window" ] || fail "the installed program showed no window within 120 s: $(tail -20 "$work/program.log")"
loaded=$(awk '$6 ~ /\.so/ { print $6 }' "/proc/$program_pid/maps" | sort -u)
kill "$program_pid" "$runner" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
program_pid=""
learn_owners $(grep -v "^$root/" <<<"$loaded")
plugins=0
missing=""
for path in $loaded; do
  case "$path" in "$root"/*) continue ;; esac
  package=$(owner "$path")
  case "$path" in
    */qt6/plugins/*|*/qt6/qml/*)
      plugins=$((plugins + 1))
      in_depends "$package" || missing+=" $path ($package, named by no package in Depends);" ;;
    *)
      in_closure "$package" || missing+=" $path ($package, brought by no package in Depends);" ;;
  esac
done
[ -z "$missing" ] || fail "the program loads what the package does not bring:$missing"
[ "$plugins" -gt 0 ] || fail "the program's Qt plugins were not seen (maps: $(wc -l <<<"$loaded") libraries)"
echo "Depends: ok ($(wc -w <<<"$named") packages named; $(wc -l <<<"$loaded") libraries loaded, $plugins of them Qt plugins and QML modules)"

# --- Stripped and hardened ----------------------------------------------------------------------
for binary in $binaries; do
  name=${binary#$root}
  ! readelf -SW "$binary" | grep -qE ' \.(symtab|debug_[a-z]+) ' || fail "$name is not stripped"
  readelf -lW "$binary" | grep -q GNU_RELRO || fail "$name has no RELRO"
  readelf -dW "$binary" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' || fail "$name is not bound now"
  symbols=$(readelf -W --dyn-syms "$binary")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
  grep -qE '__[a-z_]+_chk(@| )' <<<"$symbols" || fail "$name is not fortified"
  case "$name" in
    *.so*) ;;
    *) readelf -hW "$binary" | grep -q 'Type:.*DYN' || fail "$name is not position-independent" ;;
  esac
done
echo "binaries: stripped and hardened"

# --- lintian -----------------------------------------------------------------------------------
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup installs it)"
status=0
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || status=$?
report=$(grep -v 'running with root privileges' "$work/lintian.log" || true)
[ "$status" -eq 0 ] || fail "lintian reports errors: $report"
echo "lintian: no error${report:+; $(grep -c '^W:' <<<"$report") warnings}"
echo "$report"
