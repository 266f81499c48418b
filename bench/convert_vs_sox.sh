#!/usr/bin/env bash
# Times jeerbox-convert against sox, the fastest peer, on the same inputs: ten minutes and a
# two-second clip of 44.1 kHz 16-bit stereo, both made to the taunt format (PCM, mono,
# 22050 Hz, 8-bit unsigned); then the peak memory of both for ten minutes and for an hour
# (the hour's input takes 635 MB of disk while the script runs). Makes its own inputs,
# builds what it needs, prints the figures.
#   bench/convert_vs_sox.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JEERBOX_PACKAGES+=(hyperfine python3 time)
install_missing
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target jeerbox-convert >/dev/null

runs=${1:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Something busier than one sine: a tone on each channel with pink noise mixed in.
make_input() {
  sox -n -r 44100 -c 2 -b 16 "$work/$1" synth "$2" sine 220 sine 330 synth pinknoise mix vol 0.4
}
make_input ten-minutes.wav 600
make_input two-seconds.wav 2

jeerbox=$PWD/build/jeerbox-convert
echo "jeerbox-convert loads $(ldd "$jeerbox" | grep -c '=>') shared libraries, sox $(ldd "$(command -v sox)" | grep -c '=>')"
mkdir -p "$work/out"

# Two cases: each tool writes a new file (the usual batch run), and each replaces the file it
# wrote the run before. jeerbox-convert replaces a file by writing beside it and waiting for
# the disk before taking its place, so that even a crash leaves the old or the new file; sox
# writes over the old file in place.
for input in two-seconds.wav ten-minutes.wav; do
  if [ "$input" = ten-minutes.wav ]; then n=$(( runs < 5 ? runs : 5 )); else n=$(( runs * 10 )); fi
  ours=$work/out/$input
  theirs=$work/sox-$input
  for case in new replacing; do
    echo "== $input ($(du -h "$work/$input" | cut -f1)), $case output"
    prepare=()
    [ "$case" = new ] && prepare=(--prepare "rm -f $ours $theirs")
    hyperfine -N --warmup 2 --runs "$n" "${prepare[@]}" --export-json "$work/result.json" \
      -n jeerbox-convert "$jeerbox -o $work/out $work/$input" \
      -n sox "sox $work/$input -r 22050 -c 1 -b 8 -e unsigned -D $theirs" | grep -v '^ *$'
    python3 - "$work/result.json" <<'EOF'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
j, s = r["jeerbox-convert"], r["sox"]
print(f"   jeerbox-convert {j['median']*1000:9.1f} ms median   sox {s['median']*1000:9.1f} ms median   "
      f"ratio {j['median']/s['median']:.2f}   (user+sys: {1000*(j['user']+j['system']):.1f} vs "
      f"{1000*(s['user']+s['system']):.1f} ms)")
EOF
  done
done

# Peak memory (the largest resident set, from GNU time): the converter reads and converts block
# by block, so the hour needs no more than the ten minutes.
make_input one-hour.wav 3600
for input in ten-minutes.wav one-hour.wav; do
  rm -f "$work/out/$input" "$work/sox-$input"
  ours=$(/usr/bin/time -f %M "$jeerbox" -o "$work/out" "$work/$input" 2>&1 >/dev/null | tail -1)
  theirs=$(/usr/bin/time -f %M sox "$work/$input" -r 22050 -c 1 -b 8 -e unsigned -D "$work/sox-$input" 2>&1 >/dev/null | tail -1)
  echo "== $input: peak memory jeerbox-convert $((ours / 1024)) MB, sox $((theirs / 1024)) MB"
  rm -f "$work/out/$input" "$work/sox-$input"
done
