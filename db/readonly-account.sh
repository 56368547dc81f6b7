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

sql=$(<"$template")
# Quoted replacements: bash 5.2 would otherwise read & in them as the matched text.
db=$(identifier "$ORVY_DB_NAME")
clients=$(identifier "$ORVY_DB_CLIENTS")
sql=${sql//@DB@/"$db"}
sql=${sql//@CLIENTS@/"$clients"}
sql=${sql//@PASSWORD_HASH@/"$hash"}
printf '%s\n' "$sql"
