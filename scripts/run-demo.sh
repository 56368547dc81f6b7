#!/usr/bin/env bash
# Installs what is missing, builds the program with the demo's deployment values,
# starts a private MariaDB server with the demo catalogue and a local web server with
# the demo banner and lessons, then runs the program. Closing it stops everything.
#
# Ports: DEMO_DB_PORT (database, default 33061) and DEMO_HTTP_PORT (web, default
# 18765), both on 127.0.0.1. DEMO_BUILD_DIR: where the demo is built (build-demo).
# Run it as an ordinary user: as root the program refuses to play lessons, as it does for a
# learner (DEMO_NO_SANDBOX=1 switches the player's sandbox off for the demo instead, and
# says so).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${DEMO_BUILD_DIR:-$here/build-demo}
db_port=${DEMO_DB_PORT:-33061}
http_port=${DEMO_HTTP_PORT:-18765}
db_name=orvydemo
db_password=OrvyDemo2026   # twelve characters, like the deployed one

fail() {
    echo "run-demo.sh: $*" >&2
    exit 1
}

# Something already answers on this loopback port.
port_taken() {
    timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null
}

check_port() { # port variable what
    [[ $1 =~ ^[0-9]+$ ]] && (($1 > 0 && $1 < 65536)) || fail "$2=$1 is not a port number"
    if port_taken "$1"; then
        fail "port $1 ($3) is taken on 127.0.0.1; set $2 to a free port"
    fi
}

[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || fail "no graphical session (DISPLAY is not set); run it on a desktop"
check_port "$db_port" DEMO_DB_PORT "database"
check_port "$http_port" DEMO_HTTP_PORT "web server"
[ "$db_port" != "$http_port" ] || fail "DEMO_DB_PORT and DEMO_HTTP_PORT are both $db_port"

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_BUILD_TESTS=OFF \
    -DORVY_DB_HOST=127.0.0.1 -DORVY_DB_PORT="$db_port" -DORVY_DB_NAME="$db_name" -DORVY_DB_PASSWORD="$db_password"
cmake --build "$build" --target OrvyClass -j "$(nproc)"

state=$build/demo-state
media=$build/demo-media
"$here/demo/make-media.sh" "$media"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The build may take minutes: a port free at the start may have been taken since.
check_port "$db_port" DEMO_DB_PORT "database"
check_port "$http_port" DEMO_HTTP_PORT "web server"

# A fresh private database server on loopback, never the system's.
rm -rf "$state"
mkdir -p "$state"
mariadb-install-db --no-defaults --datadir="$state/data" --user="$(id -un)" \
    --auth-root-authentication-method=normal --skip-test-db >"$state/install.log" 2>&1 \
    || fail "mariadb-install-db failed; see $state/install.log"
/usr/sbin/mariadbd --no-defaults --datadir="$state/data" --user="$(id -un)" --bind-address=127.0.0.1 \
    --port="$db_port" --socket="$state/mysqld.sock" --pid-file="$state/mysqld.pid" --skip-name-resolve \
    --log-error="$state/mysqld.err" >>"$state/mysqld.err" 2>&1 &
db_pid=$!
pids+=("$db_pid")
sql() { mariadb --no-defaults -uroot --socket="$state/mysqld.sock" --connect-timeout=2 "$@"; }
db_up=0
for _ in $(seq 150); do
    if ! kill -0 "$db_pid" 2>/dev/null; then
        grep -qi 'address already in use' "$state/mysqld.err" 2>/dev/null \
            && fail "port $db_port (database) is taken on 127.0.0.1; set DEMO_DB_PORT to a free port"
        fail "the database server stopped at start; see $state/mysqld.err"
    fi
    # Ready when it answers on the TCP port the program uses, not only on its socket.
    if sql -e 'SELECT 1' >/dev/null 2>&1 && port_taken "$db_port"; then
        db_up=1
        break
    fi
    sleep 0.2
done
((db_up)) || fail "the database server did not answer within 30 s; see $state/mysqld.err"
sql -e "CREATE DATABASE $db_name CHARACTER SET utf8mb4;
        CREATE USER '$db_name'@'127.0.0.1' IDENTIFIED BY '$db_password';
        GRANT SELECT ON $db_name.* TO '$db_name'@'127.0.0.1';"
sql "$db_name" < "$here/db/schema.sql"
sed "s#@HTTP@#http://127.0.0.1:$http_port#g" "$here/demo/seed.sql" | sql "$db_name"

python3 "$here/demo/serve.py" "$media" "$http_port" &
http_pid=$!
pids+=("$http_pid")
http_up=0
for _ in $(seq 100); do
    # serve.py names a taken port itself.
    kill -0 "$http_pid" 2>/dev/null || fail "the web server stopped at start (port $http_port, DEMO_HTTP_PORT)"
    if python3 - "$http_port" <<'EOF'; then
import sys, urllib.request
urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/banner.png", timeout=2).read()
EOF
        http_up=1
        break
    fi 2>/dev/null
    sleep 0.2
done
((http_up)) || fail "the web server did not answer within 20 s"

echo "Demo database on 127.0.0.1:$db_port, content on http://127.0.0.1:$http_port/"
# The program refuses to play lessons as root, as the engine's sandbox cannot run there;
# the demo shows it as it is, unless asked to switch the sandbox off for itself.
if [ "$(id -u)" -eq 0 ]; then
    if [ -n "${DEMO_NO_SANDBOX:-}" ]; then
        echo "run-demo.sh: as root with DEMO_NO_SANDBOX set: the player's sandbox is off for" \
            "this demo (a learner's program never runs so); lessons play without it" >&2
        export QTWEBENGINE_DISABLE_SANDBOX=1
    else
        echo "run-demo.sh: running as root: the program refuses to play lessons as root, as" \
            "it does for a learner; run the demo as an ordinary user to see lessons play" \
            "(or set DEMO_NO_SANDBOX=1 to switch the player's sandbox off for the demo)" >&2
    fi
fi
"$build/OrvyClass" "$@"
