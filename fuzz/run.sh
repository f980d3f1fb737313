#!/bin/bash
# Fuzzes the program's parsers: every target (or the ones named) runs for
# SECONDS seconds under libFuzzer with AddressSanitizer and UBSan.
#
#   fuzz/run.sh SECONDS [TARGET...]      e.g. fuzz/run.sh 60, fuzz/run.sh 300 filter
#
# The targets are built first in the sanitizer build folder (build-sanitize,
# or $QUORVEL_SANITIZE_BUILD_DIR; Clang). Each starts from its seeds in
# fuzz/corpus/TARGET/, which are only read; the inputs it finds go to
# BUILD/fuzz/work/TARGET/ and a crashing input to BUILD/fuzz/artifacts/.
# After fixing a finding, copy its input into fuzz/corpus/TARGET/ so that
# ctest replays it on every run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-}
[[ "$seconds" =~ ^[0-9]+$ ]] || { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
shift
BUILD_DIR=${QUORVEL_SANITIZE_BUILD_DIR:-build-sanitize}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for d in fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi

./setup.sh sanitized --target "${targets[@]/#/fuzz_}"
failed=()
for t in "${targets[@]}"; do
  bin="$BUILD_DIR/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "fuzz: no target $t (is the sanitizer build using Clang?)" >&2; exit 2; }
  mkdir -p "$BUILD_DIR/fuzz/work/$t" "$BUILD_DIR/fuzz/artifacts"
  echo "== fuzz_$t for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$BUILD_DIR/fuzz/artifacts/$t-" "$BUILD_DIR/fuzz/work/$t" "fuzz/corpus/$t"; then
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}; inputs in $BUILD_DIR/fuzz/artifacts/" >&2
  exit 1
fi
echo "fuzz: no findings"
