#!/bin/sh
# Starts or stops the JACK server (dummy driver) that the end-to-end tests talk through. The
# server name comes from JACK_DEFAULT_SERVER, so a user's own server is not touched.
#   jack-server.sh start PIDFILE | stop PIDFILE
# The server runs its cycles in realtime where the machine allows it, with 512-frame cycles
# (10.7 ms): a client that is not scheduled in time misses its cycle and JACK drops the MIDI
# events of that cycle, which shows as a keyboard that did not answer. On a virtual machine whose
# host takes the CPU away now and then (steal time), realtime alone does not prevent that at
# 256 frames; a longer cycle leaves the slack. NVBMAN_JACK_REALTIME=0 forces the plain mode;
# NVBMAN_JACK_PERIOD sets another period (the benchmarks compare them).
set -u
action=$1
pidfile=$2
server=${JACK_DEFAULT_SERVER:-nvbman-test}

case "$action" in
start)
    "$0" stop "$pidfile"
    command -v jackd >/dev/null || { echo "jackd is not installed (package jackd2)" >&2; exit 1; }
    modes="--realtime --no-realtime"
    [ "${NVBMAN_JACK_REALTIME:-1}" = 0 ] && modes="--no-realtime"
    for mode in $modes; do
        # Appended, so the xruns of earlier runs stay readable next to a failure.
        echo "== $(date '+%F %T') $mode" >>"$pidfile.log"
        jackd $mode -n "$server" -d dummy -r 48000 -p "${NVBMAN_JACK_PERIOD:-512}" \
            >>"$pidfile.log" 2>&1 &
        echo $! >"$pidfile"
        # Ready once a client can connect; give up after ten seconds.
        i=0
        while [ $i -lt 50 ]; do
            if jack_lsp -s "$server" >/dev/null 2>&1; then
                echo "JACK server '$server' running (pid $(cat "$pidfile"), $mode)"
                exit 0
            fi
            if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
                break
            fi
            sleep 0.2
            i=$((i + 1))
        done
        echo "JACK server '$server' did not start with $mode:" >&2
        tail -20 "$pidfile.log" >&2
        "$0" stop "$pidfile"
    done
    exit 1
    ;;
stop)
    exec "$(dirname "$0")/stop-daemon.sh" "$pidfile"
    ;;
*)
    echo "usage: $0 start|stop PIDFILE" >&2
    exit 2
    ;;
esac
