# Sourced by the scripts that start Wine sessions, displays or the emulator:
# they end the same way however the run ends (its end, an error, Ctrl-C,
# TERM, a closed terminal or pipe), and a signal takes effect at once.
#   run_on_end FUNCTION   FUNCTION runs once when the script ends, whatever ends it
#   run_waited CMD...     runs CMD and waits for it; bash runs a trap only
#                         between commands, so CMD runs in the background and
#                         the trap ends it and everything it started

run_on_end() {
  QX_RUN_END=$1
  trap 'run_end $?' EXIT
  trap 'run_end 129' HUP
  trap 'run_end 130' INT
  trap 'run_end 143' TERM
  # A reader that went away (ctest above a test's script, a tee): the
  # tidying writes nowhere, since a second write there would end the script.
  trap 'exec >/dev/null 2>&1; run_end 141' PIPE
}

run_end() {
  # Neither a second Ctrl-C, output nobody reads any more, nor a step that
  # fails (set -e) cuts the tidying short; its waits are bounded.
  trap '' HUP INT TERM PIPE
  set +e
  trap - EXIT
  run_waited_stop
  "$QX_RUN_END"
  exit "$1"
}

# Standard input stays the script's (bash gives background commands
# /dev/null). Fd 9 is the run lock (scripts/lib/win32-stage.sh): held by the
# script alone, so it goes with the script even when what it started lives on.
run_waited() {
  local status=0
  "$@" <&0 9>&- &
  QX_WAITED_PID=$!
  wait "$QX_WAITED_PID" || status=$?
  QX_WAITED_PID=
  return "$status"
}

# The whole tree is listed before any of it is signalled, so nothing is
# reparented unseen (ctest's running test, make's compilers).
run_waited_stop() {
  [ -n "${QX_WAITED_PID:-}" ] || return 0
  kill $(run_tree "$QX_WAITED_PID") 2>/dev/null || true
  wait "$QX_WAITED_PID" 2>/dev/null || true
  QX_WAITED_PID=
}

run_tree() {
  local child
  echo "$1"
  for child in $(pgrep -P "$1"); do
    run_tree "$child"
  done
}
