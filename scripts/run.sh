#!/usr/bin/env bash
# Sets up, builds, and loads each plug-in in the stand-in host: its about text and property list.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
log="$root/build/run-build.log"
mkdir -p "$root/build"
if ! "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
for plugin in MorvelGlow MorvelTiltShift MorvelDiffusion; do
    file="$root/build/release/plugins/$plugin.so"
    "$root/build/release/morvel" about "$file"
    "$root/build/release/morvel" info "$file"
    echo
done
# The glow of the built-in picture.
"$root/build/release/morvel" render MorvelGlow -o "$root/build/glow.png"
echo "wrote $root/build/glow.png"
