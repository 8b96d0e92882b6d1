# Sourced by scripts/test and scripts/win32-stage: the Windows 2000/XP build
# run here. This kernel runs no 32-bit code, so Wine's 32-bit loader runs
# under qemu-user, registered for i386 programs only while the stage runs:
# with it in place every new prefix also boots its 32-bit side emulated.
#   win32_stage_run ROOT [CTEST_ARGS...]   runs the stage's cases (run_suite)
#   win32_stage_start ROOT   the emulator, then the stage's own session and prefix
#   win32_stage_stop         ends the session and removes the registration
#   win32_stage_cases        the cases it runs, as a ctest -R expression

# One case per thing the stage proves, each deliverable at least once.
QX_WIN32_STAGE_CASES=(
  CorvixWindowsVersion.EachEmulatedVersionGetsItsCode
  CorvixRegistry.AValueThatDoesNotFitShowsMoreDataAndGivesItsSize
  LqnmodPlatforms.OnlyWindowsXPGetsAMonitorAndANullWindowIsAlwaysRefused
  LqnmodForwarding.ConsoleDisconnectAndConnectReachTheClientAtOnceAndNothingElseDoes
  DevlinkPolling.EventsArriveInOrderOneAtATimeOnTheWindowsThread
  ResidentStart.OldWindowsShowsTheVersionBoxAndCreatesNothing
  ResidentKeys.NoticeWindowOfALabelComesUp
  ResidentStart.StopRequestRemovesTheIconStopsPollingAndEnds
  PellorMainDialog.ShowsEachKeysCommandAndCreatesMissingKeys
  OsdTextNotice.ShowsExactlyTheGlyphsOnTheWorkAreaBottomForItsTime
  InstallerSilent.UninstallRemovesWhatSetupAddedAndKeepsTheSettings
)

QX_BINFMT_DIR=/proc/sys/fs/binfmt_misc
QX_BINFMT_NAME=qemu-i386
# qemu-user 9.1 or later (scripts/setup): each 32-bit program starts in well
# under a second.
QX_QEMU_I386=/usr/bin/qemu-i386
# i386 ELF executables and shared objects; F: the emulator is opened now, so
# it also serves programs started from other mount namespaces.
QX_BINFMT_RULE=":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QX_QEMU_I386:F"

# The registration goes with the stage, also when it fails or is stopped.
win32_stage_run() {
  local root=$1
  shift
  trap win32_stage_stop EXIT
  trap 'win32_stage_stop; exit 1' INT TERM HUP
  if win32_stage_start "$root"; then
    run_suite win32 "$root/build/win32-stage" --timeout 600 -R "$(win32_stage_cases)" "$@"
  else
    echo "win32: the stage did not start"
    failed=$((failed + 1))
  fi
  win32_stage_stop
}

win32_stage_cases() {
  local IFS='|'
  echo "^(${QX_WIN32_STAGE_CASES[*]})\$"
}

win32_stage_start() {
  local root=$1
  # The emulator first: a new prefix sets up its 32-bit side (syswow64) only
  # when its boot can run 32-bit code; without it every 32-bit program ends
  # with "could not load kernel32.dll". With qemu 10 the boot takes ~20 s.
  win32_stage_register || return 1
  wine_session_start "$root" "$root/build/wineprefix-win32"
}

win32_stage_register() {
  if [ ! -e "$QX_BINFMT_DIR/register" ]; then
    mount -t binfmt_misc binfmt_misc "$QX_BINFMT_DIR" || return 1
  fi
  [ -e "$QX_BINFMT_DIR/$QX_BINFMT_NAME" ] && return 0
  printf '%s' "$QX_BINFMT_RULE" > "$QX_BINFMT_DIR/register" || return 1
  QX_BINFMT_REGISTERED=1
}

win32_stage_stop() {
  wine_session_stop
  if [ -n "${QX_BINFMT_REGISTERED:-}" ] && [ -e "$QX_BINFMT_DIR/$QX_BINFMT_NAME" ]; then
    echo -1 > "$QX_BINFMT_DIR/$QX_BINFMT_NAME"
  fi
  QX_BINFMT_REGISTERED=
}
