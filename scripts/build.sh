#!/usr/bin/env bash
# Configures and builds Tramelo in build/ (targets given as arguments, or all).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if (($#)); then
  cmake --build build --target "$@"
else
  cmake --build build
fi
