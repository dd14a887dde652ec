#!/bin/bash
# The Wine session the Windows tests share: `start` makes the prefix when missing and starts
# its server; `stop` ends the server and every Wine process of the prefix (the tests' fixture
# cleanup, run however the tests went). Usage: wine_session.sh WINEDIR start|stop
set -euo pipefail
mkdir -p "$1/home"
winedir=$(cd "$1" && pwd)
# shellcheck source=tests/windows/wine_env.sh
. "$(dirname "$0")/wine_env.sh" "$winedir"
case $2 in
    start)
        wobblegen_wine_prefix
        wobblegen_wine_server
        ;;
    stop)
        wobblegen_wine_stop
        ;;
    *)
        echo "usage: wine_session.sh WINEDIR start|stop" >&2
        exit 2
        ;;
esac
