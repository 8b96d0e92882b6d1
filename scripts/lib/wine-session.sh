# Sourced by the scripts: one Xvfb display and one fresh Wine prefix with a
# persistent wineserver for a whole run.
#   wine_session_start ROOT [PREFIX]   exports DISPLAY, WINEPREFIX, WINEDEBUG ...;
#                                      fails when the display, a boot or the keyboard fails
#   wine_session_stop                  ends wineserver, then the display it started
#   wine_session_install_keyboard TOOL [LOADER]
#                                      installs the simulated keyboard's driver
# QX_DESKTOP=shell puts every program of the session on Wine's own desktop
# with its shell (captions, taskbar, notification area) instead of the bare
# X screen.

# Fd 9 (the run lock) stays with the script: the server and the display live
# on when a run is killed, and must not hold the lock for good. The script's
# run ends them by their tag (scripts/lib/run.sh).
wine_session_start() {
  local root=$1
  export WINEPREFIX=${2:-$root/build/wineprefix}
  export WINEDEBUG=-all
  # No menu builder (here for the boot, in the registry for what programs
  # start): it writes menu entries and icons into the home folder for every
  # shortcut setup makes, and while it reads a shortcut's program, that
  # file's removal stays pending and its folder cannot go.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEARCH=win64
  # For the programs: this shell may have started before setup made the
  # locales, and would only warn that it cannot take them itself.
  export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 2>/dev/null
  # Everything 64-bit goes through wine64: once wine32 is installed, Debian's
  # wine launcher and its wrappers (wineboot, winepath) try the 32-bit loader.
  export PATH=/usr/lib/wine:$PATH
  QX_SESSION_PREFIX=$WINEPREFIX

  wine_session_end_leftovers
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  if [ -z "${QX_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    wine_session_display || return 1
    echo "$QX_XVFB_PID" > "$WINEPREFIX/qx-display.pid"
  fi
  wineserver -p
  wine_session_boot -i || return 1
  # The first boot of a new prefix leaves two service managers running, and
  # each call lands on either: a driver's service created through one is
  # unknown to the other. A second boot on a fresh wineserver starts one.
  wine_session_end_server
  wineserver -p
  wine_session_boot || return 1
  wine_session_configure
  if [ "${QX_DESKTOP:-}" = shell ]; then
    wine_session_shell_desktop
  fi
  local keyboard_sim=$root/build/win64/bin/simkeyboard/KeyboardSim.exe
  if [ -f "$keyboard_sim" ]; then
    wine_session_install_keyboard "$keyboard_sim" || return 1
  fi
} 9>&-

# A killed run leaves its prefix's server and its display running for good
# (the server is persistent, the display has no client to end it).
wine_session_end_leftovers() {
  [ -d "$WINEPREFIX" ] || return 0
  wine_session_end_server
  local pid
  pid=$(cat "$WINEPREFIX/qx-display.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then
    kill "$pid" || true
  fi
}

# Xvfb picks a free display and names it on fd 3.
wine_session_display() {
  local fd_file display i
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${QX_SCREEN:-1024x768x24}" -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  QX_XVFB_PID=$!
  for i in $(seq 1 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  display=$(head -n1 "$fd_file")
  rm -f "$fd_file"
  if [ -z "$display" ]; then
    echo "wine session: Xvfb gave no display within 10 s" >&2
    return 1
  fi
  export DISPLAY=":$display"
}

# A new prefix boots in about 15 s here; one that hangs fails the session.
# Every wait of a session is bounded, and a signal ends it at once
# (run_waited).
wine_session_boot() {
  if ! run_waited timeout 300 wine64 wineboot "$@" >/dev/null 2>&1; then
    echo "wine session: wineboot $* failed or took over 300 s in $WINEPREFIX" >&2
    return 1
  fi
}

wine_session_end_server() {
  run_waited timeout 10 wineserver -k >/dev/null 2>&1 || true
  run_waited timeout 60 wineserver -w >/dev/null 2>&1 || true
  wine_session_end_stragglers
  run_remove_server_folder "$WINEPREFIX"
}

# A Wine process started just as its server is stopped can miss the server
# and wait on its own pipe for good (seen once with winedevice.exe). Any
# Wine or emulator process of this prefix still there now is one of those.
wine_session_end_stragglers() {
  local environ pid exe var
  local -a vars
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    { mapfile -d '' vars <"$environ"; } 2>/dev/null || continue
    for var in "${vars[@]}"; do
      [ "$var" = "WINEPREFIX=$WINEPREFIX" ] || continue
      exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || break
      case ${exe##*/} in
        wine* | qemu-*) kill -KILL "$pid" 2>/dev/null || true ;;
      esac
      break
    done
  done
}

# Names the desktop "shell", the size of the screen, for every program the
# session starts; explorer puts it up with its taskbar for the first of them.
wine_session_shell_desktop() {
  local screen=${QX_SCREEN:-1024x768x24}
  local size=${screen%x*}
  run_waited timeout 60 wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  run_waited timeout 60 wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "$size" /f >/dev/null 2>&1
}

# Installs the simulated keyboard's driver (qxsimkbd.inf beside TOOL) into
# $WINEPREFIX with the given Wine loader (wine64 by default). KeyboardSim
# waits, bounded, for the keyboard's interface; a keyboard that never appears
# fails the session.
wine_session_install_keyboard() {
  local tool=$1 loader=${2:-wine64}
  if ! run_waited timeout 120 "$loader" "$tool" install >/dev/null; then
    echo "wine session: the simulated keyboard never appeared in $WINEPREFIX" >&2
    return 1
  fi
}

# Crash dialog off; Korean dialog fonts mapped to Nanum so Hangul has glyphs.
wine_session_configure() {
  local reg
  reg=$(mktemp --suffix=.reg)
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
    # A program's Unix environment may not carry WINEDLLOVERRIDES on.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"winemenubuilder.exe"=""\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"Gulim"="NanumGothic"\r\n"GulimChe"="NanumGothicCoding"\r\n'
    printf '"굴림"="NanumGothic"\r\n"굴림체"="NanumGothicCoding"\r\n'
    printf '"Dotum"="NanumGothic"\r\n"돋움"="NanumGothic"\r\n"Batang"="NanumMyeongjo"\r\n\r\n'
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
  # Drive Z: is the root of the Unix file system in every new prefix.
  run_waited timeout 60 wine64 regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  rm -f "$reg"
}

# Safe to call when no session started: it never touches a prefix it did not
# make (WINEPREFIX unset would mean ~/.wine).
wine_session_stop() {
  if [ -n "${QX_SESSION_PREFIX:-}" ]; then
    WINEPREFIX=$QX_SESSION_PREFIX wine_session_end_server
    rm -f "$QX_SESSION_PREFIX/qx-display.pid"
    QX_SESSION_PREFIX=
  fi
  if [ -n "${QX_XVFB_PID:-}" ]; then
    kill "$QX_XVFB_PID" 2>/dev/null || true
    wait "$QX_XVFB_PID" 2>/dev/null || true
    QX_XVFB_PID=
  fi
  return 0
}
