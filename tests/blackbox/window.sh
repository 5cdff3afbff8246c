#!/usr/bin/env bash
# The main window: title, size and place, the remembered frame, hidden starts,
# closing, a second start, and starting without a session bus, where a second
# start asks the running copy itself; a running copy that is stopped.
# shellcheck source=tests/blackbox/lib.sh
source "$(dirname "$0")/lib.sh"

expect_centred() {
  bb_expect_near $((GX + GW / 2)) $((BB_SCREEN_W / 2)) 1 "horizontal centre of the main window"
  bb_expect_near $((GY + GH / 2)) $((BB_SCREEN_H / 2)) 1 "vertical centre of the main window"
}

case_default_size_centred() {
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size without a stored frame"
  expect_centred
  # The smallest size the user can drag it to, content again.
  xprop -id "$BB_MAIN" WM_NORMAL_HINTS | grep -q "minimum size: 1170 by $((460 + MENU_H))$" ||
    bb_fail "minimum size is not 1170 x 460 of content: $(xprop -id "$BB_MAIN" WM_NORMAL_HINTS)"
  bb_wait_ball
}

case_real_page_title() {
  bb_start
  bb_wait_main
  bb_wait_title "$BB_MAIN" '^Dovrelist$'
  bb_geometry "$BB_MAIN"
  expect_centred
  # The page drew itself: a good share of the window is neither blank white nor black.
  bb_wait_until "the page to draw" page_drawn
}
page_drawn() {
  local drawn
  drawn=$(bb_count_pixels "$GW" "$GH" "$GX" "$GY" \
    '!((r > 245 && g > 245 && b > 245) || (r < 10 && g < 10 && b < 10))' 10)
  [ "$drawn" -gt $((GW * GH / 100 / 20)) ]
}

case_stored_size_restored() {
  bb_set_default windowFrame '{{0, 0}, {1500, 900}}'
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1500x900 "content size from a stored frame"
  # The stored origin is not where it goes: it is centred.
  expect_centred
}

case_unusable_stored_size() {
  bb_set_default windowFrame '{{0, 0}, {1500, nan}}'
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size from a frame without a height"
  expect_centred
}

case_unreadable_settings_are_never_replaced() {
  # A settings file the key file format rejects (a line of binary garbage)
  # gives the defaults, and closing the window must not write over it.
  mkdir -p "$(dirname "$BB_DEFAULTS")"
  printf '[defaults]\nballPos={100, 200}\nwindowFrame={{0, 0}, {1500, 900}}\n\377\376\001\n' \
    >"$BB_DEFAULTS"
  cp "$BB_DEFAULTS" "$BB_TMP/defaults.before"
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size from an unreadable settings file"
  bb_wm_close "$BB_MAIN"
  bb_wait_until "the main window to unmap" bb_no_main
  sleep 0.5
  cmp -s "$BB_DEFAULTS" "$BB_TMP/defaults.before" ||
    bb_fail "the unreadable settings file was replaced: $(cat -v "$BB_DEFAULTS")"
}

case_settings_fifo_gives_defaults_and_stays() {
  # A FIFO in the settings file's place: opening it to read would wait for a
  # writer for good. The app starts at once with the defaults, and storing a
  # setting leaves the FIFO as it is.
  mkdir -p "$(dirname "$BB_DEFAULTS")"
  mkfifo "$BB_DEFAULTS"
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size with a FIFO for settings"
  bb_wait_ball
  bb_wm_close "$BB_MAIN"
  bb_wait_until "the main window to unmap" bb_no_main
  sleep 0.5
  [ -p "$BB_DEFAULTS" ] || bb_fail "the settings FIFO was replaced: $(ls -l "$BB_DEFAULTS")"
}

case_ball_only_maps_no_main_window() {
  # Every window that reaches the screen, from before the start on.
  xev -root -event substructure >"$BB_TMP/maps.log" 2>&1 &
  BB_PIDS+=($!)
  sleep 0.5
  bb_use_probe_app 'webkit.messageHandlers.hlvnBadge.postMessage({ n: 7 });'
  bb_start --ball-only
  bb_wait_ball
  # The page runs hidden: its count reaches the ball.
  bb_wait_until "the badge of the hidden page's count" bb_badge_shown
  sleep 1
  bb_no_main || bb_fail "a main window is mapped in ball-only mode"
  local id mapped=()
  # Windows the window manager would manage (not the toolkit's own short-lived
  # override-redirect helpers).
  mapfile -t mapped < <(awk '/^MapNotify/ { getline
    if (/override NO/ && match($0, /window 0x[0-9a-f]+/)) print substr($0, RSTART + 7, RLENGTH - 7) }' \
    "$BB_TMP/maps.log")
  [ ${#mapped[@]} -gt 0 ] || bb_fail "saw no window map at all"
  for id in "${mapped[@]}"; do
    [ $((id)) -eq "$BB_BALLWIN" ] ||
      bb_fail "window $id ($(bb_title "$id")) was mapped besides the ball"
  done
}

case_close_keeps_running_second_start_shows() {
  bb_use_probe_app
  bb_start
  local first=$BB_PID
  bb_measure_main
  local window=$BB_MAIN size="${GW}x${GH}" frame
  frame=$(bb_content_frame)
  bb_wm_close "$window"
  bb_wait_until "the main window to unmap" bb_no_main
  sleep 0.5
  bb_alive "$first" || bb_fail "closing the main window ended the process"
  bb_find_ball || bb_fail "the ball went away with the main window"
  bb_expect_eq "$(bb_default windowFrame)" "$frame" "windowFrame stored at close"

  # Started again: the running one shows its window, the new one ends.
  bb_start
  bb_wait_exit
  bb_expect_eq "$BB_STATUS" 0 "exit status of the second start"
  BB_PID=$first
  bb_wait_main
  bb_expect_eq "$BB_MAIN" "$window" "window shown by the second start"
  bb_geometry "$BB_MAIN"
  bb_expect_eq "${GW}x${GH}" "$size" "window size after showing it again"
  # The same page, not loaded again.
  bb_wait_probe "$BB_MAIN"
  bb_expect_eq "$PROBE_LOADS" 1 "page loads after showing the window again"

  # What was stored brings back the same window, and is stored again unchanged.
  bb_keys "$BB_MAIN" ctrl+q
  bb_wait_exit "$first"
  bb_start
  bb_measure_main
  bb_expect_eq "${GW}x${GH}" "$size" "window size restored from the stored frame"
  bb_wm_close "$BB_MAIN"
  bb_wait_until "the main window to unmap" bb_no_main
  bb_expect_eq "$(bb_default windowFrame)" "$frame" "windowFrame stored after restoring it"
}

case_starts_without_session_bus() {
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$BB_TMP/no-bus
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size without a session bus"
  bb_wait_ball
  bb_keys "$BB_MAIN" ctrl+q
  bb_wait_exit
  bb_expect_eq "$BB_STATUS" 0 "exit status without a session bus"
}

case_one_copy_without_session_bus() {
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$BB_TMP/no-bus
  # What a write killed midway left in a folder the app writes to itself,
  # beside a look-alike that is the user's.
  local autostart=$XDG_CONFIG_HOME/autostart
  mkdir -p "$autostart"
  printf half >"$autostart/.tessaloom-AbC123.tessaloom-tmp"
  printf mine >"$autostart/.tessaloom-AbC12.tessaloom-tmp"
  bb_use_probe_app
  bb_start
  local first=$BB_PID
  bb_wait_main
  local window=$BB_MAIN
  [ ! -e "$autostart/.tessaloom-AbC123.tessaloom-tmp" ] || bb_fail "a killed write's temporary was left at start"
  [ -e "$autostart/.tessaloom-AbC12.tessaloom-tmp" ] || bb_fail "a look-alike of a temporary was removed"
  # One the running copy might be writing: no second start touches it.
  printf busy >"$autostart/.tessaloom-Busy12.tessaloom-tmp"

  # Its window closed, a second start brings it back and ends; a ball-only
  # one just ends.
  bb_wm_close "$window"
  bb_wait_until "the main window to unmap" bb_no_main
  local args
  for args in --ball-only "" --ball-only; do
    start_second $args
    bb_expect_eq "$BB_STATUS" 0 "exit status of a second start $args"
    bb_expect_eq "$(cat "$BB_TMP/second.err")" "" "what a second start $args says"
    bb_expect_eq "$(cat "$BB_TMP/second.out")" "" "output of a second start $args"
    if [ -z "$args" ]; then
      bb_log "a second start without a session bus: the window mapped after" \
        "$SECOND_MAPPED_MS ms, the start ended after $SECOND_MS ms"
      BB_PID=$first
      bb_find_main && bb_expect_eq "$BB_MAIN" "$window" "the window a second start showed"
      bb_wm_close "$window"
      bb_wait_until "the main window to unmap" bb_no_main
    fi
  done
  # And once more, for what follows.
  start_second
  BB_PID=$first
  bb_alive || bb_fail "the running copy ended with a second start"
  bb_find_main && bb_expect_eq "$BB_MAIN" "$window" "the running copy's main window"
  [ -e "$autostart/.tessaloom-Busy12.tessaloom-tmp" ] || bb_fail "a second start removed a temporary"

  # Killed, it holds nothing: the next start runs.
  kill -9 "$first"
  bb_wait_exit "$first"
  bb_start
  bb_measure_main
  [ ! -e "$autostart/.tessaloom-Busy12.tessaloom-tmp" ] || bb_fail "the killed copy's temporary was left"
  bb_keys "$BB_MAIN" ctrl+q
  bb_wait_exit
  bb_expect_eq "$BB_STATUS" 0 "exit status of the start after a killed copy"
}

# Starts a second copy with the arguments, its output in second.out and
# second.err, and waits for its end: BB_STATUS, and in SECOND_MS how many
# milliseconds it ran. A plain one must have brought the first copy's
# ($first) closed main window back within 2 s (SECOND_MAPPED_MS); a
# ball-only one must have left it closed.
no_main_of() { [ -z "$(bb_windows_of_type NORMAL "$1")" ]; }
start_second() {
  local began now second
  no_main_of "$first" || bb_fail "the main window is open before a second start"
  began=$(date +%s%N)
  "$BB_EXE" "$@" >"$BB_TMP/second.out" 2>"$BB_TMP/second.err" &
  second=$!
  BB_PIDS+=("$second")
  SECOND_MS='' SECOND_MAPPED_MS=''
  while :; do
    now=$((($(date +%s%N) - began) / 1000000))
    [ -z "$SECOND_MS" ] && ! bb_alive "$second" && SECOND_MS=$now
    [ -z "$SECOND_MAPPED_MS" ] && ! no_main_of "$first" && SECOND_MAPPED_MS=$now
    [ -n "$SECOND_MS" ] && { [ -n "$SECOND_MAPPED_MS" ] || [ "$*" = --ball-only ]; } && break
    [ "$now" -le 2000 ] || bb_fail "after 2 s: the second start ${SECOND_MS:+ended}${SECOND_MS:-runs}," \
      "the main window ${SECOND_MAPPED_MS:+is}${SECOND_MAPPED_MS:-is not} mapped"
    sleep 0.02
  done
  wait "$second"
  BB_STATUS=$?
  if [ "$*" = --ball-only ]; then
    sleep 0.5
    no_main_of "$first" || bb_fail "a second ball-only start showed the main window"
  fi
}

case_stopped_copy_with_session_bus() {
  bb_use_probe_app
  bb_start
  local first=$BB_PID
  bb_wait_main
  # Stopped, it holds its name on the bus and its lock, and answers nothing
  # (the cleanup lets it go on again before ending it).
  kill -STOP "$first"
  local began took dialog
  began=$(date +%s%N)
  "$BB_EXE" >"$BB_TMP/second.out" 2>"$BB_TMP/second.err" &
  BB_PID=$!
  BB_PIDS+=("$BB_PID")
  # It says so at once, and in an alert, which stays until it is closed.
  bb_wait_until "a second start to give up" grep -q . "$BB_TMP/second.err"
  took=$((($(date +%s%N) - began) / 1000000))
  bb_log "a second start with a stopped copy on the bus: $took ms to its answer"
  [ "$took" -le 3000 ] || bb_fail "a second start took $took ms to give up"
  bb_expect_eq "$(cat "$BB_TMP/second.err")" "Dovrelist 已在运行。" "what a second start says"
  bb_wait_until "the alert of the second start" find_dialog
  bb_wm_close "$BB_DIALOG"
  bb_wait_exit
  bb_expect_eq "$BB_STATUS" 1 "exit status of a second start with a stopped copy"

  # A login start ends silently, as soon.
  began=$(date +%s%N)
  "$BB_EXE" --ball-only >"$BB_TMP/second.out" 2>"$BB_TMP/second.err" &
  BB_PID=$!
  BB_PIDS+=("$BB_PID")
  bb_wait_exit
  took=$((($(date +%s%N) - began) / 1000000))
  bb_log "a second ball-only start with a stopped copy on the bus: $took ms"
  [ "$took" -le 3000 ] || bb_fail "a second ball-only start took $took ms"
  bb_expect_eq "$BB_STATUS" 0 "exit status of a second ball-only start"
  bb_expect_eq "$(cat "$BB_TMP/second.err")" "" "what a second ball-only start says"

  kill -CONT "$first"
  BB_PID=$first
  bb_alive || bb_fail "the running copy ended"
}
find_dialog() { BB_DIALOG=$(bb_windows_of_type DIALOG | head -n 1) && [ -n "$BB_DIALOG" ]; }

bb_main "$@"
