#!/bin/bash
# Runs a Windows program of the cross build under Wine, in the build's own Wine prefix: the
# emulator through which ctest runs every Windows test. Usage: wine_run.sh WINEDIR PROGRAM [ARGS]
#
# WINEDIR holds the prefix, a home folder of its own (Wine writes into $HOME) and a lock. The
# prefix is made on first use, and the Wine session's server is started detached and
# persistent for a minute past its last program: started by the first program instead, it
# would inherit that program's output pipes and hold up whoever reads them. The test fixture
# WinePrefix.Stop ends the session (wineserver -k) when the tests are done.
#
# Standard output and error, and the exit status, are the program's. Wine's own diagnostics
# are off (WINEDEBUG=-all).
set -euo pipefail

winedir=$1
shift
mkdir -p "$winedir/home"
winedir=$(cd "$winedir" && pwd)
# shellcheck source=tests/windows/wine_env.sh
. "$(dirname "$0")/wine_env.sh" "$winedir"

wobblegen_wine_prefix
wobblegen_wine_server
exec "$WOBBLEGEN_WINE" "$@"
