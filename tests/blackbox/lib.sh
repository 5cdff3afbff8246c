# shellcheck shell=bash disable=SC2034 # the variables set here are read by the groups
# Shared by the black-box test groups: each group script defines functions
# named case_<name> and ends with `bb_main "$@"`.
#
#   bash tests/blackbox/<group>.sh build/Tessaloom/Tessaloom [case-pattern]
#
# The script puts itself under a private Xvfb screen, then runs every case in a
# process of its own with its own session bus, HOME and XDG folders, and a copy
# of the app folder. The app is driven and inspected from outside only: X11
# windows and their properties, synthetic input, screenshots, and the files it
# leaves in HOME. Exit status: 0 all passed, 1 a case failed, 77 a tool is
# missing.

set -uo pipefail

BB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BB_SCREEN_W=1920
BB_SCREEN_H=1080
BB_BALL=66
# Generous: other work shares this machine's two cores.
BB_TIMEOUT=${BB_TIMEOUT:-25}

bb_log() { printf '%s\n' "$*" >&2; }

bb_fail() {
  bb_log "FAIL: $*"
  exit 1
}

# ---- entry --------------------------------------------------------------------

bb_main() {
  if [ "${1:-}" = --case ]; then
    bb_run_case "$2" "$3"
    exit $?
  fi
  local exe=${1:?usage: $0 path/to/Tessaloom [case-pattern]} only=${2:-}
  local tool
  for tool in xvfb-run Xvfb xauth dbus-run-session xdotool xwininfo xprop xev import; do
    if ! command -v "$tool" >/dev/null; then
      bb_log "SKIP: $tool is missing (scripts/deps.sh installs it)"
      exit 77
    fi
  done
  [ -x "$exe" ] || bb_fail "no executable at $exe"
  exe=$(realpath "$exe")
  export BB_WM_CLOSE=${BB_WM_CLOSE:-$(dirname "$exe")/../tests/wm_close}
  [ -x "$BB_WM_CLOSE" ] || bb_fail "no wm_close helper at $BB_WM_CLOSE (built with the tests)"
  if [ -z "${BB_ON_XVFB:-}" ]; then
    local attempt status
    for attempt in 1 2 3; do
      # xvfb-run -a takes the first display that looks free from the start
      # number on; two jobs doing that at once can both take the same one, and
      # the loser's clients then meet the winner's server. A start number of
      # our own makes that rare, and a server we cannot talk to is retried.
      # -noreset: a server that resets whenever its last client leaves turns
      # away the clients that connect meanwhile, such as the app starting.
      xvfb-run -a -n $((200 + RANDOM % 600)) \
        -s "-screen 0 ${BB_SCREEN_W}x${BB_SCREEN_H}x24 -nolisten tcp -noreset" \
        env BB_ON_XVFB=1 bash "$0" "$exe" "$only"
      status=$?
      [ $status -eq 75 ] || exit $status
      bb_log "the X server on $attempt. try was not ours; trying another display"
    done
    exit 1
  fi
  xwininfo -root >/dev/null 2>&1 || exit 75

  local cases=() name failed=() started=$SECONDS t
  mapfile -t cases < <(grep -o '^case_[A-Za-z0-9_]*' "$0")
  for name in "${cases[@]}"; do
    [[ -n "$only" && "$name" != *$only* ]] && continue
    t=$SECONDS
    # The bus daemon's own chatter is not the app's.
    dbus-run-session -- bash "$0" --case "$name" "$exe" 2>&1 |
      grep --line-buffered -v -e '^dbus-daemon\[' -e '^SpiRegistry daemon' >&2
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
      bb_log "ok   $name ($((SECONDS - t)) s)"
    else
      bb_log "FAIL $name ($((SECONDS - t)) s)"
      failed+=("$name")
    fi
  done
  bb_log "$(basename "$0" .sh): ${#failed[@]} failed, $((SECONDS - started)) s"
  [ ${#failed[@]} -eq 0 ]
}

# One case: a fresh home, the app folder copied next to it, and everything the
# case started stopped again at the end.
bb_run_case() {
  local name=$1
  BB_BUILT_EXE=$2
  BB_CASE=$name
  BB_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tessaloom-bb.XXXXXX")
  export HOME=$BB_TMP/home
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
  export XDG_CACHE_HOME=$HOME/.cache XDG_STATE_HOME=$HOME/.local/state
  export XDG_RUNTIME_DIR=$BB_TMP/run
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
  BB_DEFAULTS=$XDG_CONFIG_HOME/Tessaloom/defaults.ini
  BB_PIDS=()
  BB_STARTS=0
  trap bb_cleanup EXIT
  bb_use_built_app
  "$name"
}

bb_cleanup() {
  local status=$? pid i
  if [ $status -ne 0 ]; then
    local shots=${BB_ARTIFACTS:-${TMPDIR:-/tmp}/tessaloom-blackbox-failures}
    mkdir -p "$shots" && import -window root "$shots/$BB_CASE.png" 2>/dev/null &&
      bb_log "screen at failure: $shots/$BB_CASE.png"
    for i in "$BB_TMP"/app.*.log; do
      [ -s "$i" ] && bb_log "--- $(basename "$i")" && tail -n 20 "$i" >&2
    done
  fi
  # The app's web and network processes too, which would otherwise write
  # into the home below after it is gone.
  local all=("${BB_PIDS[@]}")
  for pid in "${BB_PIDS[@]}"; do
    mapfile -t -O "${#all[@]}" all < <(pgrep -P "$pid")
  done
  for pid in "${all[@]}"; do
    # A case may have stopped one (kill -STOP); stopped, it would not end.
    kill -CONT "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
  done
  for pid in "${all[@]}"; do
    for i in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
  done
  wait 2>/dev/null
  [ -n "${BB_KEEP:-}" ] || rm -rf "$BB_TMP"
  exit $status
}

# ---- the app folder -----------------------------------------------------------

bb_use_built_app() {
  BB_EXE=$BB_BUILT_EXE
}

# A copy of the app folder whose resources/ is the probe page (page/), plus
# page-script to run at load when given. The copy goes to $2 when given.
bb_use_probe_app() {
  local script=${1:-} dir=${2:-$BB_TMP/app}
  mkdir -p "$dir/resources"
  cp "$BB_BUILT_EXE" "$dir/Tessaloom"
  cp "$BB_DIR"/page/* "$dir/resources/"
  printf '%s\n' "$script" >"$dir/resources/extra.js"
  BB_EXE=$dir/Tessaloom
}

# ---- the process --------------------------------------------------------------

# Starts the app in the background with the given arguments; BB_PID is its id.
bb_start() {
  BB_STARTS=$((BB_STARTS + 1))
  "$BB_EXE" "$@" >"$BB_TMP/app.$BB_STARTS.log" 2>&1 &
  BB_PID=$!
  BB_PIDS+=("$BB_PID")
}

bb_alive() { kill -0 "${1:-$BB_PID}" 2>/dev/null; }

# Waits for the process to end; its exit status lands in BB_STATUS.
bb_wait_exit() {
  local pid=${1:-$BB_PID} deadline=$((SECONDS + BB_TIMEOUT))
  while [ $SECONDS -le $deadline ]; do
    if ! bb_alive "$pid"; then
      wait "$pid"
      BB_STATUS=$?
      return 0
    fi
    sleep 0.1
  done
  bb_fail "process $pid still running after ${BB_TIMEOUT} s"
}

# bb_wait_until "what" command...: polls until the command succeeds.
bb_wait_until() {
  local what=$1 deadline=$((SECONDS + BB_TIMEOUT))
  shift
  while [ $SECONDS -le $deadline ]; do
    "$@" && return 0
    sleep 0.1
  done
  bb_fail "timed out waiting for $what"
}

# ---- windows ------------------------------------------------------------------

# The mapped top-level windows of the process whose type is $1 (NORMAL for the
# main window, UTILITY for the ball), one id per line.
bb_windows_of_type() {
  local type=$1 pid=${2:-$BB_PID} id
  for id in $(xdotool search --all --pid "$pid" --onlyvisible --name '' 2>/dev/null); do
    if xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q "_NET_WM_WINDOW_TYPE_$type\b"; then
      echo "$id"
    fi
  done
}

bb_find_main() { BB_MAIN=$(bb_windows_of_type NORMAL | head -n 1) && [ -n "$BB_MAIN" ]; }
bb_find_ball() { BB_BALLWIN=$(bb_windows_of_type UTILITY | head -n 1) && [ -n "$BB_BALLWIN" ]; }
bb_no_main() { [ -z "$(bb_windows_of_type NORMAL)" ]; }

bb_wait_main() { bb_wait_until "the main window to map" bb_find_main; }
bb_wait_ball() { bb_wait_until "the ball to map" bb_find_ball; }

# Sets GX GY GW GH: the window's position on the screen and its size, without
# any frame of a window manager.
bb_geometry() {
  local info
  info=$(xwininfo -id "$1") || bb_fail "window $1 is gone"
  GX=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  GY=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  GW=$(sed -n 's/^ *Width: *//p' <<<"$info")
  GH=$(sed -n 's/^ *Height: *//p' <<<"$info")
}

bb_mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

bb_title() { xdotool getwindowname "$1" 2>/dev/null; }

bb_title_matches() { [[ "$(bb_title "$1")" =~ $2 ]]; }

# Waits for the window's title to match the extended regular expression.
bb_wait_title() {
  bb_wait_until "title of $1 to match '$2' (last: '$(bb_title "$1")')" bb_title_matches "$1" "$2"
}

# The probe page's report, once the page is on screen: "<w>x<h> loads=<n>".
bb_wait_probe() {
  bb_wait_title "$1" '^[0-9]+x[0-9]+ loads=[0-9]+$'
  read -r PROBE_SIZE PROBE_LOADS <<<"$(bb_title "$1")"
  PROBE_W=${PROBE_SIZE%x*}
  PROBE_H=${PROBE_SIZE#*x}
  PROBE_LOADS=${PROBE_LOADS#loads=}
}

# Keys to the window as the user types them: the window has the keyboard focus.
bb_keys() {
  local id=$1
  shift
  timeout 10 xdotool windowfocus --sync "$id" || bb_fail "could not focus window $id"
  xdotool key --clearmodifiers "$@"
}

# The close button of a window manager, for the window.
bb_wm_close() { "$BB_WM_CLOSE" "$1" || bb_fail "could not ask window $1 to close"; }

# Sets BB_STACK to the stacking position of window $1 among the screen's
# top-level windows, counted from the front (1 is in front of all others).
bb_stack_index() {
  local hex
  hex=$(printf '0x%x' "$1")
  BB_STACK=$(xwininfo -root -children | grep -o '^ *0x[0-9a-f]*' | tr -d ' ' |
    grep -n -x "$hex" | cut -d: -f1)
}

# ---- settings -----------------------------------------------------------------

# The value stored under the key in the app's defaults file, or nothing.
bb_default() {
  [ -f "$BB_DEFAULTS" ] || return 0
  sed -n "/^\[defaults\]/,/^\[/ s/^$1=//p" "$BB_DEFAULTS"
}

bb_set_default() {
  mkdir -p "$(dirname "$BB_DEFAULTS")"
  if [ ! -f "$BB_DEFAULTS" ]; then
    printf '[defaults]\n' >"$BB_DEFAULTS"
  fi
  printf '%s=%s\n' "$1" "$2" >>"$BB_DEFAULTS"
}

bb_has_default() { [ -n "$(bb_default "$1")" ]; }

# ---- pixels -------------------------------------------------------------------

# Prints "x y r g b" (0..255, x and y relative to the region) for the pixels
# of the screen region w h x y; every step-th pixel on both axes when a step is
# given, which keeps large regions quick.
bb_pixels() {
  local step=${5:-1}
  import -window root -crop "$1x$2+$3+$4" +repage -depth 8 ppm:- |
    convert ppm:- -sample "$((100 / step))%" -depth 8 txt:- |
    sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p'
}

# How many pixels of the region (w h x y, optional step) satisfy the awk
# condition over r, g, b, x and y.
bb_count_pixels() {
  local cond=$5
  bb_pixels "$1" "$2" "$3" "$4" "${6:-1}" |
    awk "{x=\$1; y=\$2; r=\$3; g=\$4; b=\$5} $cond {n++} END {print n+0}"
}

# ---- assertions ---------------------------------------------------------------

bb_expect_eq() {
  [ "$1" = "$2" ] || bb_fail "$3: got '$1', expected '$2'"
}

# bb_expect_near actual expected tolerance what
bb_expect_near() {
  local d=$(($1 - $2))
  [ ${d#-} -le "$3" ] || bb_fail "$4: got $1, expected $2 (±$3)"
}

# ---- the main window's measure ------------------------------------------------

# Waits for the probe page's report in the main window and sets, besides the
# PROBE_* values, GX GY GW GH (the window) and MENU_H: the height of what the
# window shows above the content, its menu bar.
bb_measure_main() {
  bb_wait_main
  bb_wait_probe "$BB_MAIN"
  bb_geometry "$BB_MAIN"
  MENU_H=$((GH - PROBE_H))
  if [ "$GW" -ne "$PROBE_W" ] || [ "$MENU_H" -lt 0 ] || [ "$MENU_H" -ge 80 ]; then
    bb_fail "window ${GW}x${GH} does not hold a ${PROBE_W}x${PROBE_H} page and a menu bar"
  fi
}

# The content's rectangle in the defaults' text form, measured on screen: the
# origin at its lower left, y counted upwards from the bottom of the screen.
bb_content_frame() {
  echo "{{$GX, $((BB_SCREEN_H - GY - MENU_H - PROBE_H))}, {$PROBE_W, $PROBE_H}}"
}

# ---- the ball -----------------------------------------------------------------

# How many pixels of the ball window satisfy the awk condition, in the
# window's own top-left coordinates.
bb_ball_count() {
  bb_geometry "$BB_BALLWIN" && bb_count_pixels "$BB_BALL" "$BB_BALL" "$GX" "$GY" "$1"
}
# Inside the badge's disc: the badge square runs from 42 to 67 in the view's
# bottom-up coordinates, so its centre is at (54.5, 11.5) from the top left.
BB_IN_BADGE='(x - 54.5)^2 + (y - 11.5)^2 < 100'
bb_badge_shown() {
  [ "$(bb_ball_count "$BB_IN_BADGE && r > 235 && g > 235 && b > 235")" -ge 120 ]
}
