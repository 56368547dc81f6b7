#!/usr/bin/env bash
# Many learners on one catalogue: starts a private MariaDB server on loopback with a
# school's catalogue (bench/load/catalogue.sql: 200 courses, 20 types, 20,000 lessons),
# runs the load tool (orvy_load) against it in the scenarios of bench/README.md's "Load"
# section, then against the replica set and the Galera cluster behind HAProxy
# (scripts/scale-out.sh), and prints the tables. Not part of the test run.
#
# usage: bench/load/run.sh [--quick]
#   --quick   fewer learners and one run of each capacity scenario, for a check that
#             everything runs (numbers not comparable)
# LOAD_BUILD_DIR (build-load) and LOAD_DB_PORT (23081; the proxies use 23091 upwards,
# see scripts/scale-out.sh) may be set. LOAD_SCENARIOS picks groups (default: all of
# them): limits, threadpool, proxied, and the capacity guide's catalogue (a start's cost
# with 200, 500 and 1,000 courses), compression (on and off), tls (none, RSA-3072, EC
# P-256) and burst (3,000 learners within 3 s). LOAD_REPEAT (3; 1 with --quick) is how
# many times each capacity scenario runs, interleaved, so that a busy moment of the
# machine shows as spread rather than as a difference.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${LOAD_BUILD_DIR:-$here/build-load}
port=${LOAD_DB_PORT:-23081}
state=$build/load-state
db=orvyload
password=OrvyLoad2026 # twelve characters, like the deployed one
quick=0
[ "${1:-}" = --quick ] && quick=1
scenarios=" ${LOAD_SCENARIOS:-all} "
repeat=${LOAD_REPEAT:-$((quick ? 1 : 3))}
[[ "$repeat" =~ ^[1-9][0-9]?$ ]] || {
    echo "load: LOAD_REPEAT must be from 1 to 99" >&2
    exit 2
}
want() { [[ "$scenarios" == *" all "* || "$scenarios" == *" $1 "* ]]; }

say() { echo "load: $*" >&2; }
die() {
    echo "load: FAILED: $*" >&2
    exit 1
}
# Learners scaled down for --quick.
n() { if ((quick)); then echo $(($1 / 10 > 0 ? $1 / 10 : 1)); else echo "$1"; fi; }
# Seconds (arrivals, pauses) of the capacity scenarios, shortened for --quick.
t() { if ((quick)); then echo 1; else echo "$1"; fi; }

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

# Throwaway certificates for 127.0.0.1, signed by an authority of this run: an RSA-3072
# and an EC P-256 server key. The server reads the one copied to server-*.pem.
tls=$build/load-tls
make_certificates() {
    rm -rf "$tls"
    mkdir -p "$tls"
    (
        cd "$tls"
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca-key.pem -out ca.pem \
            -days 2 -subj "/CN=orvy load authority"
        for kind in rsa ec; do
            if [ "$kind" = rsa ]; then key=(-newkey rsa:3072); else key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256); fi
            openssl req -new "${key[@]}" -nodes -keyout "$kind-key.pem" -out "$kind.csr" -subj "/CN=127.0.0.1"
            openssl x509 -req -in "$kind.csr" -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 2 \
                -extfile <(printf 'subjectAltName=IP:127.0.0.1\n') -out "$kind-cert.pem"
        done
        cp rsa-cert.pem server-cert.pem
        cp rsa-key.pem server-key.pem
    ) >"$build/openssl.log" 2>&1 || die "openssl: $(tail -5 "$build/openssl.log")"
}
server_key() { # rsa or ec: the server's certificate from its next TLS handshake on
    cp "$tls/$1-cert.pem" "$tls/server-cert.pem"
    cp "$tls/$1-key.pem" "$tls/server-key.pem"
    sql -e "FLUSH SSL"
    openssl x509 -in "$tls/server-cert.pem" -noout -text | grep -q "$([ "$1" = rsa ] && echo 'Public-Key: (3072 bit)' || echo 'NIST CURVE: P-256')" ||
        die "the server's certificate is not the $1 one"
}

# A fresh server. Started with room for many connections (the server sizes its file
# limit from max_connections at start) and with TLS offered (a learner without it never
# pays for it); each scenario then sets what it measures.
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
        --max-connections=4000 --ssl-ca="$tls/ca.pem" --ssl-cert="$tls/server-cert.pem" \
        --ssl-key="$tls/server-key.pem" "$@" &
    server_pid=$!
    for _ in $(seq 150); do
        kill -0 "$server_pid" 2>/dev/null || die "the server stopped at start: $(tail -5 "$state/mysqld.err")"
        sql -e 'SELECT 1' >/dev/null 2>&1 && break
        sleep 0.2
    done
    sql -e "SELECT 1" >/dev/null || die "the server did not answer"
    catalogue "$db" 200
}

# A database of that many courses (and its account, user name = database name).
catalogue() { # database, courses
    sql -e "DROP DATABASE IF EXISTS $1; CREATE DATABASE $1 CHARACTER SET utf8mb4"
    sql "$1" <"$here/db/schema.sql"
    { echo "SET @courses = $2;"; cat "$here/bench/load/catalogue.sql"; } | sql "$1"
    account "MAX_USER_CONNECTIONS 0" "$1"
}

account() { # the account's WITH clause [, database: $db]
    local d=${2:-$db}
    sql -e "DROP USER IF EXISTS '$d'@'127.0.0.1';
            CREATE USER '$d'@'127.0.0.1' IDENTIFIED BY '$password' WITH $1;
            GRANT SELECT ON $d.interface TO '$d'@'127.0.0.1';
            GRANT SELECT ON $d.courses TO '$d'@'127.0.0.1';
            GRANT SELECT ON $d.classtype TO '$d'@'127.0.0.1';
            GRANT SELECT ON $d.lessons TO '$d'@'127.0.0.1';
            FLUSH USER_RESOURCES;"
}

status() { # Bytes_received + Bytes_sent of the server so far
    sql -N -e "SELECT SUM(VARIABLE_VALUE) FROM information_schema.GLOBAL_STATUS
               WHERE VARIABLE_NAME IN ('BYTES_RECEIVED', 'BYTES_SENT')"
}

rows=()
log=$build/load.log
: >"$log"
target=$db # the database (and account) the tool uses
# Runs the tool directly against the private server; its table row is kept.
load() { # label, then the tool's options
    local label=$1
    shift
    say "$label"
    local out
    out=$("$tool" --port "$port" --database "$target" --password "$password" --server-pid "$server_pid" \
        --row "$label" "$@") || die "orvy_load ($label): $out"
    printf '## %s\n%s\n\n' "$label" "$out" >>"$log"
    printf '%s\n' "$out" | grep -v '^|' | sed 's/^/    /' >&2
    rows+=("$(printf '%s\n' "$out" | grep '^|')")
    last_out=$out
}
# A few learners first, so the buffer pool and the server's caches are warm.
warm() { "$tool" --port "$port" --database "$target" --password "$password" --learners 20 --over 0.2 \
    --choices 5 --think 0 "$@" >/dev/null; }

# The capacity guide's costs (docs/deploy.md, "Capacity"). Server CPU per learner is the
# server process's CPU time over the run divided by the learners; with --choices 0 it is
# what a start costs (connect, Q1, Q2, Q2, Q4, disconnect). Each scenario runs LOAD_REPEAT
# times, its variants interleaved.
summary=() # label, server and tool CPU per learner of every capacity run, for the summary
capacity() { # label, then the tool's options
    load "$@"
    summary+=("$1|$(printf '%s\n' "${rows[-1]}" | awk -F'|' '{ gsub(/[ ms]/, "", $12); print $12 }')|$(
        printf '%s\n' "$last_out" | sed -n "s/^this tool's CPU: \([0-9.]*\) ms per learner$/\1/p")")
}
bytes_per_learner() { # bytes before, bytes after, learners
    awk -v b=$(($2 - $1)) -v n="$3" 'BEGIN { printf "%.1f KB", b / n / 1024 }'
}
make_certificates
if want limits || want catalogue || want compression || want tls; then start_server; fi
traffic=() # bytes on the wire per learner, by run
if want limits; then
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
    for compress in on off; do
        flag=()
        [ "$compress" = off ] && flag=(--no-compress)
        warm "${flag[@]}"
        before=$(status)
        load "burst, index, compression $compress" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000 \
            "${flag[@]}"
        after=$(status)
        traffic+=("| burst, index, compression $compress, 200 courses | $(bytes_per_learner "$before" "$after" "$(n 1000)") |")
    done
fi

if want catalogue || want compression || want tls; then
    for courses in 200 500 1000; do catalogue "${db}_c$courses" "$courses"; done
    sql -e "SET GLOBAL max_connections = 2200"
fi
if want catalogue; then
    for ((run = 1; run <= repeat; run++)); do
        for courses in 200 500 1000; do
            target=${db}_c$courses
            warm
            capacity "a start, $courses courses" --learners "$(n 1000)" --over "$(t 4)" --choices 0 --seed "$run"
        done
    done
    target=$db
fi
if want compression; then
    target=${db}_c500
    for ((run = 1; run <= repeat; run++)); do
        for compress in on off; do
            flag=()
            [ "$compress" = off ] && flag=(--no-compress)
            warm "${flag[@]}"
            before=$(status)
            capacity "start and 2 choices, 500 courses, compression $compress" --learners "$(n 1000)" \
                --over "$(t 4)" --choices 2 --think 1000 --seed "$run" "${flag[@]}"
            after=$(status)
            traffic+=("| start and 2 choices, 500 courses, compression $compress | $(bytes_per_learner "$before" "$after" "$(n 1000)") |")
        done
    done
    target=$db
fi
if want tls; then
    target=${db}_c500
    for ((run = 1; run <= repeat; run++)); do
        for kind in none rsa ec; do
            flag=()
            label="a start, 500 courses, no TLS"
            if [ "$kind" != none ]; then
                server_key "$kind"
                flag=(--tls-ca "$tls/ca.pem")
                label="a start, 500 courses, TLS, $([ "$kind" = rsa ] && echo RSA-3072 || echo EC P-256) certificate"
            fi
            warm "${flag[@]}"
            capacity "$label" --learners "$(n 1000)" --over "$(t 4)" --choices 0 --seed "$run" "${flag[@]}"
        done
    done
    server_key rsa
    target=$db
fi

if want threadpool || want burst; then
    # MariaDB's thread pool instead of a thread per connection.
    start_server --thread-handling=pool-of-threads
fi
if want threadpool; then
    sql -e "SET GLOBAL max_connections = 2200"
    account "MAX_USER_CONNECTIONS 2100"
    warm
    load "2,000 open at once, thread pool" --learners "$(n 2000)" --over 4 --choices 1 --think 8000 --memory
    load "burst, index, thread pool" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
fi
if want burst; then
    # The guide's 10,000-learner server (thread pool, max_connections 4000) with 500 courses
    # and compression on: more learners within 3 s than this machine's CPU serves in that
    # time. Each keeps its connection open and chooses a course 4 to 12 s after its start.
    catalogue "${db}_c500" 500
    sql -e "SET GLOBAL max_connections = 4000"
    target=${db}_c500
    for ((run = 1; run <= repeat; run++)); do
        warm
        capacity "burst of 3,000 within 3 s, 500 courses, thread pool" --learners "$(n 3000)" --over 3 \
            --choices 1 --think "$(($(t 8) * 1000))" --seed "$run"
    done
    target=$db
fi
if [ -n "$server_pid" ]; then
    kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
    server_pid=""
fi

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
if want proxied; then
    proxied replicas "HAProxy, primary + 2 replicas, burst" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
    proxied galera "HAProxy, 3-node Galera, burst" --learners "$(n 1000)" --over 0.5 --choices 2 --think 1000
fi

echo
"$tool" --header
printf '%s\n' "${rows[@]}"
if ((${#traffic[@]})); then
    echo
    echo "| run | bytes on the wire per learner |"
    echo "|---|---|"
    printf '%s\n' "${traffic[@]}"
fi
if ((${#summary[@]})); then
    # Each capacity scenario over its runs: median, and the lowest and highest.
    echo
    echo "| scenario | runs | server CPU per learner, median (lowest–highest) | the tool's CPU per learner, median |"
    echo "|---|---|---|---|"
    printf '%s\n' "${summary[@]}" | awk -F'|' '
        function sorted(column,    j, k, t) { # values of label in v[1..n], in order
            for (j = 1; j <= n; j++) v[j] = values[label, j, column] + 0
            for (j = 2; j <= n; j++) for (k = j; k > 1 && v[k - 1] > v[k]; k--) { t = v[k]; v[k] = v[k - 1]; v[k - 1] = t }
        }
        function median() { return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }
        {
            if (!($1 in count)) order[++labels] = $1
            count[$1]++
            values[$1, count[$1], 1] = $2
            values[$1, count[$1], 2] = $3
        }
        END {
            for (i = 1; i <= labels; i++) {
                label = order[i]; n = count[label]
                sorted(2); tool = median()
                sorted(1)
                printf "| %s | %d | %.2f ms (%.2f–%.2f) | %.2f ms |\n", label, n, median(), v[1], v[n], tool
            }
        }'
fi
echo
echo "(every run's full output: $log)"
