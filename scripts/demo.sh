#!/usr/bin/env bash
# Sets up a Debian machine, builds everything for Linux and runs the main
# job on its built-in default: klv-render's demo (the plug-in scan where the
# renderer is not built).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --basic
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/bin/klv-render ]; then
  build/bin/klv-render --demo "${1:-klv-demo}"
else
  build/bin/klv-scan
fi
