#!/usr/bin/env bash
# The finishing chain's figures on real speech: Debian's ALSA test voices and espeak-ng
# sentences. For each stage, the figure it is there for, without and with it: the step at the
# ends of a trimmed taunt (--fade), the mean of a voice with a DC offset (--highpass), the
# loudness range and the 8-bit levels that a quiet half uses (--compress), and the spread of
# loudness across a set (--loudness), measured with ffmpeg's ebur128 filter, not with the
# program's own meter. Then the chain's time on ten minutes of sound beside the plain
# conversion's, and the peak memory of each for ten minutes and for an hour (the hour's input
# takes 635 MB of disk while the script runs). Makes its own inputs, builds what it needs,
# prints the figures.
#   bench/finish_figures.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JEERBOX_PACKAGES+=(alsa-utils espeak-ng ffmpeg hyperfine python3 time)
install_missing
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target jeerbox-convert >/dev/null

runs=${1:-5}
convert=$PWD/build/jeerbox-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
alsa=(/usr/share/sounds/alsa/Front_Center.wav /usr/share/sounds/alsa/Front_Left.wav
  /usr/share/sounds/alsa/Rear_Right.wav /usr/share/sounds/alsa/Side_Left.wav)

# Sentences with a quiet half (18 dB down: within the loudness range's relative gate, so that
# it counts before finishing too) and a loud half, in a few voices.
mkdir -p "$work/voices" "$work/halves"
voices=(en en-us en-gb-x-rp de fr es it nl pl sv pt fi)
for i in "${!voices[@]}"; do
  v=${voices[$i]}
  espeak-ng -v "$v" -w "$work/q.wav" "The quiet half of this taunt is spoken softly, nearly a whisper."
  espeak-ng -v "$v" -w "$work/l.wav" "And then the loud half comes, as loud as the voice goes."
  if [ "$i" -lt 4 ]; then
    sox "$work/q.wav" "$work/q18.wav" vol -18 dB
    sox "$work/q18.wav" "$work/l.wav" "$work/halves/$v.wav"
  fi
  # The set for loudness: each voice at a gain of its own, from -30 dB to 0 dB.
  sox "$work/l.wav" "$work/voices/$v.wav" vol "-$(( (i * 30) / 11 ))" dB
done

# Helpers over the written taunts (8-bit unsigned, 22050 Hz).
taunt() { python3 - "$@" <<'PY'
import sys, wave
what, path = sys.argv[1], sys.argv[2]
w = wave.open(path); b = w.readframes(w.getnframes())
edge = 110  # 5 ms
if what == "edge":
    steps = lambda s: max((abs(s[i + 1] - s[i]) for i in range(len(s) - 1)), default=0)
    print(f"first {b[0]} last {b[-1]} largest step in the first/last 5 ms {steps(b[:edge])}/{steps(b[-edge:])}")
elif what == "mean":
    print(f"{sum(b) / len(b):.2f}")
elif what == "levels":
    q = b[:len(b) * int(sys.argv[3]) // 100]  # the quiet half comes first; its share in %
    print(f"{len(set(q))} levels in the quiet half, {sum(1 for x in b if x in (0, 255))} clipped")
PY
}
lra() { ffmpeg -nostats -hide_banner -i "$1" -af ebur128 -f null - 2>&1 | awk '/LRA:/ {v=$2} END {print v}'; }
lufs() { ffmpeg -nostats -hide_banner -i "$1" -af ebur128 -f null - 2>&1 | awk '/ I:/ {v=$2} END {print v}'; }

echo "== fades: --trim --fade=0 against --trim (which fades 5 ms)"
for f in "${alsa[@]}"; do
  n=$(basename "$f" .wav)
  "$convert" -o "$work/cut" --trim=-30 --fade=0 "$f" >/dev/null
  "$convert" -o "$work/faded" --trim=-30 "$f" >/dev/null
  echo "  $n  cut: $(taunt edge "$work/cut/$n.wav")   faded: $(taunt edge "$work/faded/$n.wav")"
done

echo "== high-pass: a voice over a DC offset of 10% of full scale (mean byte; silence is 128)"
for f in "${alsa[@]:0:2}"; do
  n=$(basename "$f" .wav)
  sox "$f" "$work/dc-$n.wav" dcshift 0.1
  "$convert" -o "$work/dc" "$work/dc-$n.wav" >/dev/null
  "$convert" -o "$work/hp" --highpass "$work/dc-$n.wav" >/dev/null
  echo "  $n  plain $(taunt mean "$work/dc/dc-$n.wav")   --highpass $(taunt mean "$work/hp/dc-$n.wav")"
done

echo "== compression: quiet half 18 dB under the loud half, both with --normalize"
for f in "$work"/halves/*.wav; do
  n=$(basename "$f" .wav)
  "$convert" -o "$work/n" --normalize "$f" >/dev/null
  "$convert" -o "$work/c" --normalize --compress "$f" >/dev/null
  # The quiet half's share of the sound, from the lengths of its sentence and of the whole.
  espeak-ng -v "$n" -w "$work/qq.wav" "The quiet half of this taunt is spoken softly, nearly a whisper."
  share=$(python3 -c "print(int(100 * $(soxi -D "$work/qq.wav") / $(soxi -D "$f")))")
  echo "  $n  LRA $(lra "$work/n/$n.wav") -> $(lra "$work/c/$n.wav") LU;" \
    "$(taunt levels "$work/n/$n.wav" "$share") -> $(taunt levels "$work/c/$n.wav" "$share")"
done

echo "== loudness across a set: --loudness=-16 on the ALSA voices and ${#voices[@]} espeak-ng voices at gains from -30 to 0 dB"
"$convert" -o "$work/plain" "${alsa[@]}" "$work"/voices/*.wav >/dev/null
"$convert" -o "$work/set" --loudness=-16 "${alsa[@]}" "$work"/voices/*.wav >/dev/null
for set in plain set; do
  all=()
  for f in "$work/$set"/*.wav; do all+=("$(lufs "$f")"); done
  python3 - "$set" "${all[@]}" <<'PY'
import sys
v = [float(x) for x in sys.argv[2:]]
what = "plain conversion" if sys.argv[1] == "plain" else "--loudness=-16"
print(f"  {what}: {len(v)} taunts from {min(v):.1f} to {max(v):.1f} LUFS (spread {max(v) - min(v):.1f} LU, "
      f"furthest from -16: {max(abs(x + 16) for x in v):.1f} LU)")
PY
done
for f in "$work"/set/*.wav; do taunt levels "$f" 0; done | awk '{c += $5} END {print "  clipped samples in all:", c}'

echo "== speed: ten minutes of 44.1 kHz stereo speech, the plain conversion and the whole chain"
sox "$work"/halves/*.wav "$work"/voices/*.wav -r 44100 -c 2 "$work/once.wav"
sox "$work/once.wav" "$work/ten-minutes.wav" repeat $(python3 -c "import math; print(math.ceil(600 / $(soxi -D "$work/once.wav")) - 1)") trim 0 600
plain=""
chain="--highpass --trim --compress --normalize --dither"
loudness="--highpass --trim --compress --loudness=-16 --dither"
echo "  load before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/speed.json" \
  -n plain "$convert -o $work/speed $work/ten-minutes.wav" \
  -n chain "$convert -o $work/speed $chain $work/ten-minutes.wav" \
  -n loudness "$convert -o $work/speed $loudness $work/ten-minutes.wav" \
  | grep -v '^ *$'
echo "  load after: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work/speed.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
p = r["plain"]["median"]
for n in ("chain", "loudness"):
    cpu = lambda x: x["user"] + x["system"]
    print(f"  {n}: {r[n]['median'] * 1000:.0f} ms median, {r[n]['median'] / p:.2f}x the plain conversion ({p * 1000:.0f} ms);"
          f" processor time {cpu(r[n]) * 1000:.0f} ms, {cpu(r[n]) / cpu(r['plain']):.2f}x ({cpu(r['plain']) * 1000:.0f} ms)")
PY

echo "== peak memory: ten minutes and an hour (the same speech over and over)"
sox "$work/ten-minutes.wav" "$work/one-hour.wav" repeat 5
for input in ten-minutes.wav one-hour.wav; do
  line="  $input:"
  for what in plain chain loudness; do
    # shellcheck disable=SC2086
    kb=$(/usr/bin/time -f %M "$convert" -o "$work/memory" ${!what} "$work/$input" 2>&1 >/dev/null | tail -1)
    line+=" $what $(python3 -c "print(f'{$kb / 1024:.1f}')") MB"
  done
  echo "$line"
done
rm -f "$work/one-hour.wav"
