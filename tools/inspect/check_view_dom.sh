#!/usr/bin/env bash
# Opens a weather view page in headless Chromium, inside a small harness page that works it as a
# user would, and checks what it drew and did: the number of station models, the aircraft, the
# sounding, the wheel zooming and a drag panning the map's view box, a pointed station showing
# its panel with the layer chart, labels left overlapping, no console error and the size. It
# prints the render time, which depends on the machine's load and so is a figure, not a check.
# usage: check_view_dom.sh PAGE EXPECTED_STATIONS [MAX_BYTES]
set -euo pipefail
page=$1
expected=$2
max_bytes=${3:-$((1536 * 1024))}
chromium=${CHROMIUM:-/usr/bin/chromium}
if [[ ! -x "$chromium" ]]; then
  echo "SKIP: no chromium at $chromium (scripts/deps installs it)"
  exit 77
fi
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
cp "$page" "$profile/view.html"
cat >"$profile/harness.html" <<'EOF'
<!DOCTYPE html><html><body style="margin:0"><pre id="out">not run</pre>
<iframe id="f" style="width:1366px;height:768px;border:0"></iframe>
<script>
var f = document.getElementById('f'), out = document.getElementById('out');
f.addEventListener('load', function () {
  var r = [], d = f.contentDocument, w = f.contentWindow;
  function say(k, v) { r.push(k + '=' + v); }
  try {
    var svg = d.getElementById('chart');
    say('stations', d.querySelectorAll('.stn').length);
    say('aircraft', d.querySelectorAll('#aircraft').length);
    say('sounding', d.querySelectorAll('#sounding').length);
    say('render', d.documentElement.getAttribute('data-render-ms'));
    // Labels still overlapping after the give-way pass (the keys of the stations not quieted).
    var boxes = [].map.call(d.querySelectorAll('.stn:not(.quiet) .key'), function (t) { return t.getBoundingClientRect(); });
    var overlaps = 0;
    for (var i = 0; i < boxes.length; i++) for (var j = i + 1; j < boxes.length; j++) {
      var a = boxes[i], b = boxes[j];
      if (a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom) overlaps++;
    }
    say('overlaps', overlaps);
    var keyPx = boxes.length ? Math.round(boxes[0].height) : 0;
    say('label_px', keyPx);
    var box = svg.getBoundingClientRect(), cx = box.left + box.width / 2, cy = box.top + box.height / 2;
    var before = svg.getAttribute('viewBox').split(' ').map(Number);
    svg.dispatchEvent(new w.WheelEvent('wheel', {deltaY: -120, clientX: cx, clientY: cy, bubbles: true, cancelable: true}));
    var zoomed = svg.getAttribute('viewBox').split(' ').map(Number);
    say('zoom', zoomed[2] < before[2] * 0.9 ? 'in' : 'none');
    svg.dispatchEvent(new w.PointerEvent('pointerdown', {clientX: cx, clientY: cy, bubbles: true}));
    w.dispatchEvent(new w.PointerEvent('pointermove', {clientX: cx + 80, clientY: cy + 40, bubbles: true}));
    w.dispatchEvent(new w.PointerEvent('pointerup', {clientX: cx + 80, clientY: cy + 40, bubbles: true}));
    var panned = svg.getAttribute('viewBox').split(' ').map(Number);
    say('pan', panned[0] < zoomed[0] && panned[1] < zoomed[1] && Math.abs(panned[2] - zoomed[2]) < 1e-6 ? 'moved' : 'none');
    var stn = d.querySelector('.stn[data-i="0"]');
    stn.dispatchEvent(new w.MouseEvent('mouseenter'));
    var panel = d.getElementById('d0');
    say('panel', panel && !panel.hidden && panel.querySelector('.layers svg') ? 'shown' : 'none');
  } catch (e) {
    say('error', e.message);
  }
  out.textContent = 'RESULT ' + r.join(' ');
});
f.src = 'view.html';
</script></body></html>
EOF
size=$(stat -c %s "$page")
started=$(date +%s%N)
"$chromium" --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
  --disable-sync --no-first-run --user-data-dir="$profile/user" --enable-logging=stderr --v=0 \
  --allow-file-access-from-files --window-size=1400,900 --virtual-time-budget=5000 \
  --dump-dom "file://$profile/harness.html" >"$profile/dom.html" 2>"$profile/log.txt"
ended=$(date +%s%N)
result=$(grep -o 'RESULT[^<]*' "$profile/dom.html" | head -n 1 || true)
value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $result"; }
fail=0
echo "page: $page, $size bytes"
echo "$result"
echo "render time in the page: $(value render) ms; chromium run: $(((ended - started) / 1000000)) ms"
[[ "$(value stations)" == "$expected" ]] || { echo "FAIL: station models (expected $expected)"; fail=1; }
[[ "$(value aircraft)" == 1 ]] || { echo "FAIL: aircraft marker"; fail=1; }
[[ "$(value sounding)" == 1 ]] || { echo "FAIL: sounding"; fail=1; }
[[ -n "$(value render)" && "$(value render)" != null ]] || { echo "FAIL: the page did not finish drawing"; fail=1; }
[[ "$(value zoom)" == in ]] || { echo "FAIL: the wheel did not zoom the view box"; fail=1; }
[[ "$(value pan)" == moved ]] || { echo "FAIL: a drag did not pan the view box"; fail=1; }
[[ "$(value panel)" == shown ]] || { echo "FAIL: pointing at a station did not show its panel and layer chart"; fail=1; }
[[ "$(value overlaps)" == 0 ]] || { echo "FAIL: labels overlap"; fail=1; }
[[ -z "$(value error)" ]] || { echo "FAIL: the harness stopped: $(value error)"; fail=1; }
((size < max_bytes)) || { echo "FAIL: page of $max_bytes bytes or more"; fail=1; }
if grep -E 'CONSOLE|Uncaught|Refused to' "$profile/log.txt"; then
  echo "FAIL: console messages"
  fail=1
fi
exit $fail
