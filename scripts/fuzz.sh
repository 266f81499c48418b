#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each in turn for SECONDS seconds
# (60 unless given) under AddressSanitizer and UBSan. Exits with 1 on any finding.
#   scripts/fuzz.sh [SECONDS [TARGET...]]
#   targets: WavLoad WavConvert AcmStream StoredProperties ParamText (all unless named)
# The corpus grows in build-fuzz/corpus/ and is kept for the next run; a finding is written
# to build-fuzz/findings/ and its log to build-fuzz/logs/. A longer run: scripts/fuzz.sh 3600.
# Every finding becomes a file under tests/data/fuzz/<TARGET>/, which the test suite replays.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JEERBOX_PACKAGES+=(clang)
install_missing

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(WavLoad WavConvert AcmStream StoredProperties ParamText)
fi

dir=build-fuzz
mkdir -p "$dir/logs"
build "$dir" -DJEERBOX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$dir/logs/build.log" 2>&1 ||
  { cat "$dir/logs/build.log"; exit 1; }
rm -rf "$dir/seeds"
"$dir/MakeFuzzSeeds" "$dir/seeds"
mkdir -p "$dir/findings"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=0
for target in "${targets[@]}"; do
  case $target in
    WavLoad | WavConvert) seeds=wav ;;
    AcmStream) seeds=acm ;;
    StoredProperties) seeds=properties ;;
    ParamText) seeds=paramtext ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
  esac
  options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1
           -artifact_prefix="$dir/findings/$target-")
  case $seeds in wav | acm) options+=(-dict=fuzz/riff.dict) ;; esac
  mkdir -p "$dir/corpus/$target"
  log="$dir/logs/$target.log"
  if "$dir/fuzz_$target" "${options[@]}" "$dir/corpus/$target" "$dir/seeds/$seeds" >"$log" 2>&1; then
    verdict=ok
  else
    verdict=FINDING
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus=$(ls "$dir/corpus/$target" | wc -l)
  printf '%-17s %-8s %12s executions in %ss, corpus %s files\n' "$target" "$verdict" "${runs:-?}" "$seconds" "$corpus"
  if [ $verdict != ok ]; then
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20 || true
  fi
done
exit $failed
