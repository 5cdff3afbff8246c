#!/usr/bin/env bash
# The menu bar's shortcuts in the main window: Ctrl+O, Ctrl+R, Ctrl+W, Ctrl+Q.
# shellcheck source=tests/blackbox/lib.sh
source "$(dirname "$0")/lib.sh"

case_open_reload_close() {
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_expect_eq "$PROBE_LOADS" 1 "page loads at start"
  local window=$BB_MAIN cover

  # Another window in front of it; Ctrl+O brings it back to the front.
  xev -geometry 600x400+400+300 -name cover >/dev/null 2>&1 &
  BB_PIDS+=($!)
  bb_wait_until "the covering window" bb_cover_mapped
  cover=$(xdotool search --onlyvisible --name '^cover$' | head -n 1)
  in_front_of "$cover" "$window" || bb_fail "the covering window is not in front"
  bb_keys "$window" ctrl+o
  bb_wait_until "Ctrl+O to bring the main window to the front" in_front_of "$window" "$cover"
  bb_mapped "$window" || bb_fail "Ctrl+O hid the main window"

  bb_keys "$window" ctrl+r
  bb_wait_title "$window" ' loads=2$'
  bb_alive || bb_fail "the process ended on Ctrl+R"

  bb_keys "$window" ctrl+w
  bb_wait_until "Ctrl+W to hide the main window" bb_no_main
  bb_expect_eq "$(bb_default windowFrame)" "$(bb_content_frame)" "windowFrame stored by Ctrl+W"
  sleep 0.5
  bb_alive || bb_fail "the process ended on Ctrl+W"
  bb_find_ball || bb_fail "the ball went away on Ctrl+W"
}
bb_cover_mapped() { [ -n "$(xdotool search --onlyvisible --name '^cover$')" ]; }
# in_front_of a b: window a is stacked above window b.
in_front_of() {
  local a b
  bb_stack_index "$1" && a=$BB_STACK
  bb_stack_index "$2" && b=$BB_STACK
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]
}

case_quit_stores_nothing() {
  local stored='{{0, 0}, {1500, 900}}'
  bb_set_default windowFrame "$stored"
  bb_use_probe_app
  bb_start
  bb_measure_main
  bb_keys "$BB_MAIN" ctrl+q
  bb_wait_exit
  bb_expect_eq "$BB_STATUS" 0 "exit status after Ctrl+Q"
  bb_expect_eq "$(bb_default windowFrame)" "$stored" "windowFrame after Ctrl+Q"
}

bb_main "$@"
