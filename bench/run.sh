#!/usr/bin/env bash
# Builds the benchmarks if needed and runs all of them under one Xvfb, printing
# every figure and its ratio to the baseline measured in the same run. Never
# fails on a figure: only a broken build or a missing tool stops it.
#
#   bash bench/run.sh            (BUILD_DIR=... to use another build folder,
#                                 RUNS=... start-up runs per program, default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD_DIR:-$ROOT/build}

if [ -z "${TLBENCH_INSIDE:-}" ]; then
  for tool in xvfb-run cmake ninja; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 2; }
  done
  # The benchmarks are built only when asked for, with the backend and the
  # tests' harness.
  if ! grep -q '^TESSALOOM_BACKEND:BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null ||
    ! grep -q '^TESSALOOM_TESTS:BOOL=ON' "$BUILD/CMakeCache.txt" ||
    ! grep -q '^TESSALOOM_BENCH:BOOL=ON' "$BUILD/CMakeCache.txt"; then
    cmake -S . -B "$BUILD" -G Ninja -DTESSALOOM_BACKEND=ON -DTESSALOOM_TESTS=ON \
      -DTESSALOOM_BENCH=ON >/dev/null
  fi
  ninja -C "$BUILD" -j2 bench
  export TLBENCH_INSIDE=1
  exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" "$@"
fi

B=$BUILD/bench
RUNS=${RUNS:-10}
WORK=$(mktemp -d /tmp/tlbench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
LOG=$WORK/stderr.log

# A throw-away home, so no run sees another's settings or web data, and the
# user's own are never touched.
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
export XDG_CACHE_HOME=$WORK/home/.cache GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
mkdir -p "$HOME"

# A benchmark of the page's modules in node, under its heading.
node_bench() {
  echo
  echo "== $1 (node)"
  if command -v node >/dev/null; then
    node "$ROOT/bench/$2" 2>>"$LOG" || true
  else
    echo "node is not installed: skipped"
  fi
}

median() { sort -g | awk '{v[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
value() { grep -m1 "^$1=" "$2" | cut -d= -f2 | cut -d' ' -f1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b+0 == 0 || a == "" || b == "") print "n/a"; else printf "%.3g", a/b}'; }

echo "== machine"
echo "cores: $(nproc); cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "ram: $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo); load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "WebKitGTK $(pkg-config --modversion webkit2gtk-4.1), GTK $(pkg-config --modversion gtk+-3.0)"

# The app folder as built, its page with one line added: at the load event the
# page fetches a marker file, which inotify reports to xwatch. Tessaloom's
# scheme handler and the bare window's file:// load both open it.
cp -r "$BUILD/Tessaloom" "$WORK/app"
RES=$WORK/app/resources
marker="<script>addEventListener('load',function(){var n=document.getElementById('nav');fetch(n\&\&n.children.length?'tlbench-loaded':'tlbench-norender').catch(function(){});});</script>"
sed -i "s|</head>|$marker\n</head>|" "$RES/index.html"
: >"$RES/tlbench-loaded"
: >"$RES/tlbench-norender"
MARK=$RES/tlbench-loaded

# The bench page with a 20 MB file beside it.
mkdir -p "$WORK/page" "$WORK/out"
cp "$ROOT/bench/page/"* "$WORK/page/"
head -c $((20 * 1024 * 1024)) /dev/urandom >"$WORK/page/big.bin"

echo
echo "== 1. start-up: process start to the page's load event (median of $RUNS, interleaved)"
APP=("$WORK/app/Tessaloom")
BARE=("$B/bare_webview" "file://$RES/index.html")
launch() { "$B/xwatch" launch --opened "$MARK" --timeout 30 -- "$@" 2>>"$LOG"; }
launch "${APP[@]}" >/dev/null || true # first runs create the web data folders
launch "${BARE[@]}" >/dev/null || true
: >"$WORK/start.app"
: >"$WORK/start.bare"
for _ in $(seq "$RUNS"); do
  launch "${APP[@]}" | grep -E '^[0-9.]+$' >>"$WORK/start.app" || true
  launch "${BARE[@]}" | grep -E '^[0-9.]+$' >>"$WORK/start.bare" || true
done
app_start=$(median <"$WORK/start.app")
bare_start=$(median <"$WORK/start.bare")
echo "tessaloom runs (s): $(tr '\n' ' ' <"$WORK/start.app")"
echo "bare runs (s):      $(tr '\n' ' ' <"$WORK/start.bare")"
echo "startup_tessaloom_median_s=$app_start"
echo "startup_bare_median_s=$bare_start"
echo "startup_ratio=$(ratio "$app_start" "$bare_start")  (aim: at most 1.10)"

echo
echo "== 2. scheme throughput: 20 MB fetched by the page, fetch() + arrayBuffer()"
echo "   (median of 5 fetches per run; two runs per program, interleaved; the better run counts)"
for round in 1 2; do
  "$B/tessaloom_bench" --mode fetch --resources "$WORK/page" >"$WORK/fetch.app.$round" 2>>"$LOG" || true
  timeout 120 "$B/bare_webview" --report "file://$WORK/page/index.html?mode=fetch" \
    >"$WORK/fetch.file.$round" 2>>"$LOG" || true
  timeout 120 "$B/bare_webview" --report --scheme "$WORK/page" "bare://local/index.html?mode=fetch" \
    >"$WORK/fetch.bare.$round" 2>>"$LOG" || true
done
best() { for f in "$WORK/fetch.$1".*; do value "$2" "$f"; done | sort -g | tail -n1; }
both() { for f in "$WORK/fetch.$1".*; do printf '%s ' "$(value "$2" "$f")"; done; }
disk=$(best app disk_read_mbps)
app_mbps=$(best app fetch_mbps)
file_mbps=$(best file fetch_mbps)
bare_mbps=$(best bare fetch_mbps)
echo "tessaloom, halvane:// (MB/s per run):        $(both app fetch_mbps)"
echo "bare window, file:// (MB/s per run):         $(both file fetch_mbps)"
echo "bare window, plain custom scheme (MB/s):     $(both bare fetch_mbps)"
echo "C++ read of the same file, warm (MB/s):      $(both app disk_read_mbps)"
echo "scheme_mbps=$app_mbps file_fetch_mbps=$file_mbps plain_scheme_mbps=$bare_mbps disk_read_mbps=$disk"
echo "scheme_vs_file_fetch=$(ratio "$app_mbps" "$file_mbps")"
echo "scheme_vs_plain_custom_scheme=$(ratio "$app_mbps" "$bare_mbps")"
echo "scheme_vs_disk_read=$(ratio "$app_mbps" "$disk")"

echo
echo "== 2b. scheme: how long the UI stalls while a large file is served"
echo "   (handler time per request and the main loop's longest stretch without a turn;"
echo "    baselines: a plain C++ read of the file, the idle loop's longest stretch)"
mkdir -p "$WORK/stall"
cp "$ROOT/bench/page/"* "$WORK/stall/"
head -c $((24 * 1024 * 1024)) /dev/urandom >"$WORK/stall/large-24MiB.bin"
# The largest file served, then one byte more and a huge sparse file: both refused.
head -c $((256 * 1024 * 1024)) /dev/urandom >"$WORK/stall/cap-256MiB.bin"
truncate -s $((256 * 1024 * 1024 + 1)) "$WORK/stall/over-cap.bin"
truncate -s 100G "$WORK/stall/huge-100GiB.bin"
for file in large-24MiB.bin cap-256MiB.bin over-cap.bin huge-100GiB.bin; do
  rounds=3
  [ "$file" = large-24MiB.bin ] || rounds=1
  "$B/tessaloom_bench" --mode stall --resources "$WORK/stall" --file "$file" --rounds "$rounds" \
    --seconds 300 2>>"$LOG" | tee "$WORK/stall.$file" || true
  echo "stall_loop_vs_idle=$(ratio "$(value stall_loop_max_gap_ms "$WORK/stall.$file")" \
    "$(value stall_loop_idle_max_gap_ms "$WORK/stall.$file")")"
  echo
done
rm -f "$WORK/stall/"*.bin
# An address of 30 MB that names no file: answered as a miss before any work.
"$B/tessaloom_bench" --mode stall --resources "$WORK/stall" --file missing.js --pad $((30 * 1000 * 1000)) \
  --rounds 3 --seconds 300 2>>"$LOG" | tee "$WORK/stall.address" || true
echo "stall_loop_vs_idle=$(ratio "$(value stall_loop_max_gap_ms "$WORK/stall.address")" \
  "$(value stall_loop_idle_max_gap_ms "$WORK/stall.address")")"
echo

echo
echo "== 3. ball: one redraw, and the drag"
"$B/bench_ball_portable" | tee "$WORK/ball.portable"
"$B/tessaloom_bench" --mode ball-draw --frames 120 2>>"$LOG" | tee "$WORK/ball.cairo" || true
echo "ball_draw_cairo_vs_portable=$(ratio "$(value ball_draw_cairo_median_ms "$WORK/ball.cairo")" \
  "$(awk -v u="$(value ball_draw_portable_us "$WORK/ball.portable")" 'BEGIN {print u/1000}')")"
echo "-- the real app's ball, dragged (XTest pointer, ConfigureNotify observed):"
"$B/xwatch" drag --opened "$MARK" --moves 200 -- "${APP[@]}" 2>>"$LOG" | tee "$WORK/drag.app" || true
echo "-- baseline: a bare GTK window moved the same way:"
"$B/xwatch" drag --title TLBENCH-BALL --moves 200 -- "$B/bare_webview" --ball 1820 980 TLBENCH-BALL \
  2>>"$LOG" | tee "$WORK/drag.bare" || true
echo "drag_latency_vs_bare_gtk=$(ratio "$(value drag_latency_median_ms "$WORK/drag.app")" \
  "$(value drag_latency_median_ms "$WORK/drag.bare")")"

echo
echo "== 4. export through the save bridge (save panel answered by the harness)"
# 18 MB is the largest file a save carries.
for size in 1 10 18; do
  "$B/tessaloom_bench" --mode export --resources "$WORK/page" --size "$size" \
    --out "$WORK/out/export-$size.bin" 2>>"$LOG" | tee "$WORK/export.$size" || true
  rm -f "$WORK/out/export-$size.bin"
  echo
done
echo "aim: extra peak memory of the app (UI process) at most 3x the file size"

node_bench "5. planning: far return dates and 20 000 exceptions against near dates and none" planner.mjs

node_bench "6. one change on a year's data: the page's persist and the file's text against write + fsync" datafile.mjs

node_bench "7. merging two year-sized copies that went apart, against one plan of the same data" merge.mjs

echo
echo "== 8. the real page at 10, 600 and 5 000 assignments: first view and one change on three views"
"$B/tessaloom_page_bench" --resources "$BUILD/Tessaloom/resources" --runs 5 2>>"$LOG" || true
echo "aim: each change at 600 at most 2x, at 5 000 at most 4x the same step at 10"

if grep -qv '^$' "$LOG" 2>/dev/null; then
  echo
  echo "== messages on stderr (last 20 lines)"
  tail -n 20 "$LOG"
fi
