#!/bin/sh
# The Windows libraries (scripts/deps.sh windows): prefix=$(scripts/windows-deps.sh)
exec "$(dirname "$0")/deps.sh" windows "$@"
