#!/usr/bin/env bash
# Installs what is missing, builds Tramelo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh tramelo
exec build/src/app/tramelo "$@"
