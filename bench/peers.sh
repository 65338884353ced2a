#!/usr/bin/env bash
# bench/peers.sh [--otpa PATH] [CORPUS_DIR]
# Patch size and make/apply times of byte-level patchers (xdelta3, bsdiff,
# zstd --patch-from) on every corpus pair, next to the plain table-level writer
# (simple_diff) and, given --otpa, the maker's own difference files applied as
# an update would. Every applied result is compared with the new font.
# Run scripts/corpus first (or pass a corpus folder).
set -euo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
need_packages xdelta3 bsdiff zstd python3-fonttools

otpa=
if [ "${1:-}" = --otpa ]; then otpa=$2; shift 2; fi
corpus=${1:-$root/build/corpus}
[ -d "$corpus" ] || { echo "no corpus in $corpus (run scripts/corpus)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# measure PAIR TOOL PATCH MAKE-COMMAND APPLY-COMMAND: runs both, prints a row.
# The commands see $old, $new, $patch and $result.
measure() {
  local pair=$1 tool=$2 make=$4 apply=$5 t0 t1 t2 verdict
  patch=$3
  result=$work/result.otf
  rm -f "$patch" "$result"
  t0=$(now); eval "$make" >/dev/null; t1=$(now)
  if [ -n "$apply" ]; then
    eval "$apply" >/dev/null; t2=$(now)
    if cmp -s "$result" "$new"; then verdict=same; else verdict=DIFFERS; fi
  else
    t2=$t1; verdict=-
  fi
  printf '%-13s %-12s %10d %7.1f%% %8s %8s  %s\n' "$pair" "$tool" "$(stat -c %s "$patch")" \
    "$(awk -v p="$(stat -c %s "$patch")" -v n="$(stat -c %s "$new")" 'BEGIN { print 100 * p / n }')" \
    "$(seconds "$t0" "$t1")" "$(seconds "$t1" "$t2")" "$verdict"
}

printf '%-13s %-12s %10s %8s %8s %8s  %s\n' pair tool bytes "of new" make/s apply/s result
for dir in "$corpus"/*/; do
  pair=$(basename "$dir")
  old=$dir/old.otf
  new=$dir/new.otf
  [ -f "$old" ] && [ -f "$new" ] || continue
  measure "$pair" xdelta3 "$work/p.xd3" \
    'xdelta3 -e -9 -f -s "$old" "$new" "$patch"' 'xdelta3 -d -f -s "$old" "$patch" "$result"'
  measure "$pair" bsdiff "$work/p.bsdiff" \
    'bsdiff "$old" "$new" "$patch"' 'bspatch "$old" "$result" "$patch"'
  measure "$pair" zstd-19 "$work/p.zst" \
    'zstd -q -f -19 --patch-from="$old" "$new" -o "$patch" 2>/dev/null' \
    'zstd -q -f -d --patch-from="$old" "$patch" -o "$result"'
  if [ -n "$otpa" ]; then
    measure "$pair" simple_diff "$work/simple.pa" \
      '/usr/bin/python3 "$root/tests/corpus/simple_diff.py" "$old" "$new" -o "$patch"' \
      '"$otpa" apply "$old" "$patch" -o "$result"'
    measure "$pair" "otpa make" "$work/otpa.pa" \
      '"$otpa" make "$old" "$new" -o "$patch"' '"$otpa" apply "$old" "$patch" -o "$result"'
  else
    measure "$pair" simple_diff "$work/simple.pa" \
      '/usr/bin/python3 "$root/tests/corpus/simple_diff.py" "$old" "$new" -o "$patch"' ''
  fi
done
