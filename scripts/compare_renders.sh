#!/usr/bin/env bash
# Renders the three plug-ins with two builds and compares the files byte for byte, so that a change
# meant to leave pixels alone (a move, a rename, a new way to pick a depth) can show it did.
#
#   scripts/compare_renders.sh BEFORE AFTER [IMAGE...]
#
# BEFORE and AFTER are folders that each hold a `morvel` tool and its `plugins/` (a build folder
# such as build/release, or a copy of one). The pictures are the tool's built-in one and IMAGEs,
# by default the PNGs in $MORVEL_TEST_IMAGES or, failing that, ../shared/images beside the
# repository. Each picture is rendered at 8, 16 and 32 bits with every preset below, on a fixed
# number of threads. Exits 1 when any pair of files differs or one build fails where the other
# does not.
set -euo pipefail
if [ $# -lt 2 ]; then
    sed -n '4,11p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
before="$(cd "$1" && pwd)"
after="$(cd "$2" && pwd)"
shift 2
for build in "$before" "$after"; do
    if [ ! -x "$build/morvel" ] || [ ! -d "$build/plugins" ]; then
        echo "compare_renders.sh: $build holds no morvel tool and plugins folder" >&2
        exit 2
    fi
done
root="$(cd "$(dirname "$0")/.." && pwd)"
images=("$@")
if [ ${#images[@]} -eq 0 ]; then
    # From a git worktree, the repository's folder is the one that holds the common .git.
    main="$(cd "$(git -C "$root" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || echo "$root/.git")/.." && pwd)"
    folder="${MORVEL_TEST_IMAGES:-$main/../shared/images}"
    shopt -s nullglob
    images=("$folder"/*.png)
    shopt -u nullglob
    [ ${#images[@]} -gt 0 ] || echo "compare_renders.sh: no pictures in $folder; the built-in one only" >&2
fi
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# A preset is a plug-in and its options; @IMG stands for the picture being rendered, for the
# layer parameters. Between them they choose every menu's less common items at least once.
presets=(
    'MorvelGlow'
    'MorvelGlow --set "Blur Type=Channel"'
    'MorvelGlow --set "Blur Type=Channel" --set "Beam=on" --set "Wrap=Edge"'
    'MorvelGlow --set "Diffusion=off" --set "Beam=on" --set "Beam Normalizing=off"'
    'MorvelGlow --set "Kernel=on" --layer "Kernel Layer=@IMG" --set "Wrap=None"'
    'MorvelGlow --set "Diffusion Quality=High" --set "Glow Unmult=on"'
    'MorvelGlow --set "Use Mask=on" --set "Mask Type=Circle" --set "Mask Invert=on"'
    'MorvelGlow --set "Use Mask=on" --set "Mask Type=Layer" --layer "Mask Layer=@IMG" --set "Mask Layer Channel=Alpha" --set "Mask Layer Wrap=Repeat"'
    'MorvelGlow --set "Use Mask=on" --set "Mask Type=Layer" --layer "Mask Layer=@IMG" --set "Mask Layer Wrap=Mirror"'
    'MorvelGlow --set "Rendering Mode=Preprocessing"'
    'MorvelGlow --set "Rendering Mode=Threshold" --set "Channel=Hue" --set "Threshold Invert=on"'
    'MorvelGlow --set "Rendering Mode=Toner" --set "Tones=Tritone" --set "Toner=Fill"'
    'MorvelGlow --set "Tones=Toner Map" --layer "Toner Map=@IMG"'
    'MorvelGlow --set "Tones=Toner Map(Shadow)" --layer "Toner Map=@IMG" --set "Use Different Channel=on" --set "Toner Channel=Distance from Color(HSB)"'
    'MorvelGlow --set "Channel=Distance from Color(RGB)" --set "Use Threshold 2=on" --set "Tones=Duotone"'
    'MorvelGlow --set "Channel=Custom" --set "Custom Channel=r*g"'
    'MorvelGlow --set "Composite Settings=Behind Source" --set "Blending Mode=Overlay"'
    'MorvelGlow --set "Blending Mode=Hard Mix" --set "Multiply Alpha=off"'
    'MorvelGlow --layer "Source Layer=@IMG" --layer "Glow Layer=@IMG" --set "Blending Mode=Linear Light"'
    'MorvelGlow --downsample 3'
    'MorvelTiltShift'
    'MorvelTiltShift --set "Type=Linear"'
    'MorvelTiltShift --set "Type=Linear" --set "Linear Mode=Focus Distance" --set "Blending Mode=Screen"'
    'MorvelTiltShift --set "Repeat Edge Pixels=off" --set "Blending Mode=Soft Light"'
    'MorvelTiltShift --downsample 2'
    'MorvelDiffusion'
    'MorvelDiffusion --set "Wrap=None" --set "Channel=Hue"'
    'MorvelDiffusion --set "Wrap=Edge" --set "Blending Mode=Overlay"'
    'MorvelDiffusion --set "Channel=Distance from Color(HSB)" --set "Blending Mode=Luminosity"'
    'MorvelDiffusion --downsample 2'
)

# One line per render: the build, then the numbers of the picture (0 is the built-in one), the depth
# and the preset.
inputs=("" "${images[@]}")
jobs="$scratch/jobs"
: >"$jobs"
for side in before after; do
    for i in "${!inputs[@]}"; do
        for depth in 8 16 32; do
            for p in "${!presets[@]}"; do
                echo "$side $i $depth $p" >>"$jobs"
            done
        done
    done
done
mkdir -p "$scratch/before" "$scratch/after"
# Arrays do not cross into the child shells: hand them over one item per line.
printf '%s\n' "${presets[@]}" >"$scratch/presets"
printf '%s\n' "${inputs[@]}" >"$scratch/inputs"

output_of() {
    local extension=png
    [ "$3" = 32 ] && extension=exr
    echo "$scratch/$1/$2-$3-$4.$extension"
}
render() {
    local side input depth preset output tool options presets inputs
    read -r side input depth preset <<<"$1"
    mapfile -t presets <"$scratch/presets"
    mapfile -t inputs <"$scratch/inputs"
    output="$(output_of "$side" "$input" "$depth" "$preset")"
    [ "$side" = before ] && tool="$before/morvel" || tool="$after/morvel"
    options="${presets[$preset]}"
    input="${inputs[$input]}"
    if [ -n "$input" ]; then
        options="${options//@IMG/$input} -i \"$input\""
    else
        options="${options//@IMG/$scratch/builtin.png}"
    fi
    if ! eval "\"$tool\" render $options --depth $depth --threads 4 -o \"$output\"" \
        >/dev/null 2>"$output.err"; then
        echo failed >"$output"
    fi
}
export -f output_of render
export before after scratch

# The layer presets on the built-in picture need it as a file.
"$before/morvel" render MorvelTiltShift -o "$scratch/builtin.png" >/dev/null
xargs -P "$(nproc)" -I{} bash -c 'render "$1"' _ {} <"$jobs"

differ=0
total=0
while read -r side i depth preset; do
    [ "$side" = before ] || continue
    total=$((total + 1))
    output="$(output_of before "$i" "$depth" "$preset")"
    other="$(output_of after "$i" "$depth" "$preset")"
    input="${inputs[$i]}"
    if ! cmp -s "$output" "$other"; then
        differ=$((differ + 1))
        echo "differs: ${input:-built-in picture} at $depth bits: ${presets[$preset]}"
    elif echo failed | cmp -s - "$output"; then
        echo "fails in both: ${input:-built-in picture} at $depth bits: ${presets[$preset]}: $(head -c 200 "$output.err")"
    fi
done <"$jobs"
echo "compare_renders.sh: $((total - differ)) of $total renders byte-identical ($((${#inputs[@]})) pictures, 8/16/32 bits, ${#presets[@]} presets)"
[ "$differ" -eq 0 ]
