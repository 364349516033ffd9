#!/usr/bin/env bash
# What the pages' accessibility costs: the browser started on a list page of 4 links (the
# sample's) and on one of 5,000 links, each with page accessibility off
# (QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY=0) and on (as the browser starts), without a
# screen reader and with one (the AT-SPI bus on a private D-Bus session, its switch on).
# Prints, per case, the median over the rounds (default 5; the argument says) of the time
# to the first list page, and the CPU time and the peak memory of the browser with its
# engine processes; the cases run by turns, as this machine's figures drift.
set -euo pipefail
cd "$(dirname "$0")/.."
export QTWEBENGINE_DISABLE_SANDBOX=1

# One start on the folder $2, with a screen reader when $3 is "yes" (inside a D-Bus
# session): "seconds-to-page cpu-seconds peak-MB", the CPU time and the largest memory
# of the browser and every engine process it starts, sampled as they run.
if [ "${1:-}" = --one ]; then
  if [ "$3" = yes ]; then
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    launcher=$!
    for _ in $(seq 100); do
      dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true && break
      sleep 0.05
    done
    dbus-send --session --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
      string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true
  fi
  out=$(mktemp)
  WENLOW_SCREENSHOT="$2/shot.png" build/wenlow --dir "$2" >"$out" 2>/dev/null &
  browser=$!
  tick=$(getconf CLK_TCK)
  declare -A cpu
  peak=0
  while kill -0 "$browser" 2>/dev/null; do
    rss=0
    for p in $(ps -e -o pid=,ppid= | awk -v root="$browser" '{parent[$1] = $2} END {
                 for (p in parent) for (q = p; q != "" && q > 1; q = parent[q]) if (q == root) {print p; break}}'); do
      read -r -a stat < "/proc/$p/stat" 2>/dev/null || continue
      cpu[$p]=$((stat[13] + stat[14]))
      rss=$((rss + stat[23] * 4))
    done
    [ $rss -gt $peak ] && peak=$rss
    sleep 0.05
  done
  total=0
  for p in "${!cpu[@]}"; do total=$((total + cpu[$p])); done
  awk -v ticks="$total" -v tick="$tick" -v kb="$peak" '/first list page loaded after/ {ms = $6}
    END {printf "%.3f %.2f %.0f\n", ms / 1000, ticks / tick, kb / 1024}' "$out"
  rm -f "$out"
  if [ "$3" = yes ]; then kill "$launcher"; fi
  exit 0
fi

rounds="${1:-5}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for page in small large; do
  mkdir -p "$work/$page"
  cp sample/* "$work/$page/"
done
{
  echo '<!DOCTYPE html><html><head><meta charset="utf-8"><title>Many Sites</title></head><body>'
  for s in $(seq 50); do
    echo "<h2>Part $s</h2><ul>"
    for l in $(seq 100); do echo "<li><a href=\"https://site$s-$l.example/\">Site $s-$l</a></li>"; done
    echo '</ul>'
  done
  echo '</body></html>'
} > "$work/large/list1.html"

results=$(for round in $(seq "$rounds"); do
  for page in small large; do
    for access in 0 1; do
      for reader in no yes; do
        session=() && [ $reader = yes ] && session=(dbus-run-session --)
        line=$(QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY=$access xvfb-run -a -s "-screen 0 1280x1024x24" \
               "${session[@]}" bash "$0" --one "$work/$page" $reader 2>/dev/null)
        echo "$page $([ $access = 1 ] && echo on || echo off) $reader $line"
      done
    done
  done
done)
echo "page   pages'-accessibility  screen-reader  to-first-page-s  cpu-s  peak-MB   (median of $rounds)"
echo "$results" | sort -k1,1 -k2,2 -k3,3 -s | awk '
  function median(v, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j-1] > v[j]; j--) { t = v[j]; v[j] = v[j-1]; v[j-1] = t }
                                      return (n % 2) ? v[(n+1)/2] : (v[n/2] + v[n/2+1]) / 2 }
  function flush() { if (n) printf "%-6s %-21s %-14s %15.2f %6.2f %8.0f\n", key1, key2, key3, median(a, n), median(b, n), median(c, n) }
  { k = $1 " " $2 " " $3; if (k != last) { flush(); n = 0; last = k; key1 = $1; key2 = $2; key3 = $3 }
    n++; a[n] = $4; b[n] = $5; c[n] = $6 }
  END { flush() }'
