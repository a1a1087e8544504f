#!/bin/sh
# Opens the sample timeline page in headless Chromium, as a field engineer's
# browser would, and fails unless the page as the browser reads it holds
# both lanes, the role periods and every event (the daemon whose name is
# markup made no element), the page asked nothing of the network, and the
# printed page holds every event's text. Leaves the page, what the browser
# read, the PDF and a screenshot in WORK to look at.
# Usage: check-page-in-browser.sh SAMPLE WORK
set -eu
sample=$1
work=$2
# The sample's role periods: each board's boot and its one role change or reboot.
role_periods=4

fail() {
    echo "check-page-in-browser: $*" >&2
    exit 1
}

command -v chromium >/dev/null || fail "chromium is missing: scripts/setup.sh installs it"
command -v pdftotext >/dev/null || fail "pdftotext is missing: scripts/setup.sh installs it (poppler-utils)"

rm -rf "$work"
mkdir -p "$work"
"$sample" "$work/page.html" >"$work/texts.txt"
events=$(wc -l <"$work/texts.txt")

# One headless run over the page with the given options; the browser's own
# profile and its log of every network request stay in WORK, and no name
# resolves, so nothing leaves the machine whatever is asked.
browse() {
    run=$1
    shift
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$work/profile-$run" --host-resolver-rules="MAP * ~NOTFOUND" \
        --log-net-log="$work/$run.netlog" "$@" "file://$work/page.html" 2>"$work/$run.log" ||
        fail "chromium failed ($run): see $work/$run.log"
    [ -s "$work/$run.netlog" ] || fail "chromium wrote no network log ($run)"
}
browse dom --dump-dom >"$work/dom.html"
browse pdf --no-pdf-header-footer --print-to-pdf="$work/page.pdf"
browse png --window-size=1280,1000 --screenshot="$work/page.png"
[ -s "$work/page.png" ] || fail "no screenshot"

count() {
    grep -o "$1" "$work/dom.html" | wc -l
}
for lane in "MMB 0" "MMB 1"; do
    grep -q "class=\"lane-label\"[^>]*>$lane<" "$work/dom.html" || fail "no lane $lane in the page"
done
[ "$(count '<rect class="role ')" -eq "$role_periods" ] ||
    fail "$(count '<rect class="role ') role periods in the page, not $role_periods"
[ "$(count '<g class="event">')" -eq "$events" ] || fail "$(count '<g class="event">') markers in the page, not $events"
! grep -q '<img\|<script\|<link\| src="\| href="\|url(' "$work/dom.html" || fail "the page refers to something outside itself"
while IFS= read -r text; do
    # as the browser writes a text node back: markup characters as entities
    shown=$(printf '%s' "$text" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g')
    grep -qF "<td class=\"text\">$shown</td>" "$work/dom.html" || fail "no row for \"$text\" in the page's table"
done <"$work/texts.txt"

# The browser's own requests (updates, accounts) have no origin; a page's
# have the page's.
asked=$(grep -h '"initiator":' "$work"/*.netlog | grep -v '"initiator":"not an origin"' | grep -o '"url":"[^"]*"' || true)
[ -z "$asked" ] || fail "the page asked the network for: $asked"

# Cells wrap in print: the printed page's words as one line.
pdftotext "$work/page.pdf" - | tr -s ' \n' '  ' >"$work/printed.txt"
while IFS= read -r text; do
    grep -qF "$text" "$work/printed.txt" || fail "the printed page lacks \"$text\""
done <"$work/texts.txt"
echo "check-page-in-browser: $events events, both lanes and $role_periods role periods read, nothing asked of the network, every event printed"
