#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
# Without a display it runs on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${PA_BUILD_DIR:-$PWD/build}"

bash scripts/install-deps.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPA_BUILD_TESTS=OFF -DPA_BUILD_BENCH=OFF
cmake --build "$BUILD" -j "$(nproc)" --target Velmar_app

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
exec "$BUILD/bin/Velmar" "$@"
