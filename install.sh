#!/usr/bin/env bash
# Installs the dependencies, builds the plug-in and installs "Vorn v2.vst3" into ~/.vst3.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-dependencies.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_COPY_PLUGIN=ON
cmake --build build --target VornV2_VST3 -j "$(nproc)"

echo "Installed: $HOME/.vst3/Vorn v2.vst3"
