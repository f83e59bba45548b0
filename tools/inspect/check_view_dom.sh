#!/usr/bin/env bash
# Opens a weather view page in headless Chromium and checks what it drew: the number of station
# models, the aircraft marker, the sounding, no console error and the size; it prints the render
# time, which depends on the machine's load and so is a figure, not a check.
# usage: check_view_dom.sh PAGE EXPECTED_STATIONS
set -euo pipefail
page=$1
expected=$2
chromium=${CHROMIUM:-/usr/bin/chromium}
if [[ ! -x "$chromium" ]]; then
  echo "SKIP: no chromium at $chromium (scripts/deps installs it)"
  exit 77
fi
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
size=$(stat -c %s "$page")
started=$(date +%s%N)
"$chromium" --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
  --disable-sync --no-first-run --user-data-dir="$profile" --enable-logging=stderr --v=0 \
  --dump-dom "file://$(realpath "$page")" >"$profile/dom.html" 2>"$profile/log.txt"
ended=$(date +%s%N)
fail=0
stations=$(grep -o '<g class="stn [a-z]*"' "$profile/dom.html" | wc -l)
aircraft=$(grep -c 'id="aircraft"' "$profile/dom.html" || true)
sounding=$(grep -c '<svg id="sounding"' "$profile/dom.html" || true)
render=$(sed -n 's/.*data-render-ms="\([0-9]*\)".*/\1/p' "$profile/dom.html" | head -n 1)
echo "page: $page, $size bytes"
echo "station models: $stations (expected $expected), aircraft markers: $aircraft, soundings: $sounding"
echo "render time in the page: ${render:-unknown} ms; chromium run: $(((ended - started) / 1000000)) ms"
[[ "$stations" == "$expected" ]] || { echo "FAIL: station models"; fail=1; }
[[ "$aircraft" == 1 ]] || { echo "FAIL: aircraft marker"; fail=1; }
[[ "$sounding" == 1 ]] || { echo "FAIL: sounding"; fail=1; }
[[ -n "$render" ]] || { echo "FAIL: the page did not finish drawing"; fail=1; }
((size < 2 * 1024 * 1024)) || { echo "FAIL: page of 2 MB or more"; fail=1; }
if grep -E 'CONSOLE|Uncaught|Refused to' "$profile/log.txt"; then
  echo "FAIL: console messages"
  fail=1
fi
exit $fail
