#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each fuzzer of tests/fuzz for a while
# on a copy of its corpus. Any crash, sanitizer report or broken property
# stops the run with status 1; the input that caused it is left in
# build/fuzz/findings/<fuzzer>/ to add to the corpus with its mend.
#
#   scripts/fuzz.sh [seconds per fuzzer]      (default 20)
#   scripts/fuzz.sh --merge [seconds]         also keep, in the repository's
#                                             corpus, the inputs that reached
#                                             new code (libFuzzer's -merge=1)
set -euo pipefail
cd "$(dirname "$0")/.."

merge=0
if [ "${1:-}" = "--merge" ]; then merge=1; shift; fi
seconds=${1:-20}

scripts/install-deps.sh native fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target reg_file_fuzzer script_line_fuzzer wildcard_fuzzer

status=0
for fuzzer in reg_file script_line wildcard; do
  corpus=tests/fuzz/corpus/$fuzzer
  work=build/fuzz/corpus/$fuzzer
  findings=build/fuzz/findings/$fuzzer
  rm -rf "$work" && mkdir -p "$work" "$findings"
  cp "$corpus"/* "$work"/
  echo "== $fuzzer: ${seconds}s"
  if ! "build/fuzz/tests/fuzz/${fuzzer}_fuzzer" "$work" -max_total_time="$seconds" -max_len=8192 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
      >"build/fuzz/$fuzzer.log" 2>&1; then
    echo "fuzz: $fuzzer failed; its log is build/fuzz/$fuzzer.log, the input in $findings/" >&2
    tail -n 40 "build/fuzz/$fuzzer.log" >&2
    status=1
    continue
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "build/fuzz/$fuzzer.log" | sed 's/^/   /'
  if [ "$merge" -eq 1 ]; then
    "build/fuzz/tests/fuzz/${fuzzer}_fuzzer" -merge=1 "$corpus" "$work" >/dev/null 2>&1
    echo "   corpus: $(ls "$corpus" | wc -l) inputs"
  fi
done
exit $status
