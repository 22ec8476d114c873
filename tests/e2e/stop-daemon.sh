#!/bin/sh
# Stops the test daemon (JACK server, PipeWire) whose process id PIDFILE holds, waiting for it
# to go so that a following start does not meet its name or socket still taken.
#   stop-daemon.sh PIDFILE
set -u
pidfile=$1
if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    kill -9 "$pid" 2>/dev/null
    rm -f "$pidfile"
fi
exit 0
