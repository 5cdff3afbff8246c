#!/usr/bin/env bash
# Autostart: the page turns it on, a desktop entry appears, and what a desktop
# session runs from it at login starts this app with the ball only.
# shellcheck source=tests/blackbox/lib.sh
source "$(dirname "$0")/lib.sh"

AUTOSTART_SCRIPT='webkit.messageHandlers.hlvnLaunch.postMessage(
  JSON.stringify({ cmd: "autostart", cb: "1", params: { on: true } }));'

# The value of the key in the [Desktop Entry] group of the file.
entry_value() {
  awk -v key="$2" '
    /^\[/ { group = $0; next }
    group == "[Desktop Entry]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
  ' "$1"
}

# Splits an Exec value into EXEC_ARGV the way the Desktop Entry Specification
# reads it: the string escapes first, then double-quoted arguments with \" \`
# \$ \\ inside, then "%%" for a percent sign. Anything those rules leave
# undefined (a reserved character outside quotes, another escape, a field
# code where none belongs) fails the test.
parse_exec() {
  local value=$1 text='' i c arg='' quoted=0 have=0
  for ((i = 0; i < ${#value}; i++)); do
    c=${value:i:1}
    if [ "$c" = '\' ]; then
      i=$((i + 1))
      case "${value:i:1}" in
      s) c=' ' ;;
      n) c=$'\n' ;;
      t) c=$'\t' ;;
      r) c=$'\r' ;;
      '\') c='\' ;;
      *) bb_fail "Exec has the undefined escape \\${value:i:1}: $value" ;;
      esac
    fi
    text+=$c
  done

  EXEC_ARGV=()
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    if [ $quoted -eq 1 ]; then
      if [ "$c" = '"' ]; then
        quoted=0
      elif [ "$c" = '\' ]; then
        i=$((i + 1))
        c=${text:i:1}
        [[ "$c" == [\"\`\$\\] ]] || bb_fail "Exec quotes an undefined escape \\$c: $value"
        arg+=$c
      else
        arg+=$c
      fi
    elif [ "$c" = ' ' ]; then
      [ $have -eq 1 ] && EXEC_ARGV+=("$arg")
      arg='' have=0
    elif [ "$c" = '"' ]; then
      quoted=1 have=1
    elif [[ "$c" == [$'\t\n'\'\\\>\<~\|\&\;\$\*\?\#\(\)\`] ]]; then
      bb_fail "Exec has the reserved character '$c' outside quotes: $value"
    else
      arg+=$c have=1
    fi
  done
  [ $quoted -eq 0 ] || bb_fail "Exec ends inside quotes: $value"
  [ $have -eq 1 ] && EXEC_ARGV+=("$arg")

  for i in "${!EXEC_ARGV[@]}"; do
    arg=${EXEC_ARGV[i]//%%/}
    [[ "$arg" != *%* ]] || bb_fail "Exec argument has a field code: ${EXEC_ARGV[i]}"
    EXEC_ARGV[i]=${EXEC_ARGV[i]//%%/%}
  done
}

case_entry_starts_ball_only() {
  # A folder name that needs every kind of quoting an Exec line has.
  bb_use_probe_app "$AUTOSTART_SCRIPT" "$BB_TMP/it's \"Tessa\" \$HOME \`x\` 100% \\ 批改"
  local entry=$XDG_CONFIG_HOME/autostart/org.tessaloom.Tessaloom.desktop
  bb_start
  local first=$BB_PID
  bb_wait_until "the autostart entry" test -s "$entry"
  bb_expect_eq "$(head -n 1 "$entry")" '[Desktop Entry]' "first line of the entry"
  bb_expect_eq "$(entry_value "$entry" Type)" Application "Type of the entry"
  [ "$(entry_value "$entry" Hidden)" != true ] || bb_fail "the entry is hidden"

  parse_exec "$(entry_value "$entry" Exec)"
  # The "%" in the path: GLib refuses an entry whose program as written
  # (with "%%") names no file, so the app is started through env.
  bb_expect_eq "${#EXEC_ARGV[@]}" 3 "arguments in Exec (${EXEC_ARGV[*]})"
  bb_expect_eq "${EXEC_ARGV[0]}" /usr/bin/env "program of the entry"
  bb_expect_eq "${EXEC_ARGV[1]}" "$BB_EXE" "app the entry starts"
  bb_expect_eq "${EXEC_ARGV[2]}" --ball-only "argument of the entry"

  bb_wait_main
  bb_keys "$BB_MAIN" ctrl+q
  bb_wait_exit "$first"

  # What the session starts at login.
  BB_STARTS=$((BB_STARTS + 1))
  "${EXEC_ARGV[@]}" >"$BB_TMP/app.$BB_STARTS.log" 2>&1 &
  BB_PID=$!
  BB_PIDS+=("$BB_PID")
  bb_wait_ball
  bb_expect_eq "$(readlink "/proc/$BB_PID/exe")" "$BB_EXE" "program the entry started"
  sleep 1
  bb_no_main || bb_fail "the autostarted app maps a main window"
}

bb_main "$@"
