#!/usr/bin/env bash
# Makes sure unixODBC knows the drivers under the names Tramelo's connection
# strings, tests and README use ({MDBTools}, {SQLite3}, and Debian's own
# {PostgreSQL Unicode} and {MariaDB Unicode}), each pointing at the library
# Tramelo was tested with. Safe to run again: an entry that
# already names the right library is left alone, without prompts.
set -euo pipefail

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

find_lib() {
  local name=$1
  for dir in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib/odbc /usr/lib64/odbc; do
    [ -e "$dir/$name" ] && { echo "$dir/$name"; return; }
  done
}

# The library an entry names now (as written: a bare file name or a path).
registered_lib() {
  odbcinst -q -d -n "$1" 2>/dev/null | sed -n 's/^Driver[[:space:]]*=[[:space:]]*//p' | head -n 1 || true
}

ensure_driver() {
  local name=$1 lib=$2 description=$3
  [ -n "$lib" ] || { echo "ODBC driver library for $name not found" >&2; return 1; }
  local current
  current=$(registered_lib "$name")
  if [ -n "$current" ] && [ "$(basename "$current")" = "$(basename "$lib")" ]; then
    return
  fi
  # Replace rather than add to an entry the package made for another
  # library: removing first keeps its usage count where it was.
  if [ -n "$current" ]; then
    as_root odbcinst -u -d -n "$name" >/dev/null
  fi
  printf '[%s]\nDescription=%s\nDriver=%s\nSetup=%s\nFileUsage=1\n' "$name" "$description" "$lib" "$lib" \
    | as_root odbcinst -i -d -r >/dev/null
  echo "ODBC driver $name now uses $lib"
}

# Debian registers the narrow MDBTools library. The wide-character build
# takes its place: it reads statements with accented names right whatever
# the process locale, where the narrow one depends on the driver manager's
# locale-bound conversion. Tramelo reads and writes through the narrow entry
# points in UTF-8, which both builds handle alike.
ensure_driver MDBTools "$(find_lib libmdbodbcW.so)" "MDBTools ODBC driver (wide characters)"
ensure_driver SQLite3 "$(find_lib libsqlite3odbc.so)" "SQLite3 ODBC driver"
# Debian's packages register these two themselves; an entry lost or pointed
# elsewhere is put back.
ensure_driver "PostgreSQL Unicode" "$(find_lib psqlodbcw.so)" "PostgreSQL ODBC driver (Unicode version)"
ensure_driver "MariaDB Unicode" "$(find_lib libmaodbc.so)" "MariaDB Connector/ODBC (Unicode)"
