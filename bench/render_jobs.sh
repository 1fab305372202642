#!/usr/bin/env bash
# corvel-render's batch throughput: N jobs (default 200) of the built-in phrase,
# 2 s each, through mda DX10, as one batch with -j 1, 2 and 4, then as one
# corvel-render process per job, one after another. Prints audio seconds per
# wall second for each; asserts nothing.
#   bench/render_jobs.sh [BUILD_DIR] [N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
count=${2:-200}
plugin=${CORVEL_CACHE:-/var/cache/corvel}/vst3sdk-build/VST3/Release/mda-vst3.vst3
render=$build/corvel-render
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch DISPLAY=

for i in $(seq "$count"); do
  echo "{\"plugin\": \"$plugin\", \"out\": \"$scratch/job$i.wav\", \"seconds\": 2}"
done >"$scratch/jobs.jsonl"

now() { date +%s.%N; }
# "LABEL: A s of audio in W s: R audio s per wall s" from the audio and the start time.
report() { awk -v label="$1" -v audio="$2" -v start="$3" -v end="$(now)" \
  'BEGIN { wall = end - start; printf "%-22s %8.1f s of audio in %7.2f s: %6.2f audio s per wall s\n", label, audio, wall, audio / wall }'; }

# The built-in phrase lasts 2 s, so --tail 0 renders what a job of 2 s does:
# 2 s in whole blocks of 256 frames at 44100 Hz.
audio=$(awk -v n="$count" 'BEGIN { printf "%.3f", n * 345 * 256 / 44100 }')

for workers in 1 2 4; do
  start=$(now)
  "$render" --jobs "$scratch/jobs.jsonl" -j "$workers" >"$scratch/batch.txt" || { cat "$scratch/batch.txt"; exit 1; }
  report "--jobs, -j $workers" "$audio" "$start"
  rm -f "$scratch"/job*.wav
done

start=$(now)
for i in $(seq "$count"); do
  "$render" --plugin "$plugin" --tail 0 --out "$scratch/job$i.wav" >/dev/null
done
report "$count processes" "$audio" "$start"
