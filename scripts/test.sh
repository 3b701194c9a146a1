#!/usr/bin/env bash
# Installs what is missing, builds Tramelo and runs the whole test suite:
# every test of the normal build, then the parser and file-format tests and
# the fuzz targets again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh
(cd build && ctest --output-on-failure --parallel 2)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DTRAMELO_SANITIZE=ON -DTRAMELO_FUZZ=ON -DTRAMELO_BUILD_UI=OFF -DTRAMELO_BUILD_BENCH=OFF >/dev/null
mapfile -t sanitized < <(cd build-asan && ctest -N -L sanitize | sed -n 's/^ *Test *#[0-9]*: *//p')
cmake --build build-asan --target "${sanitized[@]}"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest -L sanitize --output-on-failure)
