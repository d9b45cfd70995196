#!/usr/bin/env bash
# Runs the Windows test executables of a build directory under Wine, each
# suite as one process, and judges each by GoogleTest's summary lines.
#   scripts/wine_tests.sh [build-dir]      (default build-windows)
# Wine runs in its own prefix (build-windows/wine-prefix unless WINEPREFIX
# is set), with no display (the null graphics driver) and a persistent
# wineserver started first whose output goes to a file: Wine's helper
# processes would otherwise hold the output pipe open.
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-windows}
wine_dir=/usr/lib/wine
export WINEPREFIX=${WINEPREFIX:-$PWD/$build/wine-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
logs=$build/wine-logs
mkdir -p "$WINEPREFIX" "$logs"

if [ ! -f "$WINEPREFIX/.veravo-ready" ]; then
  "$wine_dir/wineserver" -p 2>"$logs/wineserver.log" &
  "$wine_dir/wine64" wineboot -i >"$logs/wineboot.log" 2>&1
  "$wine_dir/wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$logs/wineboot.log" 2>&1
  # The desktop process started by wineboot still has the old driver: stop
  # the server (it saves the registry) so that everything starts afresh.
  "$wine_dir/wineserver" -k 2>/dev/null || true
  "$wine_dir/wineserver" -w 2>/dev/null || true
  touch "$WINEPREFIX/.veravo-ready"
fi
"$wine_dir/wineserver" -p 2>>"$logs/wineserver.log" &

# A Linux pseudo-terminal with a simulated echo device behind it, seen by
# Windows programs as COM5 (the Linux tool of the release build makes it).
linux_tool=${VERAVO_LINUX_TOOL:-build/tools/veravo}
sim_pid=""
if [ -x "$linux_tool" ]; then
  link=$PWD/$build/wine-com-pty
  rm -f "$link"
  "$linux_tool" sim echo --baud 9600 --link "$link" >"$logs/com-sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  ln -sfn "$link" "$WINEPREFIX/dosdevices/com5"
  export VERAVO_COM_PORT=COM5
else
  echo "wine: no Linux tool at $linux_tool; the COM port checks are skipped"
fi

run_suite() {
  local exe=$1 name start code passed failures seconds
  name=$(basename "$exe" .exe)
  start=$(date +%s)
  timeout 300 "$wine_dir/wine64" "$exe" "${suite_args[@]}" >"$logs/$name.log" 2>&1
  code=$?
  tr -d '\r' <"$logs/$name.log" >"$logs/$name.txt"
  passed=$(grep -Eo '^\[  PASSED  \] [0-9]+ test' "$logs/$name.txt" | grep -Eo '[0-9]+' || true)
  failures=$(grep -c '^\[  FAILED  \] .*(' "$logs/$name.txt" || true)
  seconds=$(($(date +%s) - start))
  if [ -n "$passed" ] && [ "$failures" -eq 0 ] && [ "$code" -eq 0 ]; then
    echo "wine $name: ok, $passed tests passed (${seconds} s)"
  else
    echo "wine $name: FAILED (exit $code, ${passed:-no} passed, $failures failed, ${seconds} s; $logs/$name.txt)"
    grep -E '^\[  FAILED  \] .*\(' "$logs/$name.txt" | head -10
    [ -z "$passed" ] && tail -5 "$logs/$name.txt"
    return 1
  fi
}

# Suites run two at a time (VERAVO_WINE_JOBS): most of their time is spent
# waiting on simulated lines, not computing.
suite_args=("$@")
jobs=${VERAVO_WINE_JOBS:-2}
failed=0
pids=()
for exe in "$build"/tests/test_*.exe; do
  run_suite "$exe" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
"$wine_dir/wineserver" -k 2>/dev/null || true
exit $failed
