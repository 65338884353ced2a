#!/usr/bin/env bash
# run_fuzz.sh FUZZER SECONDS FUZZ_SEEDS WORK [CORPUS]: runs one fuzz target
# for SECONDS from its seeds (fuzz_seeds' and, with the revision corpus,
# real fonts and difference files), keeping what it finds in
# WORK/<target>/corpus and any crash in WORK/<target>/. Prints the runs and
# the coverage reached; fails on a crash, a sanitizer report or a timeout.
set -euo pipefail
fuzzer=$1 seconds=$2 seeds_tool=$3 work=$4 corpus=${5:-}
name=$(basename "$fuzzer")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/seeds" "$work/$name/corpus"
for target in font_identity_fuzz sabun_rebuild_fuzz configuration_fuzz maker_fuzz target_match_fuzz otpa_info_fuzz; do
  mkdir -p "$work/seeds/$target"
done
"$seeds_tool" "$work/seeds"
seeds=("$work/seeds/$name")
# otpa info reads fonts and difference files too.
[ "$name" != otpa_info_fuzz ] || seeds+=("$work/seeds/font_identity_fuzz" "$work/seeds/sabun_rebuild_fuzz")
if [ -n "$corpus" ] && [ -f "$corpus/small/old.otf" ]; then
  case "$name" in
    font_identity_fuzz) seeds+=("$corpus/small") ;;
    sabun_rebuild_fuzz)
      # Against a real font, from the difference file of its revision; and
      # extended files against a TrueType font of the makers corpus.
      export OTU_FUZZ_FONT=$corpus/small/old.otf
      mkdir -p "$work/real-seeds"
      [ -f "$work/real-seeds/small.pa" ] ||
        "$(dirname "$fuzzer")/otpa" make --classic "$corpus/small/old.otf" "$corpus/small/new.otf" \
          -o "$work/real-seeds/small.pa" >/dev/null
      makers=$(dirname "$corpus")/corpus-makers/serif-regular
      if [ -f "$makers/old.ttf" ]; then
        export OTU_FUZZ_EXTENDED_FONT=$makers/old.ttf
        # Copy and insert runs, and compressed blocks.
        [ -f "$work/real-seeds/serif.pa" ] ||
          "$(dirname "$fuzzer")/otpa" make --classic "$makers/old.ttf" "$makers/new.ttf" \
            -o "$work/real-seeds/serif.pa" >/dev/null 2>&1
        [ -f "$work/real-seeds/serif-compressed.pa" ] ||
          "$(dirname "$fuzzer")/otpa" make "$makers/old.ttf" "$makers/new.ttf" \
            -o "$work/real-seeds/serif-compressed.pa" >/dev/null 2>&1
      fi
      seeds=("$work/real-seeds") ;;
  esac
fi
log="$work/$name/log"
status=0
(cd "$work/$name" && "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -dict="$here/formats.dict" -print_final_stats=1 "$work/$name/corpus" "${seeds[@]}") >"$log" 2>&1 || status=$?
done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
echo "$name: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs," \
  "$(sed -E -n 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+)\/.*/\1 edges, \2 features, \3 inputs kept/p' <<<"$done_line")"
if [ "$status" -ne 0 ]; then
  tail -60 "$log"
  exit "$status"
fi
