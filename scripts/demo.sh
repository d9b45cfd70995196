#!/usr/bin/env bash
# Builds veravo and runs its demo on the simulated devices.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target veravo_tool >/dev/null
exec ./build/tools/veravo demo "$@"
