#!/usr/bin/env bash
# Many learners on one catalogue: starts a private MariaDB server on loopback with a
# school's catalogue (bench/load/catalogue.sql: 200 courses, 20 types, 20,000 lessons),
# runs the load tool (orvy_load) against it in the scenarios of bench/README.md's "Load"
# section, then against the replica set and the Galera cluster behind HAProxy
# (scripts/scale-out.sh), and prints the tables. Not part of the test run.
#
# usage: bench/load/run.sh [--quick]
#   --quick   fewer learners, for a check that everything runs (numbers not comparable)
# LOAD_BUILD_DIR (build-load) and LOAD_DB_PORT (23081; the proxies use 23091 upwards,
# see scripts/scale-out.sh) may be set.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${LOAD_BUILD_DIR:-$here/build-load}
port=${LOAD_DB_PORT:-23081}
state=$build/load-state
db=orvyload
password=OrvyLoad2026 # twelve characters, like the deployed one
quick=0
[ "${1:-}" = --quick ] && quick=1

say() { echo "load: $*" >&2; }
die() {
    echo "load: FAILED: $*" >&2
    exit 1
}
# Learners scaled down for --quick.
n() { if ((quick)); then echo $(($1 / 10 > 0 ? $1 / 10 : 1)); else echo "$1"; fi; }

mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_BUILD_TESTS=ON \
    -DORVY_BUILD_BENCH=ON >"$build/cmake.log" 2>&1 || die "cmake: $(tail -20 "$build/cmake.log")"
cmake --build "$build" -j "$(nproc)" --target orvy_load >"$build/build.log" 2>&1 ||
    die "build: $(tail -30 "$build/build.log")"
tool=$build/bench/orvy_load
# Each learner holds a socket: the tool needs as many descriptors as learners.
ulimit -n "$(ulimit -Hn)"

server_pid=""
# The scale-out nodes never run as root: started by root they run as the server package's
# account, which must reach their folder.
scale_dir=$build/scale-out
scale_tmp=""
if [ "$(id -u)" -eq 0 ] && ! runuser -u mysql -- test -x "$build" 2>/dev/null; then
    scale_tmp=$(mktemp -d /tmp/orvy-scale-out.XXXXXX)
    chmod 755 "$scale_tmp"
    scale_dir=$scale_tmp
fi
cleanup() {
    local rc=$?
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    [ -d "$scale_dir" ] && "$here/scripts/scale-out.sh" stop "$scale_dir" >/dev/null 2>&1 || true
    [ -n "$scale_tmp" ] && rm -rf "$scale_tmp"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

sql() { mariadb --no-defaults -uroot --socket="$state/mysqld.sock" --connect-timeout=5 "$@"; }

# A fresh server. Started with room for many connections (the server sizes its file
# limit from max_connections at start); each scenario then sets what it measures.
start_server() { # extra mariadbd options...
    if [ -n "$server_pid" ]; then
        kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
        server_pid=""
    fi
    rm -rf "$state"
    mkdir -p "$state/tmp"
    mariadb-install-db --no-defaults --datadir="$state/data" --user=root --auth-root-authentication-method=normal \
        --skip-test-db >"$state/install.log" 2>&1 || die "mariadb-install-db: $(tail -5 "$state/install.log")"
    /usr/sbin/mariadbd --no-defaults --datadir="$state/data" --tmpdir="$state/tmp" --user=root \
        --bind-address=127.0.0.1 --port="$port" --socket="$state/mysqld.sock" --pid-file="$state/mysqld.pid" \
        --log-error="$state/mysqld.err" --skip-name-resolve --character-set-server=utf8mb4 \
        --max-connections=4000 "$@" &
    server_pid=$!
    for _ in $(seq 150); do
        kill -0 "$server_pid" 2>/dev/null || die "the server stopped at start: $(tail -5 "$state/mysqld.err")"
        sql -e 'SELECT 1' >/dev/null 2>&1 && break
        sleep 0.2
    done
    sql -e "CREATE DATABASE $db CHARACTER SET utf8mb4" || die "the server did not answer"
    sql "$db" <"$here/db/schema.sql"
    sql "$db" <"$here/bench/load/catalogue.sql"
    account "MAX_USER_CONNECTIONS 0"
}

account() { # the account's WITH clause
    sql -e "DROP USER IF EXISTS '$db'@'127.0.0.1';
            CREATE USER '$db'@'127.0.0.1' IDENTIFIED BY '$password' WITH $1;
            GRANT SELECT ON $db.interface TO '$db'@'127.0.0.1';
            GRANT SELECT ON $db.courses TO '$db'@'127.0.0.1';
            GRANT SELECT ON $db.classtype TO '$db'@'127.0.0.1';
            GRANT SELECT ON $db.lessons TO '$db'@'127.0.0.1';
            FLUSH USER_RESOURCES;"
}

status() { # Bytes_received + Bytes_sent of the server so far
    sql -N -e "SELECT SUM(VARIABLE_VALUE) FROM information_schema.GLOBAL_STATUS
               WHERE VARIABLE_NAME IN ('BYTES_RECEIVED', 'BYTES_SENT')"
}

rows=()
log=$build/load.log
: >"$log"
# Runs the tool directly against the private server; its table row is kept.
load() { # label, then the tool's options
    local label=$1
    shift
    say "$label"
    local out
    out=$("$tool" --port "$port" --database "$db" --password "$password" --server-pid "$server_pid" \
        --row "$label" "$@") || die "orvy_load ($label): $out"
    printf '## %s\n%s\n\n' "$label" "$out" >>"$log"
    printf '%s\n' "$out" | grep -v '^|' | sed 's/^/    /' >&2
    rows+=("$(printf '%s\n' "$out" | grep '^|')")
}
# A few learners first, so the buffer pool and the server's caches are warm.
warm() { "$tool" --port "$port" --database "$db" --password "$password" --learners 20 --over 0.2 \
    --choices 5 --think 0 "$@" >/dev/null; }

start_server
sql -e "SET GLOBAL max_connections = 2200"
warm
# First on a fresh server: what each open connection costs in memory.
load "2,000 open at once, one thread each" --learners "$(n 2000)" --over 4 --choices 1 --think 8000 --memory

# The settings docs/deploy.md used to advise: the server's own max_connections (151) and
# the account's hourly limits.
old_limits="MAX_QUERIES_PER_HOUR 20000 MAX_CONNECTIONS_PER_HOUR 2000 MAX_USER_CONNECTIONS 200"
sql -e "SET GLOBAL max_connections = 151"
account "$old_limits"
load "former advice: max_connections 151" --learners "$(n 500)" --over 3 --choices 2 --think 3000
account "$old_limits"
sql -e "SET GLOBAL max_connections = 4000"
load "former advice: 2,000 connections an hour" --learners "$(n 2500)" --over 10 --choices 0
account "MAX_QUERIES_PER_HOUR 20000"
load "former advice: 20,000 queries an hour" --learners "$(n 5000)" --over 20 --choices 1 --think 500

# The limits lifted: the advice of docs/deploy.md's capacity guide.
sql -e "SET GLOBAL max_connections = 2200"
account "MAX_USER_CONNECTIONS 2100"
warm
load "limits lifted, index" --learners "$(n 1000)" --over 3 --choices 2 --think 2000
# Arrivals faster than the server serves them: what it sustains.
load "burst, index" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
sql "$db" -e "ALTER TABLE lessons DROP INDEX lessons_of_course"
warm
load "burst, no index" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
load "limits lifted, no index" --learners "$(n 1000)" --over 3 --choices 2 --think 2000
sql "$db" -e "ALTER TABLE lessons ADD INDEX lessons_of_course (cID, active, LSORT)"

# Compression, and the bytes on the wire per learner (the server's own counters).
traffic=()
for compress in on off; do
    flag=()
    [ "$compress" = off ] && flag=(--no-compress)
    warm "${flag[@]}"
    before=$(status)
    load "burst, index, compression $compress" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000 \
        "${flag[@]}"
    after=$(status)
    traffic+=("| $compress | $(awk -v b=$((after - before)) -v n="$(n 1000)" 'BEGIN { printf "%.1f KB", b / n / 1024 }') |")
done

# MariaDB's thread pool instead of a thread per connection.
start_server --thread-handling=pool-of-threads
sql -e "SET GLOBAL max_connections = 2200"
account "MAX_USER_CONNECTIONS 2100"
warm
load "2,000 open at once, thread pool" --learners "$(n 2000)" --over 4 --choices 1 --think 8000 --memory
load "burst, index, thread pool" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
server_pid=""

# Through HAProxy: a primary with two replicas, then a three-node Galera cluster.
# shellcheck disable=SC2154 # proxy_port, node_pids and the rest come from the set's SET.env
proxied() { # set, label, tool options...
    local set=$1 label=$2
    shift 2
    SCALE_OUT_PORT=${SCALE_OUT_PORT:-auto} "$here/scripts/scale-out.sh" start "$set" "$scale_dir" >"$build/scale-out.log" 2>&1 ||
        die "scale-out.sh start $set: $(tail -20 "$build/scale-out.log")"
    # shellcheck disable=SC1090
    . "$scale_dir/$set.env"
    mariadb --no-defaults -uroot --socket="$primary_socket" -e "CREATE DATABASE $db CHARACTER SET utf8mb4"
    mariadb --no-defaults -uroot --socket="$primary_socket" "$db" <"$here/db/schema.sql"
    mariadb --no-defaults -uroot --socket="$primary_socket" "$db" <"$here/bench/load/catalogue.sql"
    mariadb --no-defaults -uroot --socket="$primary_socket" -e "
        CREATE USER '$db'@'127.0.0.1' IDENTIFIED BY '$password' WITH MAX_USER_CONNECTIONS 1900;
        GRANT SELECT ON $db.* TO '$db'@'127.0.0.1';"
    "$here/scripts/scale-out.sh" wait "$set" "$scale_dir" >>"$build/scale-out.log" 2>&1 ||
        die "scale-out.sh wait $set: $(tail -20 "$build/scale-out.log")"
    local pids=()
    for pid in $node_pids; do pids+=(--server-pid "$pid"); done
    "$tool" --port "$proxy_port" --database "$db" --password "$password" --learners 20 --over 0.2 --choices 5 \
        --think 0 >/dev/null
    say "$label"
    local out proxy_before proxy_after
    proxy_before=$(awk '{print $14 + $15}' "/proc/$proxy_pid/stat")
    out=$("$tool" --port "$proxy_port" --database "$db" --password "$password" "${pids[@]}" --row "$label" "$@") ||
        die "orvy_load ($label): $out"
    proxy_after=$(awk '{print $14 + $15}' "/proc/$proxy_pid/stat")
    printf '## %s\n%s\nHAProxy CPU: %s ticks\n\n' "$label" "$out" "$((proxy_after - proxy_before))" >>"$log"
    printf '%s\n' "$out" | grep -v '^|' | sed 's/^/    /' >&2
    say "    HAProxy CPU: $(((proxy_after - proxy_before) * 1000 / $(getconf CLK_TCK))) ms"
    rows+=("$(printf '%s\n' "$out" | grep '^|')")
    "$here/scripts/scale-out.sh" stop "$scale_dir" >>"$build/scale-out.log" 2>&1
}
proxied replicas "HAProxy, primary + 2 replicas, burst" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
proxied galera "HAProxy, 3-node Galera, burst" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000

echo
"$tool" --header
printf '%s\n' "${rows[@]}"
echo
echo "| compression | bytes on the wire per learner (start and 2 choices) |"
echo "|---|---|"
printf '%s\n' "${traffic[@]}"
echo
echo "(every run's full output: $log)"
