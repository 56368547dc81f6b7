#!/usr/bin/env bash
# Checks that a Windows program's folder is complete: lists the DLLs that each program and
# DLL in it imports (their import tables, read with objdump from Debian's mingw-w64
# binutils) and names every DLL that is neither in the folder nor part of Windows
# (packaging/windows/system-dlls.txt). Windows looks for a program's DLLs in the program's
# own folder and in its system folders, so FOLDER is the one holding the program; files in
# its subfolders (Qt's plug-ins) find their DLLs there too. Names are compared without
# regard to case, as Windows does. DLLs that are only loaded by name at run time (the
# MariaDB client library) or delay-loaded are not in the import tables: check those by hand.
#
# usage: scripts/check-pe-imports.sh [--quiet] FOLDER
#   --quiet  name only what is missing, not every import
# Exit status 0 when every import is found, 1 when one is missing or a file cannot be read
# as a Windows program or DLL, 2 on wrong use. OBJDUMP names another objdump.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
system_list=$here/packaging/windows/system-dlls.txt
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

say() { echo "check-pe-imports: $*"; }
usage() {
    echo "usage: $0 [--quiet] FOLDER" >&2
    exit 2
}

quiet=0
if [ "${1:-}" = --quiet ]; then
    quiet=1
    shift
fi
[ $# -eq 1 ] || usage
folder=${1%/}
[ -d "$folder" ] || {
    say "$folder is not a folder" >&2
    exit 2
}
command -v "$objdump" >/dev/null || {
    say "$objdump not found (Debian: apt-get install binutils-mingw-w64-x86-64)" >&2
    exit 2
}

# The patterns of Windows' own DLLs, lower case, `*` as a wildcard.
system_patterns=()
while IFS= read -r line; do
    line=${line%%#*}
    line=${line//[[:space:]]/}
    [ -n "$line" ] && system_patterns+=("$line")
done <"$system_list"

is_system() {
    local pattern
    for pattern in "${system_patterns[@]}"; do
        # shellcheck disable=SC2053 # the pattern is a glob on purpose
        [[ $1 == $pattern ]] && return 0
    done
    return 1
}

# What the folder itself holds, by lower-case name.
declare -A present=()
while IFS= read -r -d '' file; do
    name=${file##*/}
    present[${name,,}]=1
done < <(find "$folder" -maxdepth 1 -type f -print0)

binaries=()
while IFS= read -r -d '' file; do
    binaries+=("$file")
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
if ((${#binaries[@]} == 0)); then
    say "no program or DLL (*.exe, *.dll) in $folder"
    exit 1
fi

missing=()
unreadable=0
for file in "${binaries[@]}"; do
    relative=${file#"$folder"/}
    if ! dump=$(LC_ALL=C "$objdump" -p "$file" 2>&1) || ! grep -q 'file format pei-' <<<"$dump"; then
        say "cannot read $relative as a Windows program or DLL: $(head -n1 <<<"$dump")"
        unreadable=$((unreadable + 1))
        continue
    fi
    ((quiet)) || echo "$relative"
    while IFS= read -r dll; do
        [ -n "$dll" ] || continue
        lower=${dll,,}
        if [ -n "${present[$lower]:-}" ]; then
            where="in the folder"
        elif is_system "$lower"; then
            where="Windows"
        else
            where="MISSING"
            missing+=("$dll, imported by $relative")
        fi
        ((quiet)) || printf '    %-40s %s\n' "$dll" "$where"
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr -d '\r')
done

for line in "${missing[@]}"; do
    say "MISSING $line"
done
if ((${#missing[@]} || unreadable)); then
    say "${#missing[@]} import(s) missing, $unreadable file(s) unreadable, in ${#binaries[@]} file(s) of $folder"
    exit 1
fi
say "every DLL that the ${#binaries[@]} file(s) of $folder import is in the folder or part of Windows"
