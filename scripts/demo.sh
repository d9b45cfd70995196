#!/usr/bin/env bash
# Builds the veravo tool and runs its demo on the simulated devices.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh --demo
# Library and tool only: the tests, benchmarks and Windows builds need more
# than a fresh machine has (scripts/test.sh installs it).
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" --target veravo_tool >/dev/null
exec ./build-demo/tools/veravo demo "$@"
