#!/bin/sh
# Starts or stops a private PipeWire daemon for the end-to-end tests that run through
# PipeWire's JACK library (pw-jack). It lives in its own runtime folder, so a user's desktop
# PipeWire is not touched; no session manager is needed (the programs connect their own ports,
# and PipeWire's dummy driver runs the cycles).
#   pipewire-server.sh start RUNTIMEDIR | stop RUNTIMEDIR
set -u
action=$1
runtime=$2

case "$action" in
start)
    "$0" stop "$runtime"
    command -v pipewire >/dev/null ||
        { echo "pipewire is not installed (packages pipewire, pipewire-jack)" >&2; exit 1; }
    command -v pw-jack >/dev/null || { echo "pw-jack is not installed (package pipewire-jack)" >&2; exit 1; }
    mkdir -p "$runtime" && chmod 700 "$runtime"
    XDG_RUNTIME_DIR=$runtime pipewire >>"$runtime/pipewire.log" 2>&1 &
    echo $! >"$runtime/pipewire.pid"
    i=0
    while [ $i -lt 50 ]; do
        if [ -S "$runtime/pipewire-0" ] && XDG_RUNTIME_DIR=$runtime pw-jack jack_lsp >/dev/null 2>&1; then
            echo "PipeWire running in $runtime (pid $(cat "$runtime/pipewire.pid"))"
            exit 0
        fi
        sleep 0.2
        i=$((i + 1))
    done
    echo "PipeWire did not start:" >&2
    tail -20 "$runtime/pipewire.log" >&2
    "$0" stop "$runtime"
    exit 1
    ;;
stop)
    exec "$(dirname "$0")/stop-daemon.sh" "$runtime/pipewire.pid"
    ;;
*)
    echo "usage: $0 start|stop RUNTIMEDIR" >&2
    exit 2
    ;;
esac
