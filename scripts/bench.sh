#!/usr/bin/env bash
# Builds the default preset and runs the measuring programs in bench/, printing one table:
# each figure with what it was measured against, its target and whether it was met.
# Usage: scripts/bench.sh [figure ...]
#   figures: ftdi com usb scale-ftdi scale-com scale-usb log startup (default: all, about
#   9 minutes; com alone takes about 90 s, the time of the image on a 115200-baud wire,
#   scale-ftdi about 2 minutes: four rounds of about 20 s and the identification of 161 trackers)
# Exit status 1 when a program failed or a target was missed.
# The programs' plotted points are kept in docs/bench-points.txt (the series of the figures
# run replace their old points) and drawn with gnuplot into docs/*.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default >/dev/null
bash scripts/install-deps.sh bench
figures=("$@")
[ ${#figures[@]} -gt 0 ] || figures=(ftdi com usb scale-ftdi scale-com scale-usb log startup)

export LD_LIBRARY_PATH="$PWD/build/sim/stand-in"
export QT_QPA_PLATFORM=offscreen
unset QLFW_DEVICE_EVENTS QLSIM_SOCKET

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -srm); $(date -u +%Y-%m-%d)"
echo "Commit: $(git rev-parse --short HEAD 2>/dev/null || echo '?')$(git diff --quiet 2>/dev/null || echo ' (with changes)')"
echo
echo "| figure | measured | target | met |"
echo "|---|---|---|---|"
status=0
out=$(mktemp)
points=$(mktemp)
trap 'rm -f "$out" "$points"' EXIT
export QLBENCH_POINTS="$points"
for f in "${figures[@]}"; do
  case "$f" in
    ftdi)       cmd=(build/bench/bench_write link ftdi) ;;
    com)        cmd=(build/bench/bench_write link com) ;;
    usb)        cmd=(build/bench/bench_write link usb) ;;
    scale-ftdi) cmd=(build/bench/bench_write scale ftdi) ;;
    scale-com)  cmd=(build/bench/bench_write scale com) ;;
    scale-usb)  cmd=(build/bench/bench_write scale usb) ;;
    log)        cmd=(build/bench/bench_log_pane) ;;
    startup)    cmd=(build/bench/bench_startup) ;;
    *) echo "unknown figure: $f" >&2; exit 2 ;;
  esac
  # The loader's own log lines go to its daily file; only the table reaches the terminal.
  if ! "${cmd[@]}" >"$out" 2>"$out.err"; then
    echo "| $f | failed: $(tail -n 1 "$out.err") | | **no** |"
    status=1
  fi
  cat "$out"
  grep -q '\*\*no\*\*' "$out" && status=1
  rm -f "$out.err"
done

# Each series measured now replaces its stored points; the others stay as they were.
stored=docs/bench-points.txt
if [ -s "$points" ]; then
  kept=$(mktemp)
  if [ -f "$stored" ]; then
    awk 'NR == FNR { drop[$1] = 1; next } /^#/ { next } !($1 in drop)' "$points" "$stored" >"$kept"
  fi
  { echo "# series x y: written by scripts/bench.sh, drawn by bench/plots/*.gp"
    cat "$kept" "$points"; } >"$stored"
  rm -f "$kept"
fi
if [ -f "$stored" ]; then
  for plot in bench/plots/*.gp; do
    svg="docs/$(basename "$plot" .gp).svg"
    if ! gnuplot -e "points='$stored'" -e "svg='$svg'" "$plot"; then
      echo "bench.sh: cannot draw $svg" >&2
      status=1
    fi
  done
fi
exit $status
