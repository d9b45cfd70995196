#!/usr/bin/env bash
# Fetches SQLite's amalgamation (sqlite3.c, sqlite3.h) for the Windows
# builds into build-deps/sqlite. Debian packages SQLite for Linux only; the
# amalgamation comes from the npm registry, inside a pinned version of a
# package that bundles it, and is checked against a known SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=build-deps/sqlite
package=better-sqlite3@12.11.1
sha_c=60d2f39a3726cd6b9021da6f4e868608d66fbb6528a9f513dc8ffcc640493422

if [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ]; then exit 0; fi
if ! command -v npm >/dev/null; then
  echo "fetch_sqlite_amalgamation: installing npm" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends npm
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$package" >/dev/null)
tar -xzf "$work"/*.tgz -C "$work" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
echo "$sha_c  $work/package/deps/sqlite3/sqlite3.c" | sha256sum -c --quiet -
mkdir -p "$dest"
cp "$work"/package/deps/sqlite3/sqlite3.[ch] "$dest"/
