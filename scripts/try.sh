#!/usr/bin/env bash
# Builds the Linux program and runs it on the default simulated machine (or
# on the machine file named by KOA_SIM_MACHINE). Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target koa-update
exec build/linux/koa-update "$@"
