#!/usr/bin/env bash
# Makes sure unixODBC knows the MDBTools and SQLite3 drivers under the names
# Tramelo's connection strings use ({MDBTools} and {SQLite3}).
set -euo pipefail

find_lib() {
  local name=$1
  for dir in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib/odbc /usr/lib64/odbc; do
    [ -e "$dir/$name" ] && { echo "$dir/$name"; return; }
  done
}

register() {
  local name=$1 lib=$2
  [ -n "$lib" ] || { echo "ODBC driver library for $name not found" >&2; return 1; }
  if odbcinst -q -d -n "$name" >/dev/null 2>&1; then return; fi
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  printf '[%s]\nDescription=%s\nDriver=%s\nSetup=%s\nUsageCount=1\n' "$name" "$name ODBC driver" "$lib" "$lib" \
    | $sudo odbcinst -i -d -r >/dev/null
}

# The wide-character MDBTools driver keeps accented names and values intact.
register MDBTools "$(find_lib libmdbodbcW.so)"
register SQLite3 "$(find_lib libsqlite3odbc.so)"
