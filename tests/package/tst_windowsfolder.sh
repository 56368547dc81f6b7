#!/usr/bin/env bash
# The Windows folder and installer, made by the project's CMake code for a stand-in of the
# program built with mingw-w64 (tests/package/windows): the folder gets every DLL the
# program, its plug-in and the client library import, including those of libraries found
# by FindPNG and FindZLIB and what those import in turn; an install that would leave a DLL
# out fails and names it; the NSIS installer carries the folder, installs for all users
# into Program Files, makes a Start-menu entry and an uninstaller. Running the installer
# needs Windows, which this test has not.
#
# usage: tst_windowsfolder.sh WORK_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:?usage: tst_windowsfolder.sh WORK_FOLDER}
standin=$here/tests/package/windows
toolchain=$standin/mingw-toolchain.cmake
check=$here/scripts/check-pe-imports.sh

failures=0
fail() {
    failures=$((failures + 1))
    echo "FAIL: $*"
}
for tool in x86_64-w64-mingw32-gcc makensis 7zz; do
    command -v "$tool" >/dev/null || {
        echo "FAIL: $tool not found (scripts/install-deps.sh installs it)"
        exit 1
    }
done

rm -rf "$work"
prefix=$work/prefix
cmake -S "$standin/thirdparty" -B "$work/thirdparty" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" >"$work.log" 2>&1 &&
    cmake --build "$work/thirdparty" >>"$work.log" 2>&1 &&
    cmake --install "$work/thirdparty" >>"$work.log" 2>&1 || {
    cat "$work.log"
    echo "FAIL: the stand-in libraries did not build"
    exit 1
}

# name | extra configure options | what the install must do: "complete", or "fails:TEXT"
# with TEXT in its message
cases=(
    "complete|-DMARIADB_CLIENT_DLL=$prefix/client/lib/libmariadb.dll|complete"
    "a DLL found nowhere|-DMARIADB_CLIENT_DLL=$prefix/client/lib/libmariadb.dll -DSTANDIN_IMPORT_NOWHERE=ON|fails:needs nowhere.dll"
    "no client library|-DMARIADB_CLIENT_DLL=|fails:lack libmariadb.dll"
)
for entry in "${cases[@]}"; do
    IFS='|' read -r name options want <<<"$entry"
    failures_before=$failures
    build=$work/${name// /-}
    dist=$build/dist
    # shellcheck disable=SC2086 # options are separate words
    if ! cmake -S "$standin/program" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_FIND_ROOT_PATH="$prefix" -DStandInEngine_DIR="$prefix/engine/lib/cmake/StandInEngine" \
        -DORVY_SOURCE_DIR="$here" -DCMAKE_INSTALL_PREFIX="$dist" $options >"$build.log" 2>&1 ||
        ! cmake --build "$build" >>"$build.log" 2>&1; then
        fail "$name: the stand-in program did not build"
        sed 's/^/    | /' "$build.log"
        continue
    fi
    status=0
    cmake --install "$build" >"$build.install.log" 2>&1 || status=$?
    if [ "$want" != complete ]; then
        text=${want#fails:}
        if [ "$status" = 0 ]; then
            fail "$name: the install succeeded"
        elif ! tr -s ' \n' ' ' <"$build.install.log" | grep -qF -- "$text"; then
            fail "$name: the install's message lacks \"$text\""
            sed 's/^/    | /' "$build.install.log"
        else
            echo "PASS: $name: the install fails and says \"$text\""
        fi
        continue
    fi

    if [ "$status" != 0 ]; then
        fail "$name: the install failed"
        sed 's/^/    | /' "$build.install.log"
        continue
    fi
    for file in OrvyClass.exe orvybrowserengine.dll libmariadb.dll libclientdep.dll libpng16.dll zlib1.dll \
        standinengine.dll; do
        [ -f "$dist/bin/$file" ] || fail "$name: the folder lacks $file"
    done
    "$check" --quiet "$dist/bin" >"$build.check.log" 2>&1 || {
        fail "$name: the folder's check fails"
        sed 's/^/    | /' "$build.check.log"
    }

    # The installer, from the same folder.
    if ! (cd "$build" && cpack -G NSIS) >"$build.cpack.log" 2>&1; then
        fail "$name: cpack -G NSIS failed"
        sed 's/^/    | /' "$build.cpack.log" "$build/_CPack_Packages/win64/NSIS/NSISOutput.log" | tail -40
        continue
    fi
    installer=$(ls "$build"/orvyclass-*-win64.exe)
    listing=$(7zz l -ba "$installer" | awk '{print $NF}')
    for entry_file in bin/OrvyClass.exe bin/orvybrowserengine.dll bin/libmariadb.dll bin/libpng16.dll \
        bin/zlib1.dll Uninstall.exe; do
        grep -qxF "$entry_file" <<<"$listing" || fail "$name: the installer lacks $entry_file"
    done
    7zz x -y -o"$build/unpacked" "$installer" >/dev/null
    "$check" --quiet "$build/unpacked/bin" >"$build.check-installer.log" 2>&1 || {
        fail "$name: the folder in the installer fails the check"
        sed 's/^/    | /' "$build.check-installer.log"
    }
    # What the installer does, as its script says (running it needs Windows).
    script=$build/_CPack_Packages/win64/NSIS/project.nsi
    # shellcheck disable=SC2016 # the script's own $ variables, not the shell's
    expected=(
        'RequestExecutionLevel admin'
        'InstallDir "$PROGRAMFILES64\Orvy Class"'
        'SetShellVarContext all'
        'CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Orvy Class.lnk" "$INSTDIR\bin\OrvyClass.exe"'
        'WriteUninstaller "$INSTDIR\Uninstall.exe"'
        'Push "$INSTDIR\bin\OrvyClass.exe"'
        'StrCmp "ON" "ON" 0 inst'
        "!define MUI_ICON \"$here/packaging/windows/orvyclass.ico\""
    )
    for line in "${expected[@]}"; do
        grep -qF -- "$line" "$script" || fail "$name: the installer's script lacks: $line"
    done
    # The administrator check comes before the earlier version's uninstaller runs.
    admin_at=$(grep -nF 'UserInfo::GetAccountType' "$script" | head -1 | cut -d: -f1)
    uninstall_at=$(grep -nF 'StrCmp "ON" "ON" 0 inst' "$script" | head -1 | cut -d: -f1)
    [ -n "$admin_at" ] && [ -n "$uninstall_at" ] && ((admin_at < uninstall_at)) ||
        fail "$name: the administrator check (line ${admin_at:-none}) does not come before the uninstall of the earlier version (line ${uninstall_at:-none})"
    ((failures > failures_before)) ||
        echo "PASS: $name: $(find "$dist/bin" -type f | wc -l) files, installer $(basename "$installer")"
done
((failures == 0)) || exit 1
