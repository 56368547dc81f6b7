#!/usr/bin/env bash
# scripts/check-pe-imports.sh on small Windows programs and DLLs built here with mingw-w64:
# folders that are complete, and folders that lack a DLL in the ways a deployment does.
#
# usage: tst_peimports.sh WORK_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
check=$here/scripts/check-pe-imports.sh
work=${1:?usage: tst_peimports.sh WORK_FOLDER}
cc=x86_64-w64-mingw32-gcc
dlltool=x86_64-w64-mingw32-dlltool

command -v "$cc" >/dev/null || {
    echo "FAIL: $cc not found (scripts/install-deps.sh installs mingw-w64)"
    exit 1
}
rm -rf "$work"
mkdir -p "$work/src" "$work/bin"
cd "$work/src"

# An import library for a DLL that is never built: the program names it, nothing provides it.
import_lib() { # DLL SYMBOL
    printf 'LIBRARY %s\nEXPORTS\n%s\n' "$1" "$2" >"$1.def"
    "$dlltool" --input-def "$1.def" --output-lib "lib$1.a" --dllname "$1"
}

cat >present.c <<'EOF'
__declspec(dllexport) int present(void) { return 1; }
EOF
cat >uses_present.c <<'EOF'
#include <windows.h>
__declspec(dllimport) int present(void);
int main(void) { return present() + GetSystemMetrics(0); }
EOF
cat >plugin.c <<'EOF'
__declspec(dllimport) int present(void);
__declspec(dllexport) int plugin(void) { return present(); }
EOF
cat >uses.c <<'EOF'
int imported(void);
int main(void) { return imported(); }
EOF
cat >forwards.c <<'EOF'
int imported(void);
__declspec(dllexport) int forwards(void) { return imported(); }
EOF
cat >uses_forwards.c <<'EOF'
__declspec(dllimport) int forwards(void);
int main(void) { return forwards(); }
EOF

"$cc" -shared -o present.dll present.c -Wl,--out-implib,libpresent.a
"$cc" -o uses-present.exe uses_present.c -L. -lpresent
"$cc" -shared -o plugin.dll plugin.c -L. -lpresent
import_lib gone.dll imported
"$cc" -shared -o forwards.dll forwards.c -L. -lgone.dll -Wl,--out-implib,libforwards.a
"$cc" -o uses-forwards.exe uses_forwards.c -L. -lforwards
import_lib api-ms-win-crt-runtime-l1-1-0.dll imported
"$cc" -o uses-apiset.exe uses.c -L. -lapi-ms-win-crt-runtime-l1-1-0.dll
import_lib vcruntime140.dll imported
"$cc" -o uses-vcruntime.exe uses.c -L. -lvcruntime140.dll
echo "not a program" >not-a-program.txt

# name | files of the folder (NAME=SOURCE, or just NAME) | exit status | what the output
# must say, `;` between several. Each case also checks that nothing else is missing.
cases=(
    "complete|app.exe=uses-present.exe present.dll|0|every DLL"
    "the DLL is absent|app.exe=uses-present.exe|1|MISSING present.dll, imported by app.exe"
    "names differ in case|app.exe=uses-present.exe PRESENT.DLL=present.dll|0|every DLL"
    "the DLL only in a subfolder|app.exe=uses-present.exe plugins/present.dll=present.dll|1|MISSING present.dll, imported by app.exe"
    "a plug-in in a subfolder finds its DLL in the folder|app.exe=uses-present.exe present.dll plugins/platforms/plugin.dll|0|every DLL"
    "a plug-in's DLL only beside the plug-in|app.exe=uses-apiset.exe plugins/platforms/plugin.dll plugins/platforms/present.dll|1|MISSING present.dll, imported by plugins/platforms/plugin.dll"
    "a DLL of the folder lacks one of its own|app.exe=uses-forwards.exe forwards.dll|1|MISSING gone.dll, imported by forwards.dll"
    "API sets are part of Windows|app.exe=uses-apiset.exe|0|every DLL"
    "the C++ run-time is not part of Windows|app.exe=uses-vcruntime.exe|1|MISSING vcruntime140.dll, imported by app.exe"
    "a file that is not a program|app.exe=uses-present.exe present.dll broken.dll=not-a-program.txt|1|cannot read broken.dll"
    "no program at all|readme.txt=not-a-program.txt|1|no program or DLL"
)

failures=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name files want_status want_output <<<"$entry"
    folder=$work/bin/${name// /-}
    mkdir -p "$folder"
    for file in $files; do
        target=${file%%=*}
        source=${file#*=}
        mkdir -p "$(dirname "$folder/$target")"
        cp "$work/src/${source##*/}" "$folder/$target"
    done
    status=0
    output=$("$check" "$folder" 2>&1) || status=$?
    problems=()
    [ "$status" = "$want_status" ] || problems+=("exit status $status, expected $want_status")
    IFS=';' read -ra wanted <<<"$want_output"
    for text in "${wanted[@]}"; do
        grep -qF -- "$text" <<<"$output" || problems+=("output lacks \"$text\"")
    done
    expected_missing=$(grep -o 'MISSING [^;]*' <<<"$want_output" | sort || true)
    actual_missing=$(grep -o 'MISSING .*' <<<"$output" | sort || true)
    [ "$actual_missing" = "$expected_missing" ] || problems+=("missing: [$actual_missing], expected [$expected_missing]")
    if ((${#problems[@]})); then
        failures=$((failures + 1))
        echo "FAIL: $name: ${problems[*]}"
        sed 's/^/    | /' <<<"$output"
    else
        echo "PASS: $name"
    fi
done
((failures == 0)) || exit 1
