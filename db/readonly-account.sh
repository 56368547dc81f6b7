#!/usr/bin/env bash
# Writes the SQL that creates the program's read-only account (db/readonly-account.sql,
# filled in) to standard output, for the server's administrator to run:
#
#   ORVY_DB_NAME=school ORVY_DB_PASSWORD='...' db/readonly-account.sh | sudo mariadb
#
# The values come from the environment, with the names the build uses:
#   ORVY_DB_NAME      the course database's name, also the account's user name
#   ORVY_DB_PASSWORD  the password built into the program
#   ORVY_DB_CLIENTS   where the learners connect from (default %: anywhere)
#   ORVY_DB_MAX_USER_CONNECTIONS  how many learners may have the program open at once,
#                     all together (default 1900; keep it below the server's max_connections)
# Create the database and load db/schema.sql into it first: the SQL checks that the
# database and its four tables are there before it creates anything, and stops with a
# clear error otherwise. It is safe to run again (to change the password or the limit).
#
# Any that is not set is asked for on the terminal (the password without echo); when the
# output goes into `mariadb -p`, which asks for its own password, set them all or write
# the SQL to a file first.
#
# Any password and name are safe: the names go into SQL as quoted identifiers (a `
# doubled), and the password not at all, only its mysql_native_password hash
# (SHA1(SHA1(password)), of the password's bytes as given), so no character of it can
# end the SQL text early or be read as an escape.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
template=$here/readonly-account.sql

die() {
    echo "readonly-account.sh: $*" >&2
    exit 1
}

# Asks on the terminal for a value not given in the environment.
ask() { # VARIABLE PROMPT [silent]
    local value=""
    { exec 3<>/dev/tty; } 2>/dev/null || die "$1 is not set, and there is no terminal to ask for it"
    printf '%s' "$2" >&3
    if [ "${3:-}" = silent ]; then
        IFS= read -rs value <&3
        printf '\n' >&3
    else
        IFS= read -r value <&3
    fi
    exec 3>&-
    printf -v "$1" '%s' "$value"
}

if [ -z "${ORVY_DB_NAME+set}" ]; then ask ORVY_DB_NAME "Course database name (also the user name): "; fi
if [ -z "${ORVY_DB_PASSWORD+set}" ]; then ask ORVY_DB_PASSWORD "Password built into the program: " silent; fi
if [ -z "${ORVY_DB_CLIENTS+set}" ]; then ORVY_DB_CLIENTS=%; fi
[ -n "$ORVY_DB_NAME" ] || die "ORVY_DB_NAME is empty"
[ -n "$ORVY_DB_PASSWORD" ] || die "ORVY_DB_PASSWORD is empty: the account needs a password"
[ -n "$ORVY_DB_CLIENTS" ] || die "ORVY_DB_CLIENTS is empty (% stands for anywhere)"
limit=${ORVY_DB_MAX_USER_CONNECTIONS-1900}
# A whole number from 1 up to the server's own ceiling for it; 0 would lift the limit.
[[ $limit =~ ^[0-9]{1,10}$ ]] && ((10#$limit >= 1 && 10#$limit <= 2147483647)) ||
    die "ORVY_DB_MAX_USER_CONNECTIONS must be a whole number from 1 to 2147483647, not '$limit'"
limit=$((10#$limit))

identifier() { # a name inside backticks: each backtick doubled
    local text=$1
    printf '%s' "${text//\`/\`\`}"
}

# SHA1 of the password's bytes, then SHA1 of that digest's 20 bytes, in upper case hex.
first=$(printf '%s' "$ORVY_DB_PASSWORD" | sha1sum)
first=${first%% *}
# shellcheck disable=SC2059 # the format is the digest as \xHH escapes, built here
second=$(printf "$(sed 's/../\\x&/g' <<<"$first")" | sha1sum)
second=${second%% *}
hash="*${second^^}"

# The name's bytes in hexadecimal: how the check looks the database up, with no quoting.
db_hex=$(printf '%s' "$ORVY_DB_NAME" | od -An -v -tx1 | tr -d ' \n')

# Without the template's comment lines: a value may hold a line break, which would end a
# comment and leave the rest of its line to be read as SQL.
sql=$(grep -v '^--' "$template")
# Quoted replacements: bash 5.2 would otherwise read & in them as the matched text.
db=$(identifier "$ORVY_DB_NAME")
clients=$(identifier "$ORVY_DB_CLIENTS")
sql=${sql//@DB@/"$db"}
sql=${sql//@DB_HEX@/"$db_hex"}
sql=${sql//@CLIENTS@/"$clients"}
sql=${sql//@MAX_USER_CONNECTIONS@/"$limit"}
sql=${sql//@PASSWORD_HASH@/"$hash"}
printf '%s\n' "$sql"
