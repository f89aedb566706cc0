#!/usr/bin/env bash
# Builds the libFuzzer targets of jet/fuzz with clang, ASan and UBSan into
# build/fuzz and runs each for a share of SECONDS (default 60), seeded with the
# test fixtures. Exits non-zero when a target finds a crash, leak or hang;
# the input that did it is left in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

total="${1:-60}"
build=build/fuzz
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLW_BUILD_APP=OFF \
  -DLW_FUZZ=ON -DLW_SANITIZE=ON -DLW_WERROR=ON >/dev/null

targets=()
for src in jet/fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

share=$(( total / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
mkdir -p "$build/artifacts"
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  # Seeds: the small fixtures (the fuzzer mutates whole files).
  for f in tests/data/jet/*.mdb; do
    if [ "$(stat -c %s "$f")" -le 160000 ]; then cp -n "$f" "$corpus/" 2>/dev/null || true; fi
  done
  echo "fuzz: $t for ${share}s"
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       "$build/jet/fuzz/$t" "$corpus" -max_total_time="$share" -timeout=20 -rss_limit_mb=2048 \
         -max_len=200000 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
         2>"$build/$t.log"; then
    echo "fuzz: $t FAILED; see $build/$t.log and $build/artifacts/"
    tail -n 40 "$build/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/$t.log" | tail -n 2 || true
  fi
done
exit $status
