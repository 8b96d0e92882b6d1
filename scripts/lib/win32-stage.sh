# Sourced by scripts/test, scripts/win32-stage and scripts/demo after
# scripts/lib/run.sh, and by scripts/setup for the foreign entries' check:
# the Windows 2000/XP build run here. This kernel runs no 32-bit code, so
# Wine's 32-bit loader runs under qemu-user, registered for i386 programs
# only while the stage runs: with it in place every 32-bit program on the
# machine runs under it, and every new Wine prefix boots a 32-bit side.
#   win32_stage_run ROOT [CTEST_ARGS...]   registers the emulator, runs the
#                             stage's suites, removes the registration
#   win32_stage_register      registers qemu for i386 programs
#   win32_stage_suites ROOT [CTEST_ARGS...]   the stage's session and its cases,
#                             the emulator registered (run_suite_split)
#   win32_stage_stop          ends the session and removes the registration
#   win32_stage_foreign_entries   fails, saying what to do, when another
#                                 emulator is registered for i386 programs

# The stage runs every case of build/win32-stage but these, which the win64
# suite runs; each with its reason.
QX_WIN32_STAGE_EXCLUDED=(
  LqnmodFailures.SlowRegistrationNeverTakenGivesUpAfterSixtyAttempts # 2 min of waits (60 attempts 1 s apart, twice); the 32-bit retry loop runs in RegistrationRefusedThreeTimesIsTaken...
  OsdHandOver.LastLevelOfABurstTimedAcrossTheEndIsAlwaysShown # emulated, every copy starts after the display has ended (0 of 200 handed over, 258 s): the race it times never happens
  DevlinkUnload.LibraryLoadedAndFreedFiftyTimesKeepsNoHandle # i686's static libgcc makes one unwinder semaphore per load of any C++ DLL with exceptions and never closes it (a bare try/catch DLL does the same); the link's own handles are counted on win64
)

QX_BINFMT_DIR=/proc/sys/fs/binfmt_misc
QX_BINFMT_NAME=qx-i386
# qemu-user 9.1 or later (scripts/setup): each 32-bit program starts in well
# under a second.
QX_QEMU_I386=/usr/bin/qemu-i386
# i386 ELF executables and shared objects; F: the emulator is opened now, so
# it also serves programs started from other mount namespaces.
QX_BINFMT_RULE=":$QX_BINFMT_NAME:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QX_QEMU_I386:F"

win32_stage_run() {
  win32_stage_register || { suite_not_run win32 "the emulator could not be registered"; return; }
  win32_stage_suites "$@"
  win32_stage_unregister
}

# The stage's session and its cases, with the emulator registered: a prefix
# booted without it has no 32-bit side, and 32-bit programs then fail to load
# kernel32.dll. The cases that start sessions of their own come last, as in
# the win64 suite.
win32_stage_suites() {
  local root=$1 dir=$1/build/win32-stage
  shift
  if wine_session_start "$root" "$root/build/wineprefix-win32"; then
    win32_stage_check_excluded "$dir"
    run_suite_split win32 "$dir" --timeout 600 -E "$(win32_stage_excluded)" "$@"
  else
    suite_not_run win32 "the stage did not start"
  fi
  wine_session_stop
}

# Only the lock's holder may touch the registration: a run that ends before
# it has the lock leaves another run's alone.
win32_stage_stop() {
  wine_session_stop
  [ -z "${QX_RUN_LOCKED:-}" ] || win32_stage_unregister
}

win32_stage_excluded() {
  local IFS='|' names=("${QX_WIN32_STAGE_EXCLUDED[@]//./\\.}")
  echo "^(${names[*]})\$"
}

# An exclusion that names no case outlived its case (renamed, or gone) and
# fails the stage. The listing runs each test program once to list its cases,
# which the run then reuses.
win32_stage_check_excluded() {
  local dir=$1 list=$1/Testing/cases.txt name
  mkdir -p "$dir/Testing"
  run_waited ctest --test-dir "$dir" -N > "$list"
  for name in "${QX_WIN32_STAGE_EXCLUDED[@]}"; do
    grep -qE "^ *Test +#[0-9]+: ${name//./\\.}\$" "$list" ||
      suite_not_run win32 "the excluded case $name is no case of the stage"
  done
}

win32_stage_register() {
  if [ ! -e "$QX_BINFMT_DIR/register" ]; then
    mount -t binfmt_misc binfmt_misc "$QX_BINFMT_DIR" || return 1
  fi
  win32_stage_foreign_entries || return 1
  printf '%s' "$QX_BINFMT_RULE" > "$QX_BINFMT_DIR/register"
}

win32_stage_unregister() {
  if [ -e "$QX_BINFMT_DIR/$QX_BINFMT_NAME" ]; then
    echo -1 > "$QX_BINFMT_DIR/$QX_BINFMT_NAME"
  fi
}

# A distribution's registration (qemu-user-binfmt, qemu-user-static) stays for
# good and runs 32-bit Wine with whatever emulator it names: Debian 12's 7.2
# corrupts threaded 32-bit Wine processes.
win32_stage_foreign_entries() {
  local entry status=0
  for entry in "$QX_BINFMT_DIR"/*; do
    [ "${entry##*/}" != "$QX_BINFMT_NAME" ] || continue
    if grep -qE '^magic 7f454c460101[0-9a-f]*0300$' "$entry" 2>/dev/null; then
      echo "${entry##*/} registers $(sed -n 's/^interpreter //p' "$entry") for i386 programs for good; remove it (echo -1 > $entry, and what registers it at boot), then run again" >&2
      status=1
    fi
  done
  return $status
}
