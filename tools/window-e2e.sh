#!/bin/sh
# Runs tools/window-e2e.py against the real window in a virtual X server with its own D-Bus
# session and accessibility bus. Arguments go on to the script (--program, --screenshot).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- /usr/bin/python3 "$here/window-e2e.py" "$@"
