# shellcheck shell=bash
# Sourced by the scripts that run servers from Debian's packages on loopback in a private
# folder (scale-out.sh, video-serve.sh): processes, ports and the --owner watchdog.
# The sourcing script defines die().

# Running, and not only a process that has ended and waits for its parent to reap it.
alive() { kill -0 "$1" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]; }

# Sends the signal and waits for a clean end (the given seconds at most), else SIGKILL;
# removes the pid file.
end_process() { # pid file, signal, seconds
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    if alive "$pid"; then
        kill "-$2" "$pid" 2>/dev/null || true
        # A frozen (SIGSTOP) process would never see the signal.
        kill -CONT "$pid" 2>/dev/null || true
        for _ in $(seq $(($3 * 5))); do
            alive "$pid" || break
            sleep 0.2
        done
        alive "$pid" && kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$1"
}

# Free: no socket of any state on it.
port_free() { ! ss -Htan "sport = :$1" 2>/dev/null | grep -q .; }
listening() { ss -Htln "sport = :$1" 2>/dev/null | grep -q .; }

# The first of `count` consecutive free ports from 20000 up. A port in the kernel's range
# for outgoing connections may be taken by one at any time, so they lie below that range.
free_port_base() { # count
    local ephemeral candidate p ok
    ephemeral=$(cut -f1 /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || echo 32768)
    for candidate in $(seq 20000 "$1" $((ephemeral - $1))); do
        ok=1
        for p in $(seq "$candidate" $((candidate + $1 - 1))); do port_free "$p" || { ok=0 && break; }; done
        ((ok)) && echo "$candidate" && return 0
    done
    die "no $1 free loopback ports from 20000 up"
}

# --owner PID, the arguments left after the command's own; sets owner.
parse_owner() {
    owner=""
    if [ "${1:-}" = --owner ]; then
        owner=${2:-}
        [[ $owner =~ ^[0-9]+$ ]] || die "--owner needs a process id"
    fi
}

# Runs `script stop dir` once the owner process has ended.
start_watchdog() { # owner, script, dir
    LOOPBACK_WATCHDOG_OWNER=$1 setsid bash -c 'while kill -0 "$LOOPBACK_WATCHDOG_OWNER" 2>/dev/null; do
        sleep 1; done; LOOPBACK_WATCHDOG=$$ exec "$0" stop "$1"' "$2" "$3" </dev/null >/dev/null 2>&1 &
    echo $! >"$3/watchdog.pid"
}

# Ends the folder's watchdog, unless it is what runs this.
stop_watchdog() { # dir
    local watchdog
    watchdog=$(cat "$1/watchdog.pid" 2>/dev/null || true)
    if [ -n "$watchdog" ] && [ "$watchdog" != "${LOOPBACK_WATCHDOG:-}" ]; then
        kill "$watchdog" 2>/dev/null || true
    fi
    rm -f "$1/watchdog.pid"
}
