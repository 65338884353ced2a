#!/usr/bin/env bash
# ots_corpus.sh DIR: every generated font must pass the OpenType sanitizer.
set -uo pipefail
dir=$1
fonts=("$dir"/*/*.otf)
[ -e "${fonts[0]}" ] || { echo "no fonts in $dir"; exit 1; }
status=0
for font in "${fonts[@]}"; do
  ots-sanitize "$font" >/dev/null 2>&1 || { echo "rejected: $font"; ots-sanitize "$font"; status=1; }
done
echo "${#fonts[@]} fonts checked"
exit $status
