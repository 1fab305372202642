# Wine for the cross-built Windows programs, sourced by the scripts that run
# them: a virtual X display of their own and a private Wine prefix in the
# build directory.

# Runs the calling script again with the arguments given inside a virtual X
# display of its own, unless it already runs in one. The wine server and the
# desktop process it starts must live inside the display, or every later
# window creation fails.
wine_enter_display() {
  if [ -z "${CORVEL_WINDOWS_DISPLAY_READY:-}" ]; then
    exec env CORVEL_WINDOWS_DISPLAY_READY=1 xvfb-run -a -s "-nolisten tcp -screen 0 1280x1024x24" "$0" "$@"
  fi
}

# Points Wine at a private prefix in build directory $1, brings it up and
# stops it again when the script exits.
wine_start() {
  export WINEPREFIX="$1/wine-prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No crash dialog (an unhandled fault would wait for a click), no menu
  # entries, no Mono or Gecko installers.
  export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d;mscoree=d;mshtml=d"
  trap wine_stop EXIT

  # Brings up the server, the services and the desktop now: started by a
  # program under test, they would inherit its output pipes and hold its
  # runner up, and a desktop started by one that runs without a display has
  # no window system for anyone. The desktop closes once no process uses it:
  # an idle notepad keeps it until the end.
  # The server will not start in a prefix folder that does not exist yet;
  # Wine fills an empty one on first use.
  mkdir -p "$WINEPREFIX"
  wineserver -p
  /usr/lib/wine/wine64 notepad.exe </dev/null >/dev/null 2>&1 &
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
}

wine_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
