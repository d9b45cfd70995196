#!/usr/bin/env bash
# Installs from Debian whatever this machine lacks to build, test and run
# veravo. A no-op when everything is there.
#   scripts/bootstrap.sh [--test]  everything the test command needs (default)
#   scripts/bootstrap.sh --demo    only what the Linux build of the tool needs
set -euo pipefail

# The library and the tool on Linux.
packages=(
  g++ cmake ninja-build
  libsqlite3-dev
  libcli11-dev
)
case "${1:---test}" in
  --demo) ;;
  --test)
    packages+=(
      pkg-config dpkg-dev ccache
      libgtest-dev libgmock-dev libbenchmark-dev
      sqlite3
      clang libclang-rt-14-dev
      python3
      ser2net python3-serial
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      wine wine64
    )
    ;;
  *)
    echo "usage: $0 [--demo|--test]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
