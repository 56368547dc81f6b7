#!/bin/sh
# HAProxy's health check for one database node (an external check: HAProxy runs it with
# the node's address and port as the third and fourth arguments, every `inter`). Exit 0
# means the node may take learners.
#
# A Galera node is up only when it is synced with the others (wsrep_local_state 4) and
# ready for statements (wsrep_ready ON). One that is joining, receiving its state, a donor
# or cut off from the others lets a login in but answers every statement with error 1047;
# a login check alone would send it learners, and `leastconn` would send it the most,
# since it has the fewest connections. A server that is not in a cluster (wsrep_on OFF:
# a primary, a replica) is up when the check user (no password, no rights) gets in.
addr=$3
port=$4
user=${NODE_CHECK_USER:-haproxy_check}
status=$(mariadb --protocol=TCP --host="$addr" --port="$port" --user="$user" \
    --connect-timeout=1 --skip-ssl --batch --skip-column-names \
    --execute="SHOW GLOBAL STATUS WHERE Variable_name IN ('wsrep_local_state', 'wsrep_ready');
        SHOW GLOBAL VARIABLES WHERE Variable_name IN ('wsrep_on', 'wsrep_reject_queries')" \
    2>/dev/null) || exit 1
state="" ready="" reject=NONE cluster=""
# Read by the shell itself: the check runs every second for every node, and each process
# it starts counts when the machine is busy (see `inter` in haproxy.cfg).
while read -r name value; do
    case $name in
    wsrep_local_state) state=$value ;;
    wsrep_ready) ready=$value ;;
    wsrep_reject_queries) reject=$value ;;
    wsrep_on) cluster=$value ;;
    esac
done <<EOF
$status
EOF
# Not a cluster node (a server built with the cluster's code reports its status values
# all the same, wsrep_ready OFF among them).
[ "$cluster" = ON ] || exit 0
# wsrep_reject_queries (the administrator draining a node) also answers with 1047.
[ "$state" = 4 ] && [ "$ready" = ON ] && [ "$reject" = NONE ]
