#!/usr/bin/env bash
# Sets up, builds the tool and the plug-ins (nothing else: no tests, no benchmarks), loads each
# plug-in in the stand-in host (its about text and property list) and renders the glow of the
# tool's built-in picture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
echo "run.sh: checking the packages the build needs"
"$root/scripts/setup.sh"
echo "run.sh: configuring $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
echo "run.sh: building the morvel tool and the three plug-ins (a few minutes the first time)"
cmake --build "$build" -j "${MORVEL_JOBS:-$(nproc)}" --target morvel
echo
for plugin in MorvelGlow MorvelTiltShift MorvelDiffusion; do
    file="$build/plugins/$plugin.so"
    "$build/morvel" about "$file"
    "$build/morvel" info "$file"
    echo
done
# The glow of the built-in picture.
"$build/morvel" render MorvelGlow -o "$root/build/glow.png"
