#!/bin/sh
# Prepares or stops the Wine prefix in which the Windows host runs on Linux.
#
#   scripts/wine_prefix.sh start PREFIX   create/update PREFIX, start its server
#   scripts/wine_prefix.sh stop PREFIX    stop that server
#
# Between the two, run programs with WINEPREFIX=PREFIX WINEDEBUG=-all and
# TAVORIN_TEST_TMP set to a Windows path such as Z:\tmp\run1 (Z: is the Unix
# root): the prefix's TEMP and TMP point there, because Wine ignores the Unix
# TMP and TEMP, so each run gets a temporary directory of its own.
#
# The server is started persistent, with its standard streams on /dev/null,
# before anything else: Wine's background processes then never hold a caller's
# pipes open, and later starts take a fraction of a second.
set -eu

usage() { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
[ $# -eq 2 ] || usage
WINEPREFIX=$(realpath -m "$2")
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

case "$1" in
  start)
    mkdir -p "$WINEPREFIX"
    # Fails when the prefix's server already runs; that one serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # Slow only the first time, when it fills the prefix. A server that was
    # still going down from an earlier run can make the first try fail.
    "$wine64" wineboot -u </dev/null >/dev/null 2>&1 || {
      sleep 1
      wineserver -p </dev/null >/dev/null 2>&1 || true
      "$wine64" wineboot -u </dev/null >/dev/null 2>&1
    }
    for name in TEMP TMP; do
      "$wine64" reg add 'HKCU\Environment' /v "$name" /t REG_EXPAND_SZ \
        /d '%TAVORIN_TEST_TMP%' /f </dev/null >/dev/null 2>&1
    done
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *) usage ;;
esac
