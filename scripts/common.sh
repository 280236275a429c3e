# Shared steps of scripts/test and scripts/run: packages, build, the private
# Wine prefix and a display with one long-lived wineserver.
set -euo pipefail
MIRDEX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export MIRDEX_BUILD_DIR="${MIRDEX_BUILD_DIR:-$MIRDEX_ROOT/build}"
export WINEPREFIX="$MIRDEX_BUILD_DIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export WINESERVER=/usr/lib/wine/wineserver64
WINE="$MIRDEX_ROOT/scripts/wine-run"
# Bump when the prefix settings below change, so existing prefixes refresh.
PREFIX_SETTINGS_VERSION=2

mirdex_build() {
  "$MIRDEX_ROOT/scripts/deps"
  cd "$MIRDEX_ROOT"
  cmake --preset default -B "$MIRDEX_BUILD_DIR" >/dev/null
  cmake --build "$MIRDEX_BUILD_DIR" -j "$(nproc)" "$@"
}

mirdex_prefix() {
  local stamp="$WINEPREFIX/.mirdex-settings"
  if [ "$(cat "$stamp" 2>/dev/null)" = "$PREFIX_SETTINGS_VERSION" ]; then
    return 0
  fi
  echo "Preparing Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  # Without a window manager, hiding a top-level window stalls for seconds.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # A crashing test must fail, not wait in the debugger's dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  local face
  for face in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" "Courier New=Liberation Mono"; do
    "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${face%%=*}" /d "${face#*=}" /f >/dev/null 2>&1
  done
  "$WINESERVER" -w
  echo "$PREFIX_SETTINGS_VERSION" >"$stamp"
}

# mirdex_in_display CMD...: runs CMD inside a fresh Xvfb with a compositor and
# one persistent wineserver whose output goes nowhere (a server holding the
# caller's pipes would stall every later process).
mirdex_in_display() {
  "$WINESERVER" -k 2>/dev/null || true
  MIRDEX_ROOT="$MIRDEX_ROOT" xvfb-run -a -s "-screen 0 1280x1024x24" \
    bash "$MIRDEX_ROOT/scripts/in-display.sh" "$@"
}

# The host program and the UI service DLL of the build (the DLL may not be
# built yet).
MIRDEX_HOST_EXE="$MIRDEX_BUILD_DIR/host/Mirdex.exe"
MIRDEX_UI_DLL="$MIRDEX_BUILD_DIR/installation/ui/MirdexUI.dll"

# mirdex_register: registers the host (and the UI service when built) in
# the prefix. Needs a running wineserver whose output goes nowhere.
mirdex_register() {
  "$WINE" "$MIRDEX_HOST_EXE" /RegServer </dev/null || {
    echo "Mirdex.exe /RegServer failed" >&2
    return 1
  }
  if [ -f "$MIRDEX_UI_DLL" ]; then
    "$WINE" regsvr32 /s "$MIRDEX_UI_DLL" </dev/null || echo "regsvr32 MirdexUI.dll failed" >&2
  fi
}

# mirdex_display_usable: true when $DISPLAY names an X server that answers.
mirdex_display_usable() {
  [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null 2>&1 &&
    timeout 5 xdpyinfo >/dev/null 2>&1
}

# The host's log file in the prefix (shared by all its processes).
mirdex_host_log() {
  echo "$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Local/Mirdex/logs/Mirdex.log"
}
