#!/usr/bin/env bash
# Scale-out on loopback from Debian's packages, in one private folder: MariaDB with two
# asynchronous replicas behind HAProxy ("replicas"), or a three-node Galera cluster
# behind HAProxy ("galera"). The configuration files are in deploy/scale-out/; see
# docs/deploy.md, "Scale-out: replicas and a cluster behind a proxy".
#
# usage:
#   scripts/scale-out.sh start replicas|galera [DIR] [--owner PID]
#   scripts/scale-out.sh wait replicas|galera [DIR]   until every node has all the writes
#   scripts/scale-out.sh restart replicas|galera N [DIR]
#                                                     starts node N (1-3) again on its own data
#                                                     after it was killed; returns at once
#   scripts/scale-out.sh stop [DIR]                   stops every set started in DIR
#
# DIR (default build-scale-out/, or SCALE_OUT_DIR) holds the nodes' data, sockets and
# logs, HAProxy's configuration, and SET.env: the proxy's port, each node's port, pid and
# socket, the root socket to load data through (primary_socket). Ports: SCALE_OUT_PORT
# (default 23091) for the replica set's proxy, its nodes on the next three; the Galera
# set 10 higher, its cluster's own ports 20 to 29 higher. SCALE_OUT_PORT=auto takes the
# first free range from 20000 up, below the ports the kernel hands to outgoing
# connections. --owner PID stops the sets when that process ends.
# Root on every node: no password, through its socket only. Needs mariadb-server,
# galera-4, rsync, haproxy, socat and iproute2 (scripts/install-deps.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
config=$here/deploy/scale-out
self=$here/scripts/scale-out.sh
health_user=haproxy_check

say() { echo "scale-out: $*" >&2; }
die() {
    echo "scale-out: FAILED: $*" >&2
    exit 1
}
# shellcheck source=scripts/lib/loopback-servers.sh
. "$here/scripts/lib/loopback-servers.sh"

command=${1:-}
case $command in
start | wait)
    set_name=${2:-}
    [[ $set_name == replicas || $set_name == galera ]] || die "name the set: replicas or galera"
    dir=${3:-${SCALE_OUT_DIR:-$here/build-scale-out}}
    shift $(($# < 3 ? $# : 3))
    ;;
restart)
    set_name=${2:-}
    [[ $set_name == replicas || $set_name == galera ]] || die "name the set: replicas or galera"
    restart_node=${3:-}
    [[ $restart_node =~ ^[1-3]$ ]] || die "name the node to restart: 1, 2 or 3"
    dir=${4:-${SCALE_OUT_DIR:-$here/build-scale-out}}
    shift $(($# < 4 ? $# : 4))
    ;;
stop)
    dir=${2:-${SCALE_OUT_DIR:-$here/build-scale-out}}
    shift $(($# < 2 ? $# : 2))
    ;;
*) die "usage: $0 start replicas|galera [DIR] [--owner PID] | wait replicas|galera [DIR] | restart replicas|galera N [DIR] | stop [DIR]" ;;
esac
parse_owner "$@"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

sql() { # socket, then the client's arguments
    local socket=$1
    shift
    mariadb --no-defaults -uroot --socket="$socket" --connect-timeout=5 --batch --skip-column-names "$@"
}

# Sends SIGTERM and waits for a clean end (60 s at most), else SIGKILL.
end_server() { end_process "$1" TERM 60; } # pid file

stop_set() { # set name
    [ -d "$dir/$1" ] || return 0
    end_server "$dir/$1/haproxy.pid"
    for node in "$dir/$1"/node*; do
        [ -d "$node" ] && end_server "$node/mysqld.pid"
    done
    rm -f "$dir/$1.env"
    say "$1 stopped"
}

stop_all() {
    # The watchdog first, unless it is what runs this.
    stop_watchdog "$dir"
    stop_set replicas
    stop_set galera
}

if [ "$command" = stop ]; then
    stop_all
    exit 0
fi

base=${SCALE_OUT_PORT:-23091}
if [ "$base" = auto ]; then base=$(free_port_base 30) || exit 1; fi
[[ $base =~ ^[0-9]+$ ]] && ((base > 1024 && base < 65500)) || die "SCALE_OUT_PORT=$base is not a port from 1025 up"
if [ "$set_name" = galera ]; then base=$((base + 10)); fi
proxy_port=$base
set_dir=$dir/$set_name
env_file=$dir/$set_name.env

node_port() { echo $((proxy_port + $1)); }
node_dir() { echo "$set_dir/node$1"; }

wait_ready() { # node number, its process id: the server answers on its socket and its port
    local node
    node=$(node_dir "$1")
    for _ in $(seq 600); do
        alive "$2" || die "node $1 stopped at start: $(tail -20 "$node/error.log")"
        if sql "$node/mysqld.sock" -e 'SELECT 1' >/dev/null 2>&1 && listening "$(node_port "$1")"; then
            return 0
        fi
        sleep 0.2
    done
    die "node $1 did not answer within 120 s: $(tail -20 "$node/error.log")"
}

galera_synced() { # node number
    [ "$(sql "$(node_dir "$1")/mysqld.sock" -e "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS
        WHERE VARIABLE_NAME = 'WSREP_LOCAL_STATE_COMMENT'" 2>/dev/null)" = Synced ]
}

if [ "$command" = wait ]; then
    [ -f "$env_file" ] || die "the $set_name set is not running in $dir"
    if [ "$set_name" = replicas ]; then
        position=$(sql "$(node_dir 1)/mysqld.sock" -e 'SELECT @@gtid_binlog_pos')
        for n in 2 3; do
            reached=$(sql "$(node_dir "$n")/mysqld.sock" -e "SELECT MASTER_GTID_WAIT('$position', 60)")
            [ "$reached" = 0 ] || die "replica $n has not caught up with the primary ($position) within 60 s"
        done
    else
        for _ in $(seq 300); do
            last=()
            for n in 1 2 3; do
                last+=("$(sql "$(node_dir "$n")/mysqld.sock" -e "SELECT VARIABLE_VALUE FROM
                    information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME = 'WSREP_LAST_COMMITTED'")")
            done
            [ "${last[0]}" = "${last[1]}" ] && [ "${last[0]}" = "${last[2]}" ] && exit 0
            sleep 0.2
        done
        die "the cluster's nodes did not agree within 60 s (last committed: ${last[*]})"
    fi
    exit 0
fi

if [ "$command" = restart ]; then
    [ -f "$env_file" ] || die "the $set_name set is not running in $dir"
    node=$(node_dir "$restart_node")
    old_pid=$(cat "$node/mysqld.pid" 2>/dev/null || true)
    [ -n "$old_pid" ] && alive "$old_pid" && die "node $restart_node still runs (process $old_pid)"
    # Not waited for: a cluster node opens its port only once its state transfer is over,
    # and HAProxy's check keeps learners off it until then.
    setsid /usr/sbin/mariadbd --defaults-file="$node/my.cnf" </dev/null >>"$node/console.log" 2>&1 &
    new_pid=$!
    pids=$(grep '^node_pids=' "$env_file" | cut -d'"' -f2)
    read -r -a pid_list <<<"$pids"
    pid_list[restart_node - 1]=$new_pid
    sed -i "s#^node_pids=.*#node_pids=\"${pid_list[*]}\"#" "$env_file"
    say "$set_name: node $restart_node started again (process $new_pid)"
    exit 0
fi

# start
[ -e "$env_file" ] && die "the $set_name set already runs in $dir (stop it first)"
for cmd in mariadbd mariadb-install-db mariadb haproxy socat ss; do
    command -v "$cmd" >/dev/null || [ -x "/usr/sbin/$cmd" ] || die "$cmd is missing; run scripts/install-deps.sh"
done
if [ "$set_name" = galera ]; then
    [ -e /usr/lib/galera/libgalera_smm.so ] || die "galera-4 is missing; run scripts/install-deps.sh"
    command -v rsync >/dev/null || die "rsync is missing; run scripts/install-deps.sh"
fi
last_port=$((proxy_port + 3))
[ "$set_name" = galera ] && last_port=$((proxy_port + 19))
for p in $(seq "$proxy_port" "$last_port"); do
    port_free "$p" || die "port $p is taken on this machine; set SCALE_OUT_PORT to another base (or auto)"
done

# The servers never run as root: started by root, they run as the package's own account.
run_user=$(id -un)
[ "$(id -u)" -eq 0 ] && run_user=mysql
# A socket's path must fit the kernel's 108 bytes.
((${#set_dir} + 20 < 108)) || die "$dir is too long a path for the servers' sockets; choose a shorter DIR"
rm -rf "$set_dir"
mkdir -p "$set_dir"
chown "$run_user" "$set_dir"
runuser -u "$run_user" -- test -w "$set_dir" 2>/dev/null || [ "$run_user" = "$(id -un)" ] ||
    die "$run_user cannot write to $set_dir (a folder on the way is closed to it); choose another DIR"
# Should this script fail half-way, nothing it started stays behind.
started_ok=0
on_exit() { ((started_ok)) || stop_set "$set_name"; }
trap on_exit EXIT

peers=""
for n in 1 2 3; do peers+="${peers:+,}127.0.0.1:$((proxy_port + 10 + n))"; done

start_node() { # node number, role (primary, replica, galera), extra mariadbd options...
    local n=$1 role=$2 node
    shift 2
    node=$(node_dir "$n")
    mkdir -p "$node/tmp"
    # One fresh data directory, copied: each node starts from the same empty server.
    if [ ! -d "$set_dir/fresh-data" ]; then
        mariadb-install-db --no-defaults --datadir="$set_dir/fresh-data" --user="$run_user" \
            --auth-root-authentication-method=normal --skip-test-db >"$set_dir/install.log" 2>&1 ||
            die "mariadb-install-db: $(tail -5 "$set_dir/install.log")"
    fi
    cp -a "$set_dir/fresh-data" "$node/data"
    chown -R "$run_user" "$node"
    cat "$config/node.cnf" "$config/$role.cnf" | sed -e "s#@NODE_DIR@#$node#g" -e "s#@PORT@#$(node_port "$n")#g" \
        -e "s#@USER@#$run_user#g" -e "s#@SERVER_ID@#$n#g" -e "s#@NAME@#node$n#g" -e "s#@GCOMM_PEERS@#$peers#g" \
        -e "s#@GCOMM_PORT@#$((proxy_port + 10 + n))#g" -e "s#@IST_PORT@#$((proxy_port + 13 + n))#g" \
        -e "s#@SST_PORT@#$((proxy_port + 16 + n))#g" >"$node/my.cnf"
    # Its own session, so that it outlives this script and a terminal's signals.
    setsid /usr/sbin/mariadbd --defaults-file="$node/my.cnf" "$@" </dev/null >"$node/console.log" 2>&1 &
    node_pid=$!
    wait_ready "$n" "$node_pid"
}

if [ "$set_name" = replicas ]; then
    start_node 1 primary
    primary=$(node_dir 1)/mysqld.sock
    repl_password=$(openssl rand -hex 12)
    # Kept for a replica added later (docs/deploy.md).
    (umask 077 && echo "$repl_password" >"$set_dir/replication.password")
    # Written to the binary log first, so the replicas get these accounts too.
    sql "$primary" -e "CREATE USER 'replication'@'127.0.0.1' IDENTIFIED BY '$repl_password';
        GRANT REPLICATION SLAVE ON *.* TO 'replication'@'127.0.0.1';
        CREATE USER '$health_user'@'127.0.0.1';"
    for n in 2 3; do
        start_node "$n" replica
        sql "$(node_dir "$n")/mysqld.sock" -e "CHANGE MASTER TO MASTER_HOST = '127.0.0.1',
            MASTER_PORT = $(node_port 1), MASTER_USER = 'replication', MASTER_PASSWORD = '$repl_password',
            MASTER_USE_GTID = slave_pos, MASTER_CONNECT_RETRY = 1; START SLAVE;"
    done
    position=$(sql "$primary" -e 'SELECT @@gtid_binlog_pos')
    for n in 2 3; do
        [ "$(sql "$(node_dir "$n")/mysqld.sock" -e "SELECT MASTER_GTID_WAIT('$position', 60)")" = 0 ] ||
            die "replica $n does not follow the primary: $(sql "$(node_dir "$n")/mysqld.sock" -e 'SHOW SLAVE STATUS\G' | grep -i error)"
    done
else
    start_node 1 galera --wsrep-new-cluster
    primary=$(node_dir 1)/mysqld.sock
    sql "$primary" -e "CREATE USER '$health_user'@'127.0.0.1';"
    for n in 2 3; do
        # Joins and copies the data from a running node (rsync), then serves.
        start_node "$n" galera
        for _ in $(seq 600); do
            galera_synced "$n" && break
            alive "$node_pid" || die "node $n stopped while joining: $(tail -20 "$(node_dir "$n")/error.log")"
            sleep 0.2
        done
        galera_synced "$n" || die "node $n did not join the cluster within 120 s: $(tail -20 "$(node_dir "$n")/error.log")"
    done
fi

# The proxy, started once every node knows the health-check user. Its maxconn is a
# school's, unless this machine's open-file limit cannot hold two descriptors for each.
maxconn=55000
fd_limit=$(ulimit -Hn)
if [ "$fd_limit" != unlimited ] && (((fd_limit - 1000) / 2 < maxconn)); then
    maxconn=$(((fd_limit - 1000) / 2))
fi
{
    sed -e "s#@DIR@#$set_dir#g" -e "s#@PROXY_PORT@#$proxy_port#g" -e "s#@CHECK@#$config/node-check.sh#g" -e "s#@MAXCONN@#$maxconn#g" \
        "$config/haproxy.cfg"
    for n in 1 2 3; do echo "    server node$n 127.0.0.1:$(node_port "$n") check"; done
} >"$set_dir/haproxy.cfg"
haproxy -c -q -f "$set_dir/haproxy.cfg" || die "HAProxy rejects $set_dir/haproxy.cfg"
haproxy -D -f "$set_dir/haproxy.cfg" >"$set_dir/haproxy.log" 2>&1 || die "HAProxy: $(cat "$set_dir/haproxy.log")"
up=0
for _ in $(seq 150); do
    up=$(echo "show stat" | socat -t 2 - "UNIX-CONNECT:$set_dir/haproxy.sock" 2>/dev/null |
        awk -F, '$1 == "catalogue" && $2 ~ /^node/ && $18 == "UP"' | wc -l)
    ((up == 3)) && break
    sleep 0.2
done
((up == 3)) || die "HAProxy does not see all three nodes up within 30 s"

{
    echo "set=$set_name"
    echo "proxy_host=127.0.0.1"
    echo "proxy_port=$proxy_port"
    echo "proxy_pid=$(cat "$set_dir/haproxy.pid")"
    echo "proxy_socket=$set_dir/haproxy.sock"
    echo "primary_socket=$primary"
    echo "health_user=$health_user"
    ports="" pids="" sockets=""
    for n in 1 2 3; do
        ports+="${ports:+ }$(node_port "$n")"
        pids+="${pids:+ }$(cat "$(node_dir "$n")/mysqld.pid")"
        sockets+="${sockets:+ }$(node_dir "$n")/mysqld.sock"
    done
    echo "node_ports=\"$ports\""
    echo "node_pids=\"$pids\""
    echo "node_sockets=\"$sockets\""
} >"$env_file"

if [ -n "$owner" ] && [ ! -e "$dir/watchdog.pid" ]; then start_watchdog "$owner" "$self" "$dir"; fi
started_ok=1
say "$set_name: HAProxy on 127.0.0.1:$proxy_port in front of nodes on $(grep '^node_ports=' "$env_file" | cut -d'"' -f2) ($env_file)"
