#!/bin/sh
# The README shows the POSIX program's manual page as man renders it at 78
# columns: the two must not drift apart.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
rendered=$(mktemp)
shown=$(mktemp)
trap 'rm -f "$rendered" "$shown"' EXIT
MANWIDTH=78 man -l "$root/docs/opentype-updater.1" > "$rendered"
# The fenced block after the line that names the page.
awk '/^\(`man -l docs\/opentype-updater.1`\):$/ {found = 1; next}
     found && /^```$/ {if (inside) exit; inside = 1; next}
     inside {print}' "$root/README.md" > "$shown"
if ! diff -u "$rendered" "$shown"; then
  echo "FAIL: README's manual page differs from docs/opentype-updater.1 rendered (above)"
  exit 1
fi
