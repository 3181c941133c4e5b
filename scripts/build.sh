#!/usr/bin/env bash
# Installs the dependencies, builds the plug-in, its tests and benchmark in ./build (Release), and
# installs Quolbane.vst3 into ~/.vst3 where Linux VST3 hosts look for it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --parallel "$(nproc)"

bundle=build/Quolbane_artefacts/Release/VST3/Quolbane.vst3
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Quolbane.vst3"
cp -r "$bundle" "$HOME/.vst3/"
echo "Installed $HOME/.vst3/Quolbane.vst3"
