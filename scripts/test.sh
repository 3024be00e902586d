#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, its installation, the README's examples,
# the threaded tests under the thread sanitizer, the fuzz build, then everything under the
# address+undefined sanitizers.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

# Warnings are errors here (and in CI), though not in a user's own build.
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_WERROR=ON \
    -DBUILD_TESTING=ON -DMORVEL_BENCH=ON
ctest --test-dir "$root/build/release" --output-on-failure -j 4

# The installation as the README describes it: the tool finds the plug-ins it installed by name.
prefix="$root/build/install-check"
rm -rf "$prefix"
cmake --install "$root/build/release" --prefix "$prefix" --strip >/dev/null
"$prefix/bin/morvel" --version
"$prefix/bin/morvel" about MorvelGlow >/dev/null

# The README's examples, as written.
"$root/scripts/readme_examples.sh"

# A user's build without the tests and the benchmarks configures where GoogleTest and Google
# Benchmark are absent: any find for them finds nothing here, and so stops the configure.
cmake -S "$root" -B "$root/build/no-test-libraries" -G Ninja -DBUILD_TESTING=OFF -DMORVEL_BENCH=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null

# The tests labelled "threaded" (their names hold "Threaded") under the thread sanitizer. Every
# test program is built, so that a threaded case in any of them, old or new, runs here.
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_TSAN=ON -DMORVEL_BENCH=OFF \
    -DMORVEL_WERROR=ON >/dev/null
cmake --build "$root/build/tsan" -j "${MORVEL_JOBS:-$(nproc)}"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build/tsan" --output-on-failure -j 4 -L threaded

# The README's fuzz build, all of it (which also keeps the code clang-clean and shows that the
# plug-ins load under clang's sanitizers), then a short run of the parser's fuzz target from the
# stored corpus; longer runs are described in the README.
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" -DMORVEL_FUZZ=ON -DMORVEL_SANITIZE=ON -DMORVEL_BENCH=OFF -DMORVEL_WERROR=ON
"$root/build/fuzz/morvel" about MorvelGlow >/dev/null
mkdir -p "$root/build/fuzz/corpus"
if ! "$root/build/fuzz/fuzz_color_expression" "$root/build/fuzz/corpus" "$root/tests/data/color_expression_corpus" \
    -max_total_time=20 -max_len=300 >"$root/build/fuzz/run.log" 2>&1; then
    cat "$root/build/fuzz/run.log"
    exit 1
fi
tail -n 1 "$root/build/fuzz/run.log"

"$root/scripts/build.sh" "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DMORVEL_SANITIZE=ON -DMORVEL_BENCH=OFF -DMORVEL_WERROR=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build/asan" --output-on-failure -j 4
