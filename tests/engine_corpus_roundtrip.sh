#!/usr/bin/env bash
# engine_corpus_roundtrip.sh OTPA CORPUS_DIR: on every real-font pair, a plain
# difference file (corpus/simple_diff.py) applied by `otpa apply` rebuilds the
# new font byte for byte and the result passes the OpenType sanitizer; `otpa
# update` revises a copy of the small pair's old font in place to the same bytes.
set -euo pipefail
otpa=$1
corpus=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for pair in small outlines glyphs-added name-head renumbered redrawn; do
  old=$corpus/$pair/old.otf
  new=$corpus/$pair/new.otf
  [ -f "$old" ] && [ -f "$new" ] || { echo "missing pair $pair in $corpus"; exit 1; }
  /usr/bin/python3 "$here/corpus/simple_diff.py" "$old" "$new" -o "$work/$pair.pa"
  "$otpa" apply "$old" "$work/$pair.pa" -o "$work/$pair.otf"
  if ! cmp "$work/$pair.otf" "$new"; then echo "FAIL $pair: apply differs from the new font"; status=1; fi
  if ! ots-sanitize "$work/$pair.otf" >/dev/null; then echo "FAIL $pair: rejected by ots-sanitize"; status=1; fi
  "$otpa" info "$work/$pair.otf" --json >/dev/null
done

cp "$corpus/small/old.otf" "$work/installed.otf"
"$otpa" update "$work/installed.otf" "$work/small.pa" >/dev/null
if ! cmp "$work/installed.otf" "$corpus/small/new.otf"; then echo "FAIL: update in place differs"; status=1; fi
leftover=$(find "$work" -name '*.otu-copy' | wc -l)
[ "$leftover" -eq 0 ] || { echo "FAIL: copy left behind"; status=1; }

# Applying the difference file to the wrong font revision is refused and
# writes nothing.
if "$otpa" apply "$corpus/outlines/old.otf" "$work/small.pa" -o "$work/wrong.otf" >/dev/null; then
  echo "FAIL: a difference file applied to another font"; status=1
fi
[ ! -e "$work/wrong.otf" ] || { echo "FAIL: output written on failure"; status=1; }

# Damaged inputs: `otpa info` and `otpa apply` answer with a one-line reason
# and a failing status, never a crash. (A font cut by 3 bytes loses part of
# its last table, not only its padding.)
old=$corpus/small/old.otf
size=$(stat -c %s "$old")
head -c 4096 /dev/urandom > "$work/random.bin"
printf 'XOTP' > "$work/magic-only.pa"
for cut in 0 3 12 200 2000 $((size / 2)) $((size - 3)); do head -c "$cut" "$old" > "$work/cut-$cut.otf"; done
for cut in 52 60 400 20000; do head -c "$cut" "$work/small.pa" > "$work/cut-$cut.pa"; done
for bad in "$work"/random.bin "$work"/magic-only.pa "$work"/cut-*.otf "$work"/cut-*.pa; do
  set +e
  "$otpa" info "$bad" >/dev/null 2>"$work/reason"
  code=$?
  set -e
  if [ "$code" -ne 1 ] || [ "$(wc -l < "$work/reason")" -ne 1 ]; then
    echo "FAIL: otpa info $bad exited $code with: $(cat "$work/reason")"; status=1
  fi
done
for bad in "$work"/cut-*.otf "$work"/random.bin; do
  set +e
  "$otpa" apply "$bad" "$work/small.pa" -o "$work/bad.otf" >/dev/null 2>&1
  code=$?
  set -e
  if [ "$code" -ne 1 ] || [ -e "$work/bad.otf" ]; then echo "FAIL: otpa apply $bad exited $code"; status=1; fi
done
for bad in "$work"/cut-*.pa "$work"/magic-only.pa "$work"/random.bin; do
  set +e
  "$otpa" apply "$old" "$bad" -o "$work/bad.otf" >/dev/null 2>&1
  code=$?
  set -e
  if [ "$code" -ne 7 ] || [ -e "$work/bad.otf" ]; then echo "FAIL: otpa apply with $bad exited $code"; status=1; fi
done
# A folder where a file belongs is an unreadable file, not an abort.
for args in "apply $work $work/small.pa -o $work/bad.otf" "apply $old $work -o $work/bad.otf" "info $work" "make $work $old -o $work/bad.pa"; do
  set +e
  "$otpa" $args >/dev/null 2>&1
  code=$?
  set -e
  if [ "$code" -eq 0 ] || [ "$code" -gt 100 ] || [ -e "$work/bad.otf" ] || [ -e "$work/bad.pa" ]; then
    echo "FAIL: otpa $args exited $code"; status=1
  fi
done
exit $status
