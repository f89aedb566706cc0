#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test,
# then again under AddressSanitizer + UndefinedBehaviorSanitizer, then the fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
# Tests comparing with mdbtools and mdb-reader fail here instead of skipping.
export LW_REQUIRE_JUDGES=1
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/lw-runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

echo "== build (warnings as errors)"
scripts/build.sh ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLW_WERROR=ON
echo "== tests"
ctest --test-dir build/ci --output-on-failure -j "$(nproc)" --timeout 180 | tee build/ci/ctest.log

echo "== build (ASan + UBSan)"
scripts/build.sh asan -DCMAKE_BUILD_TYPE=Debug -DLW_WERROR=ON -DLW_SANITIZE=ON
echo "== tests under sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$(nproc)" --timeout 400 | tee build/asan/ctest.log

if [ -d jet/fuzz ]; then
  echo "== fuzz (bounded)"
  scripts/fuzz.sh "${LW_FUZZ_SECONDS:-60}"
fi

# --- install test: cmake --install, desktop files, man page, the .deb (scripts/test-install.sh)
echo "== install"
# As root the .deb is also installed with apt, run and removed again.
install_args=()
if [ "$(id -u)" -eq 0 ]; then install_args+=(--apt); fi
scripts/test-install.sh "${install_args[@]}" build/ci
# --- end of the install test

# One closing line over both runs (the fuzz output comes after ctest's own summary).
count() { sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$1"; }
read -r f1 t1 < <(count build/ci/ctest.log)
read -r f2 t2 < <(count build/asan/ctest.log)
echo "tests: $(( t1 + t2 - f1 - f2 )) passed, $(( f1 + f2 )) failed"

# Test code against all code, in lines of tracked C++ and scripts.
code_lines() (
  set +o pipefail
  git ls-files -z -- "$@" | grep -zE '\.(cpp|h|hpp|c|sh|py|mjs|js)$' |
    grep -zvE '(^|/)node_modules/' | xargs -0 cat 2>/dev/null | wc -l
)
tested=$(code_lines tests) all=$(code_lines .)
awk -v t="$tested" -v a="$all" 'BEGIN { printf "test code: %d of %d lines, %.1f%%\n", t, a, 100 * t / a }'
