#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each in turn for SECONDS seconds
# (60 unless given) under AddressSanitizer and UBSan. Exits with 1 on any finding.
#   scripts/fuzz.sh [SECONDS [TARGET...]]
#   targets: WavLoad WavConvert SoundConvert AcmStream StoredProperties ParamText WaveMapper GamRead
#   (all unless named)
# The corpus grows in build-fuzz/corpus/ and is kept for the next run; a finding is written
# to build-fuzz/findings/ and its log to build-fuzz/logs/. A longer run: scripts/fuzz.sh 3600.
# Every finding is also copied to tests/data/fuzz/<TARGET>/, where the test suite replays it:
# check it in with the fix.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
# ffmpeg makes the Opus, MP3 and RF64 seeds (and, beside sox, others' files of every container).
JEERBOX_PACKAGES+=(clang ffmpeg)
install_missing

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(WavLoad WavConvert SoundConvert AcmStream StoredProperties ParamText WaveMapper GamRead)
fi

dir=build-fuzz
mkdir -p "$dir/logs"
build "$dir" -DJEERBOX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$dir/logs/build.log" 2>&1 ||
  { cat "$dir/logs/build.log"; exit 1; }
rm -rf "$dir/seeds"
"$dir/MakeFuzzSeeds" "$dir/seeds"
mkdir -p "$dir/findings"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# The libraries' own leaks that the test suite knows of are no findings either.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=0
for target in "${targets[@]}"; do
  case $target in
    WavLoad | WavConvert) seeds=wav ;;
    SoundConvert) seeds=sound ;;
    AcmStream) seeds=acm ;;
    WaveMapper) seeds=mapper ;;
    StoredProperties) seeds=properties ;;
    ParamText) seeds=paramtext ;;
    GamRead) seeds=gam ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
  esac
  options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1
           -artifact_prefix="$dir/findings/$target-")
  case $seeds in
    wav | acm) options+=(-dict=fuzz/riff.dict) ;;
    sound) options+=(-dict=fuzz/sound.dict) ;;
  esac
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
    mkdir -p "tests/data/fuzz/$target"
    sed -n 's/.*Test unit written to //p' "$log" | while read -r finding; do
      cp "$finding" "tests/data/fuzz/$target/"
      echo "  replayed by the suite from now on: tests/data/fuzz/$target/$(basename "$finding")"
    done
  fi
done
exit $failed
