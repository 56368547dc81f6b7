#!/usr/bin/env bash
# Installs what is missing, builds the program with the demo's deployment values,
# starts a private MariaDB server with the demo catalogue and a local web server with
# the demo banner and lessons, then runs the program. Closing it stops everything.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${DEMO_BUILD_DIR:-$here/build-demo}
db_port=${DEMO_DB_PORT:-33061}
http_port=${DEMO_HTTP_PORT:-18765}
db_name=orvydemo
db_password=OrvyDemo2026   # twelve characters, like the deployed one

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
trap cleanup EXIT INT TERM

# A fresh private database server on loopback, never the system's.
rm -rf "$state"
mkdir -p "$state"
mariadb-install-db --no-defaults --datadir="$state/data" --user="$(id -un)" \
    --auth-root-authentication-method=normal --skip-test-db >"$state/install.log" 2>&1
/usr/sbin/mariadbd --no-defaults --datadir="$state/data" --user="$(id -un)" --bind-address=127.0.0.1 \
    --port="$db_port" --socket="$state/mysqld.sock" --pid-file="$state/mysqld.pid" --skip-name-resolve \
    --log-error="$state/mysqld.err" &
pids+=($!)
for _ in $(seq 100); do
    mariadb --no-defaults -uroot --socket="$state/mysqld.sock" -e 'SELECT 1' >/dev/null 2>&1 && break
    sleep 0.2
done
sql() { mariadb --no-defaults -uroot --socket="$state/mysqld.sock" "$@"; }
sql -e "CREATE DATABASE $db_name CHARACTER SET utf8mb4;
        CREATE USER '$db_name'@'127.0.0.1' IDENTIFIED BY '$db_password';
        GRANT SELECT ON $db_name.* TO '$db_name'@'127.0.0.1';"
sql "$db_name" < "$here/db/schema.sql"
sed "s#@HTTP@#http://127.0.0.1:$http_port#g" "$here/demo/seed.sql" | sql "$db_name"

python3 "$here/demo/serve.py" "$media" "$http_port" &
pids+=($!)

echo "Demo database on 127.0.0.1:$db_port, content on http://127.0.0.1:$http_port/"
# The embedded browser's sandbox cannot run as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
"$build/OrvyClass" "$@"
