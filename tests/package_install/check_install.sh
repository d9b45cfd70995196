#!/usr/bin/env bash
# Installs the built library and builds and runs an outside project against
# it: find_package(veravo CONFIG REQUIRED) on an install prefix, or, with
# "deb", the Debian package made by cpack, unpacked into a fresh root and
# used both through find_package and through pkg-config.
#   check_install.sh BUILD_DIR WORK_DIR [deb]
set -euo pipefail
build_dir=$1
work=$2
mode=${3:-prefix}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"

if [ "$mode" = deb ]; then
  (cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
  deb=$(ls "$work"/pkg/*.deb)
  dpkg-deb -f "$deb" Depends | grep -q libsqlite3
  dpkg -x "$deb" "$work/root"
  prefix=$work/root/usr
  test -f "$prefix/share/doc/veravo/README.md"
  test "$("$prefix/bin/veravo" call --open none GetCRC16 123456789)" = 8585
  pc_dir=$(dirname "$(find "$prefix" -name veravo.pc)")
  # shellcheck disable=SC2046 # the flags are meant to split
  c++ -std=c++20 -o "$work/consumer-pc" "$here/consumer/main.cpp" \
    $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs veravo)
  "$work/consumer-pc"
else
  prefix=$work/prefix
  cmake --install "$build_dir" --prefix "$prefix" >/dev/null
fi
cmake -S "$here/consumer" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
