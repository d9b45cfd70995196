#!/usr/bin/env bash
# Builds veravo and runs every test: the whole suite in a normal build and
# in an ASan+UBSan build, short fuzz runs, the thread-heavy suites in a TSan
# build, and the Windows build (mingw-w64) with its suites under Wine, plus a
# 32-bit Windows build of the library and tool.
#   scripts/test.sh            everything
#   scripts/test.sh --quick    the normal build only
#   scripts/test.sh --windows  the Windows builds only (needs the normal build's tool for the COM checks)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
windows_only=0
[ "${1:-}" = "--quick" ] && quick=1
[ "${1:-}" = "--windows" ] && windows_only=1

./scripts/bootstrap.sh

jobs=$(nproc)
# Each stage prints how long the one before it took, and the end the total.
stage_name=""
stage_start=$SECONDS
stage_end() {
  [ -n "$stage_name" ] && printf '(%s: %d s)\n' "$stage_name" $((SECONDS - stage_start))
  return 0
}
stage() {
  stage_end
  stage_name="$*"
  stage_start=$SECONDS
  printf '\n==== %s ====\n' "$*"
}
trap 'stage_end; printf "(all stages: %d s)\n" "$SECONDS"' EXIT
# Compiler cache: the builds below compile many of the same sources, and a
# second run compiles only what changed. Off with VERAVO_NO_CCACHE=1.
if [ -z "${VERAVO_NO_CCACHE:-}" ] && command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi

windows_stages() {
  ./scripts/fetch_sqlite_amalgamation.sh
  stage "Windows x64 build (mingw-w64)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  stage "Windows tests under Wine"
  ./scripts/wine_tests.sh build-windows
  stage "Windows x86 build (library and tool)"
  cmake --preset windows-i686 >/dev/null
  cmake --build --preset windows-i686 -j "$jobs" --target veravo veravo_tool
}

if [ "$windows_only" -eq 1 ]; then
  windows_stages
  exit 0
fi

stage "release build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
stage "release tests"
ctest --preset release -j "$jobs"

if [ "$quick" -eq 1 ]; then exit 0; fi

stage "ASan+UBSan build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
stage "ASan+UBSan tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset asan -j "$jobs" -LE slow

stage "fuzz targets (libFuzzer, ${VERAVO_FUZZ_SECONDS:-10} s each)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
# Two targets at a time: each runs on one core for its whole time.
run_fuzz_target() {
  local target=$1 name=${1##*/fuzz_}
  local work="build-fuzz/corpus-run/$name"
  mkdir -p "$work"
  if "$target" "$work" "fuzz/corpus/$name" -max_total_time="${VERAVO_FUZZ_SECONDS:-10}" \
       -artifact_prefix="build-fuzz/crash-$name-" -print_final_stats=1 >"build-fuzz/$name.log" 2>&1; then
    echo "fuzz $name: ok, $(grep -o 'number_of_executed_units: [0-9]*' "build-fuzz/$name.log" | grep -o '[0-9]*') runs"
  else
    echo "fuzz $name: FAILED (build-fuzz/$name.log)"
    grep -E 'property failed|ERROR|SUMMARY' "build-fuzz/$name.log" | head -5
    return 1
  fi
}
fuzz_failed=0
pids=()
for target in build-fuzz/fuzz/fuzz_*; do
  run_fuzz_target "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || fuzz_failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || fuzz_failed=1; done
[ "$fuzz_failed" -eq 0 ]

stage "TSan build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
stage "TSan tests (thread-heavy suites)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --preset tsan -j "$jobs" -L 'platform|serial|sim|edit|devices' -LE slow

windows_stages
