#!/usr/bin/env bash
# Runs a command in a desktop session of its own: an X server, and a D-Bus session bus.
# The server picks a free display itself (-displayfd), so any number of test runs, from
# any number of checkouts, can run side by side. With --wm a window manager (openbox)
# runs on it too, for tests that check what a real desktop does to the window; its work
# area leaves room for a task bar.
#
# The session bus is there because a desktop has one (the accessibility bus starts from
# it on demand). Without one, the browser engine's D-Bus client "autolaunches" a bus: it
# forks the multi-threaded process and runs library code in the child before exec.
# Under AddressSanitizer that child can block for good on an allocator lock another
# thread held at the fork, and the process never exits.
#
# usage: xsession.sh [--wm] [--screen WxHxD] -- command [args...]
set -euo pipefail

wm=0
screen=1600x900x24
while (($#)); do
    case "$1" in
        --wm) wm=1; shift ;;
        --screen) screen=$2; shift 2 ;;
        --) shift; break ;;
        *) break ;;
    esac
done
(($#)) || { echo "xsession.sh: no command" >&2; exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/xsession.XXXXXX")
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 200); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$dir/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
[ -s "$dir/display" ] || { echo "xsession.sh: Xvfb gave no display in 10 s" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$dir/display")"
unset WAYLAND_DISPLAY

if ((wm)); then
    # A 40-pixel strip at the bottom stands for a task bar: the work area that
    # maximized windows fill is then smaller than the screen, as on a desktop.
    cat >"$dir/openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><top>0</top><bottom>40</bottom><left>0</left><right>0</right></margins>
</openbox_config>
EOF
    openbox --sm-disable --config-file "$dir/openbox.xml" >"$dir/wm.log" 2>&1 &
    wm_pid=$!
    # The manager is ready once it has claimed the screen's WM selection.
    for _ in $(seq 1 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        kill -0 "$wm_pid" 2>/dev/null || { cat "$dir/wm.log" >&2; exit 1; }
        sleep 0.05
    done
fi

set +e
dbus-run-session -- "$@"
rc=$?
set -e
exit "$rc"
