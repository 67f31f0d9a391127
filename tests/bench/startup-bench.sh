#!/usr/bin/env bash
# Start-up figures of the program, measured on this machine:
#   process start to the first frame of the start-up page (median of N launches, after one warm-up)
#   resident memory with the home page shown (signed in to the development service)
#
#   tests/bench/startup-bench.sh [build folder] [launches]
set -euo pipefail
build=${1:-build/default}
runs=${2:-10}
bench="$build/tests/bench/tarnel_startup_bench"
service="$build/tools/devservice/tarnel-devservice"
[ -x "$bench" ] && [ -x "$service" ] || { echo "build tarnel_startup_bench and tarnel-devservice first" >&2; exit 2; }

work=$(mktemp -d)
"$service" --state "$work/service" >"$work/service.log" 2>&1 &
service_pid=$!
trap 'kill $service_pid 2>/dev/null; wait $service_pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 1200); do
  grep -q '^ready$' "$work/service.log" && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q '^ready$' "$work/service.log" || { echo "the development service did not start:" >&2; cat "$work/service.log" >&2; exit 1; }

# The Secret Service of a fresh headless session would prompt for a new keyring and wait for ever;
# the benchmark keeps the device identity in the file store instead.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export TARNEL_BENCH_CA="$work/service/ca.crt" bench runs work
"$(dirname "$0")/../../scripts/with-xvfb" --screen 1024x768x24 bash -c '
  fresh_home() {
    rm -rf "$work/home"; mkdir -p "$work/home/runtime"; chmod 700 "$work/home/runtime"
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
      XDG_CACHE_HOME="$work/home/cache" XDG_STATE_HOME="$work/home/state" XDG_RUNTIME_DIR="$work/home/runtime"
  }
  times=()
  for i in $(seq 0 "$runs"); do
    fresh_home
    start=$(date +%s%N)
    line=$("$bench" first-frame -platform xcb 2>/dev/null | grep "^first-frame-ns")
    end=${line#first-frame-ns }
    ms=$(( (end - start) / 1000000 ))
    [ "$i" -gt 0 ] && times+=("$ms")   # the first launch warms the caches
  done
  sorted=$(printf "%s\n" "${times[@]}" | sort -n)
  median=$(echo "$sorted" | awk "{a[NR]=\$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}")
  echo "start to first frame (ms, $runs launches): median $median, min $(echo "$sorted" | head -1), max $(echo "$sorted" | tail -1)"
  fresh_home
  rss=$("$bench" home-rss -platform xcb 2>/dev/null | grep "^home-rss-kb" | cut -d" " -f2)
  echo "resident memory with the home page shown: $((rss / 1024)) MB ($rss kB)"
'
