#!/usr/bin/env bash
# The lessons' videos on loopback from Debian's nginx, in one private folder: one origin
# serving a media folder ("origin"), or that origin with a caching server in front of it
# ("cached"). The configuration files are in deploy/videos/; see docs/deploy.md,
# "Serving the videos". The system's own nginx is left alone.
#
# usage:
#   scripts/video-serve.sh start origin|cached MEDIA [DIR] [--owner PID]
#   scripts/video-serve.sh stop [DIR]
#
# MEDIA is the folder of lesson files. DIR (default build-videos/, or VIDEO_SERVE_DIR)
# holds each server's configuration, logs (access.log lists every answer with its status
# and the Range asked for), cache and temporary files, and videos.env (sh syntax): the address
# learners use (url), each server's port, pid and access log. Ports: VIDEO_SERVE_PORT
# (default 23141) for the origin, the caching server on the next one; auto takes the
# first two free ports from 20000 up. VIDEO_SERVE_WORKERS (1), VIDEO_SERVE_SLICE (1m)
# and VIDEO_SERVE_CACHE_MAX (10g) tune the servers. --owner PID stops them when that
# process ends. Needs nginx with its slice module, and iproute2 (scripts/install-deps.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
config=$here/deploy/videos
self=$here/scripts/video-serve.sh

say() { echo "video-serve: $*" >&2; }
die() {
    echo "video-serve: FAILED: $*" >&2
    exit 1
}
# shellcheck source=scripts/lib/loopback-servers.sh
. "$here/scripts/lib/loopback-servers.sh"

command=${1:-}
case $command in
start)
    tier=${2:-}
    [[ $tier == origin || $tier == cached ]] || die "name the set-up: origin or cached"
    media=${3:-}
    [[ -n $media && -d $media ]] || die "name the folder of lesson files"
    media=$(cd "$media" && pwd)
    dir=${4:-${VIDEO_SERVE_DIR:-$here/build-videos}}
    shift $(($# < 4 ? $# : 4))
    ;;
stop)
    dir=${2:-${VIDEO_SERVE_DIR:-$here/build-videos}}
    shift $(($# < 2 ? $# : 2))
    ;;
*) die "usage: $0 start origin|cached MEDIA [DIR] [--owner PID] | stop [DIR]" ;;
esac
parse_owner "$@"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
# The paths go into nginx's configuration between double quotes.
for path in "$dir" "${media:-}"; do
    [[ $path != *[\"#\$\;\&\\\`]* ]] || die "$path: a path with \", #, \$, ;, &, \\ or \` cannot go into nginx's configuration"
done
env_file=$dir/videos.env

# Asks nginx to finish its answers (SIGQUIT), waits 30 s at most, else SIGKILL.
end_server() { end_process "$1/nginx.pid" QUIT 30; } # server folder

stop_all() {
    stop_watchdog "$dir"
    # The cache first: it would answer from what it keeps with its origin gone.
    end_server "$dir/cache"
    end_server "$dir/origin"
    rm -f "$env_file"
}

if [ "$command" = stop ]; then
    stop_all
    say "stopped"
    exit 0
fi

[ -e "$env_file" ] && die "videos already served from $dir (stop them first)"
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || die "nginx is missing; run scripts/install-deps.sh"
command -v ss >/dev/null || die "ss is missing; run scripts/install-deps.sh"
if [ "$tier" = cached ] && ! "$nginx" -V 2>&1 | grep -q -- --with-http_slice_module; then
    die "this nginx has no slice module (ngx_http_slice_module); install Debian's nginx package"
fi

base=${VIDEO_SERVE_PORT:-23141}
if [ "$base" = auto ]; then base=$(free_port_base 2) || exit 1; fi
[[ $base =~ ^[0-9]+$ ]] && ((base > 1024 && base < 65500)) || die "VIDEO_SERVE_PORT=$base is not a port from 1025 up"
origin_port=$base
cache_port=$((base + 1))
for p in $origin_port $cache_port; do
    port_free "$p" || die "port $p is taken on this machine; set VIDEO_SERVE_PORT to another base (or auto)"
done

# Started by root, the workers run as the web server's account, which must read the
# lessons and write the cache.
user_line="# (workers run as the account that starts nginx)"
if [ "$(id -u)" -eq 0 ]; then
    user_line="user www-data;"
    runuser -u www-data -- test -r "$media" -a -x "$media" 2>/dev/null ||
        die "www-data cannot read $media (a folder on the way is closed to it); choose another MEDIA"
fi

started_ok=0
on_exit() { ((started_ok)) || stop_all; }
trap on_exit EXIT

start_server() { # name (origin or cache), port
    local server=$dir/$1
    rm -rf "$server"
    mkdir -p "$server/tmp"
    sed -e "s#@USER_LINE@#$user_line#" -e "s#@WORKERS@#${VIDEO_SERVE_WORKERS:-1}#" -e "s#@DIR@#$server#g" \
        -e "s#@LISTEN@#127.0.0.1:$2#" -e "s#@MEDIA@#$media#" -e "s#@ORIGIN@#127.0.0.1:$origin_port#" \
        -e "s#@SLICE@#${VIDEO_SERVE_SLICE:-1m}#" -e "s#@CACHE_MAX@#${VIDEO_SERVE_CACHE_MAX:-10g}#" \
        "$config/$1.conf" >"$server/nginx.conf"
    [ "$(id -u)" -eq 0 ] && chown -R www-data "$server/tmp"
    # -e: nginx's own error log before it reads the configuration, which is not the
    # system's /var/log/nginx.
    "$nginx" -t -q -p "$server" -e "$server/error.log" -c "$server/nginx.conf" 2>"$server/check.log" ||
        die "nginx rejects $server/nginx.conf: $(cat "$server/check.log")"
    # nginx goes to the background by itself, in a session of its own.
    setsid "$nginx" -p "$server" -e "$server/error.log" -c "$server/nginx.conf" </dev/null \
        >"$server/console.log" 2>&1 || die "nginx ($1): $(tail -5 "$server/error.log" "$server/console.log")"
    for _ in $(seq 100); do
        listening "$2" && [ -s "$server/nginx.pid" ] && return 0
        sleep 0.1
    done
    die "nginx ($1) does not listen on 127.0.0.1:$2 within 10 s: $(tail -5 "$server/error.log")"
}

start_server origin "$origin_port"
url_port=$origin_port
if [ "$tier" = cached ]; then
    start_server cache "$cache_port"
    url_port=$cache_port
fi

{
    echo "tier=$tier"
    echo "url=http://127.0.0.1:$url_port"
    echo "media=\"$media\""
    echo "origin_port=$origin_port"
    echo "origin_pid=$(cat "$dir/origin/nginx.pid")"
    echo "origin_log=\"$dir/origin/access.log\""
    if [ "$tier" = cached ]; then
        echo "cache_port=$cache_port"
        echo "cache_pid=$(cat "$dir/cache/nginx.pid")"
        echo "cache_log=\"$dir/cache/access.log\""
    fi
} >"$env_file"

if [ -n "$owner" ]; then start_watchdog "$owner" "$self" "$dir"; fi
started_ok=1
say "$tier: lessons of $media at http://127.0.0.1:$url_port ($env_file)"
