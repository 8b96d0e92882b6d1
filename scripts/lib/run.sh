# Sourced by the scripts that start Wine sessions, displays or the emulator:
# they end the same way however the run ends (its end, an error, Ctrl-C,
# TERM, a closed terminal or pipe), and a signal takes effect at once.
#   run_on_end FUNCTION   FUNCTION runs once when the script ends, whatever ends it
#   run_waited CMD...     runs CMD and waits for it; bash runs a trap only
#                         between commands, so CMD runs in the background and
#                         the trap ends it and everything it started
#   run_lock              takes the machine's run lock (test, stage, demo),
#                         waiting for it interruptibly, then ends what a
#                         killed run left behind
#   run_setup             scripts/setup, waited for interruptibly
#
# Every process a script starts carries the run's tag in its environment:
# Wine hands it on to each program and service of a session, and it stays
# when a parent dies, so whatever a run started is found by its tag. The
# script that made the tag ends every process that still carries it when it
# ends; a script run inside another (a test's own session) keeps its
# caller's tag and leaves that to its caller.
if [ -z "${QX_RUN_TAG:-}" ]; then
  export QX_RUN_TAG="qx-$$-$(date +%s%N)"
  QX_RUN_TAG_OWNER=$$
fi

# Held on fd 9 by every run that starts Wine sessions beside the emulator
# (test, demo, the stage alone), from before setup to its end. Beside it, the
# holder's tag and folder: whoever gets the lock next ends what a killed
# holder left running. Not /tmp/qx-wine.lock, which is the developers' own
# queue around whole commands.
QX_RUN_LOCK=/run/lock/qx-310-test.lock
QX_RUN_RECORD=/run/lock/qx-310-test.run

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
  if [ "${QX_RUN_TAG_OWNER:-}" = $$ ]; then
    run_end_tagged "$QX_RUN_TAG"
  fi
  exit "$1"
}

# Standard input stays the script's (bash gives background commands
# /dev/null). Fd 9 is the run lock: held by the script alone, so it goes
# with the script even when what it started lives on.
run_waited() {
  local status=0
  "$@" <&0 9>&- &
  QX_WAITED_PID=$!
  wait "$QX_WAITED_PID" || status=$?
  QX_WAITED_PID=
  return "$status"
}

# Setup is left to finish when the run is stopped: dpkg must not be cut off
# half way. It carries no tag and not the lock, and a run after it waits for
# apt's lock.
run_setup() {
  env -u QX_RUN_TAG bash "$root/scripts/setup" <&0 9>&- &
  wait $!
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

# Processes whose environment holds VAR=VALUE, but this shell.
run_processes_with() {
  grep -l -z -x -F "$1" /proc/[0-9]*/environ 2>/dev/null |
    sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | grep -v -x "$$" || true
}

# Killed outright, a few rounds: a process may start another meanwhile.
# Each round waits (up to a second) until what it killed has died.
run_end_tagged() {
  local round pids pid tick
  for round in 1 2 3; do
    pids=$(run_processes_with "QX_RUN_TAG=$1")
    [ -n "$pids" ] || return 0
    kill -KILL $pids 2>/dev/null || true
    for pid in $pids; do
      for tick in 1 2 3 4 5 6 7 8 9 10; do
        run_alive "$pid" || break
        sleep 0.1
      done
    done
  done
}

# A process that has ended but not yet been waited for (a zombie) is dead.
run_alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

run_lock() {
  exec 9>"$QX_RUN_LOCK"
  if ! flock -n 9; then
    echo "waiting for another test run or demo on this machine ($QX_RUN_LOCK)"
    flock 9 <&0 &
    QX_WAITED_PID=$!
    wait "$QX_WAITED_PID" || return 1
    QX_WAITED_PID=
  fi
  QX_RUN_LOCKED=1
  run_end_killed_holder
  printf '%s %s\n' "$QX_RUN_TAG" "$root" >"$QX_RUN_RECORD"
  run_end_dead_sessions "$root"
}

# The last holder ended without its tidying (SIGKILL, out of memory): its
# processes, its sessions' prefixes and the emulator registration.
run_end_killed_holder() {
  local tag folder count
  read -r tag folder 2>/dev/null <"$QX_RUN_RECORD" || return 0
  rm -f "$QX_RUN_RECORD"
  count=$(run_processes_with "QX_RUN_TAG=$tag" | wc -l)
  if [ "$count" -gt 0 ]; then
    echo "ending $count process(es) of a killed run in $folder"
    run_end_tagged "$tag"
  fi
  [ -d "$folder" ] && [ "$folder" != "$root" ] && run_end_dead_sessions "$folder"
  if declare -F win32_stage_unregister >/dev/null && [ -e "$QX_BINFMT_DIR/$QX_BINFMT_NAME" ]; then
    echo "win32: removing the emulator registration a killed run left behind"
    win32_stage_unregister
  fi
}

# scripts/with-wine names its prefix after its own process: a prefix whose
# script is gone was left by a killed session (a test that timed out), with
# its server and display perhaps still running.
run_end_dead_sessions() {
  local prefix pid
  for prefix in "$1"/build/wineprefix-[0-9]*; do
    [ -d "$prefix" ] || continue
    pid=${prefix##*-}
    run_alive "$pid" && continue
    kill -KILL $(run_processes_with "WINEPREFIX=$prefix") 2>/dev/null || true
    run_remove_server_folder "$prefix"
    rm -rf --one-file-system "$prefix"
  done
}

# Debian's Wine puts the folder of a prefix's server, named after the
# prefix's device and inode, into a new ${TMPDIR:-/tmp}/wine-XXXXXX, and
# leaves both behind when the server ends.
run_remove_server_folder() {
  local device inode folder
  read -r device inode < <(stat -c '%D %i' "$1" 2>/dev/null) || return 0
  for folder in "${TMPDIR:-/tmp}"/wine-*/"server-$device-$(printf %x "$inode")"; do
    [ -d "$folder" ] || continue
    rm -rf "$folder"
    rmdir "${folder%/*}" 2>/dev/null || true
  done
}
