#!/usr/bin/env bash
# The floating ball: place, face and badge, drag and remembered position, click,
# and its context menu.
# shellcheck source=tests/blackbox/lib.sh
source "$(dirname "$0")/lib.sh"

BADGE_SCRIPT='webkit.messageHandlers.hlvnBadge.postMessage({ n: 7 });'
# Where a fresh ball goes: 34 points in from the lower right of the work area
# (the whole screen here, no panels), in X11's top-left coordinates.
DEFAULT_X=$((BB_SCREEN_W - BB_BALL - 34))
DEFAULT_Y=$((BB_SCREEN_H - 34 - BB_BALL))

PINK='r > 200 && g >= 90 && g <= 200 && b >= 110 && b <= 215 && r - g > 40'

expect_ball_at() {
  bb_geometry "$BB_BALLWIN"
  bb_expect_eq "${GW}x${GH}+${GX}+${GY}" "${BB_BALL}x${BB_BALL}+$1+$2" "ball window geometry"
}

ball_at() { bb_geometry "$BB_BALLWIN" && [ "$GX,$GY" = "$1,$2" ]; }

# The context menu: the frontmost viewable override-redirect window; sets
# PX PY PW PH.
find_popup() {
  local id info
  for id in $(xwininfo -root -children | grep -o '^ *0x[0-9a-f]*'); do
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    if grep -q 'IsViewable' <<<"$info" && grep -q 'Override Redirect State: yes' <<<"$info"; then
      bb_geometry "$id"
      PX=$GX PY=$GY PW=$GW PH=$GH
      [ "$PW" -gt 40 ] && [ "$PH" -gt 40 ] && return 0
    fi
  done
  return 1
}

# Right-clicks the ball and picks the menu's first or last entry.
choose_from_menu() {
  bb_geometry "$BB_BALLWIN"
  xdotool mousemove $((GX + 33)) $((GY + 33)) click 3
  bb_wait_until "the ball's context menu" find_popup
  # Two entries with a separator between them: the upper and the lower quarter.
  local y=$((PY + PH / 4))
  [ "$1" = last ] && y=$((PY + PH - PH / 4))
  xdotool mousemove $((PX + PW / 2)) "$y" click 1
}

case_place_face_badge() {
  bb_use_probe_app "$BADGE_SCRIPT"
  bb_start
  bb_wait_ball
  expect_ball_at "$DEFAULT_X" "$DEFAULT_Y"
  bb_wait_until "the badge of the page's count" bb_badge_shown
  local pink digits corners
  pink=$(bb_ball_count "$PINK")
  [ "$pink" -ge 1200 ] || bb_fail "the ball's face has only $pink pink pixels"
  # All of the badge, also where it reaches beyond the round face.
  local outside
  outside=$(bb_ball_count "$BB_IN_BADGE && (x - 32.5)^2 + (y - 32.5)^2 > 34^2 && r > 235 && g > 235 && b > 235")
  [ "$outside" -ge 20 ] || bb_fail "the badge is cut off at the face's edge ($outside pixels beyond it)"
  # Pink digits on the white badge.
  digits=$(bb_ball_count "$BB_IN_BADGE && r > 200 && g < 170 && r - g > 60")
  [ "$digits" -ge 15 ] || bb_fail "the badge shows no pink digits ($digits pixels)"
  # Round, and nothing opaque around it: the corners show what is behind.
  corners=$(bb_ball_count '(x < 3 || x > 62) && (y < 3 || y > 62) && (r > 60 || g > 60 || b > 60)')
  bb_expect_eq "$corners" 0 "lit pixels in the ball's corners"
  # A floating panel: above other windows, on every desktop, not in the task
  # bar, and never taking the keyboard.
  local state want
  state=$(xprop -id "$BB_BALLWIN" _NET_WM_STATE WM_HINTS)
  for want in _NET_WM_STATE_ABOVE _NET_WM_STATE_STICKY _NET_WM_STATE_SKIP_TASKBAR \
    'accepts input or input focus: False'; do
    grep -q "$want" <<<"$state" || bb_fail "the ball lacks $want: $state"
  done
}

case_drag_click_menu() {
  bb_use_probe_app "$BADGE_SCRIPT"
  bb_start
  local first=$BB_PID
  bb_measure_main
  bb_wait_ball
  bb_keys "$BB_MAIN" ctrl+w
  bb_wait_until "the main window to hide" bb_no_main

  # A drag of 100 points up and to the left moves the ball and is remembered.
  local x=$((DEFAULT_X + 33)) y=$((DEFAULT_Y + 33)) i
  xdotool mousemove "$x" "$y" mousedown 1
  for i in $(seq 10); do
    xdotool mousemove $((x - 10 * i)) $((y - 10 * i))
    sleep 0.05
  done
  xdotool mouseup 1
  local moved_x=$((DEFAULT_X - 100)) moved_y=$((DEFAULT_Y - 100))
  bb_wait_until "the ball to follow the drag" ball_at "$moved_x" "$moved_y"
  bb_wait_until "ballPos to be stored" bb_has_default ballPos
  bb_expect_eq "$(bb_default ballPos)" "{$moved_x, $((BB_SCREEN_H - moved_y - BB_BALL))}" \
    "ballPos after the drag"
  sleep 0.5
  bb_no_main || bb_fail "a drag opened the main window"

  # A click opens the main window again, with its page as it was.
  xdotool mousemove $((moved_x + 33)) $((moved_y + 33)) click 1
  bb_wait_main
  bb_wait_probe "$BB_MAIN"
  bb_expect_eq "$PROBE_LOADS" 1 "page loads after the ball's click"

  # The menu's lower entry, "退出", quits.
  choose_from_menu last
  bb_wait_exit "$first"
  bb_expect_eq "$BB_STATUS" 0 "exit status after the ball's quit"

  # The next start puts the ball where it was left; the menu's upper entry,
  # "打开Dovrelist", opens the main window, also after a ball-only start.
  bb_start --ball-only
  bb_wait_ball
  expect_ball_at "$moved_x" "$moved_y"
  bb_no_main || bb_fail "a main window is mapped in ball-only mode"
  choose_from_menu first
  bb_wait_main
}

case_click_after_ball_only_start() {
  bb_use_probe_app
  bb_start --ball-only
  bb_wait_ball
  sleep 1
  bb_no_main || bb_fail "a main window is mapped in ball-only mode"
  xdotool mousemove $((DEFAULT_X + 33)) $((DEFAULT_Y + 33)) click 1
  bb_measure_main
  bb_expect_eq "${PROBE_W}x${PROBE_H}" 1360x840 "content size of the window the ball opened"
}

bb_main "$@"
