#!/usr/bin/env bash
# Runs the README's examples as written, from the repository root, so that the README and what the
# tool does cannot drift apart. The examples are the README's code blocks fenced as "```sh example";
# each runs as one script, against the tool in build/release, and stops at its first failing command.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
awk -v dir="$scratch" '
    /^```sh example[[:space:]]*$/ { n++; file = sprintf("%s/%02d.sh", dir, n); inside = 1; next }
    inside && /^```/ { inside = 0; close(file); next }
    inside { print > file }
' "$root/README.md"
blocks=("$scratch"/*.sh)
if [ ! -e "${blocks[0]}" ]; then
    echo "readme_examples.sh: README.md holds no \`\`\`sh example blocks" >&2
    exit 1
fi
cd "$root"
for block in "${blocks[@]}"; do
    if ! bash -euo pipefail "$block" >"$scratch/log" 2>&1; then
        echo "readme_examples.sh: this README example failed:" >&2
        sed 's/^/    /' "$block" >&2
        echo "the end of its output:" >&2
        tail -n 20 "$scratch/log" | sed 's/^/    /' >&2
        exit 1
    fi
done
echo "readme_examples.sh: ${#blocks[@]} README example blocks ran"
