# Runs inside xvfb-run (see common.sh): compositor, wineserver, then the command.
set -uo pipefail
xcompmgr </dev/null >/dev/null 2>&1 &
compositor=$!
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$MIRDEX_ROOT/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
"$@"
status=$?
"$WINESERVER" -k 2>/dev/null
kill "$compositor" 2>/dev/null
wait "$compositor" 2>/dev/null
exit $status
