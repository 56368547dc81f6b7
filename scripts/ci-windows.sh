#!/usr/bin/env bash
# The Windows program, built and checked on this Linux machine: cross-compiles it with
# the shared MinGW-w64 toolchain (../shared/windows-toolchain beside the repository; the
# browser engine left out on purpose, as Qt WebEngine cannot be built with MinGW), runs
# the tests that need neither X11 nor the engine under Wine, makes the Windows folder and
# the NSIS installer, then installs that under Wine and checks what a learner sees against
# a private database and web server on loopback: the maximized window at two screen
# sizes, a course chosen and its lessons, the player's message at a double click, the
# fatal start-up message when a table is missing, and the uninstall.
#
# WINDOWS_TOOLCHAIN: the toolchain's folder (default $repo/../shared/windows-toolchain).
# BUILD_DIR: where everything goes (default $repo/build-windows). Ports: 127.0.0.1 only.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain_dir=${WINDOWS_TOOLCHAIN:-$here/../shared/windows-toolchain}
work=${BUILD_DIR:-$here/build-windows}
build=$work/build
db_port=${WINDOWS_DB_PORT:-33071}
http_port=${WINDOWS_HTTP_PORT:-18771}
db_name=orvywin
db_password=OrvyWin2026xy # twelve characters or more, like the deployed one
started=$SECONDS

say() { echo "ci-windows: $*"; }
die() {
    echo "ci-windows: FAILED: $*" >&2
    exit 1
}

[ -f "$toolchain_dir/windows-toolchain.tar.xz" ] ||
    die "no toolchain at $toolchain_dir (WINDOWS_TOOLCHAIN names another folder)"
"$here/scripts/install-deps.sh"
for tool in wine x86_64-w64-mingw32-g++-posix makensis Xvfb openbox xdotool import mariadbd; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || die "$tool is missing after install-deps.sh"
done

# The toolchain, unpacked once per copy of the archive.
mkdir -p "$work"
stamp=$(sha256sum "$toolchain_dir/windows-toolchain.tar.xz" | cut -c1-16)
prefix=$work/windows-toolchain
if [ "$(cat "$work/toolchain.stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$prefix"
    tar -xJf "$toolchain_dir/windows-toolchain.tar.xz" -C "$work"
    echo "$stamp" >"$work/toolchain.stamp"
fi
[ -f "$prefix/mingw-w64-x86_64.cmake" ] || die "the archive holds no windows-toolchain/mingw-w64-x86_64.cmake"

# --- Build, tests, folder, installer ---------------------------------------------------
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
    -DORVY_WITHOUT_ENGINE=ON -DORVY_CHECK_MEDIA_PROBE=OFF \
    -DORVY_DB_HOST=127.0.0.1 -DORVY_DB_PORT="$db_port" -DORVY_DB_NAME="$db_name" \
    -DORVY_DB_PASSWORD="$db_password" >"$work/configure.log" 2>&1 ||
    die "configure: $(tail -20 "$work/configure.log")"
cmake --build "$build" -j "$(nproc)" >"$work/build.log" 2>&1 || die "build: $(grep -m5 -A5 'error' "$work/build.log")"
say "built in $((SECONDS - started)) s"

export WINEPREFIX=$work/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=;mshtml=' # no Mono or Gecko install prompts (no internet)
pids=()
cleanup() {
    local rc=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A fresh Windows for every run: nothing of an earlier install stays.
rm -rf "$WINEPREFIX"
wine wineboot --init >"$work/wineboot.log" 2>&1 || true
wineserver -w
[ -d "$WINEPREFIX/drive_c/windows" ] || die "wineboot made no Windows folder: $(tail -5 "$work/wineboot.log")"

# An X server of this script's own, on the first free display from :70; openbox
# maximizes the windows as a Windows desktop would, and xdotool sees each of them.
xserver_pid="" wm_pid=""
start_x() { # WIDTHxHEIGHT
    stop_x
    local n
    for n in $(seq 70 99); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
        xserver_pid=$!
        for _ in $(seq 1 50); do
            xdpyinfo -display ":$n" >/dev/null 2>&1 && break
            kill -0 "$xserver_pid" 2>/dev/null || break
            sleep 0.1
        done
        if xdpyinfo -display ":$n" >/dev/null 2>&1; then
            export DISPLAY=":$n"
            pids+=("$xserver_pid")
            openbox >"$work/openbox.log" 2>&1 &
            wm_pid=$!
            pids+=("$wm_pid")
            sleep 1
            return 0
        fi
    done
    die "no X server could start on :70 to :99"
}
stop_x() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -n "$wm_pid" ] && { kill "$wm_pid" 2>/dev/null || true; wait "$wm_pid" 2>/dev/null || true; }
    [ -n "$xserver_pid" ] && { kill "$xserver_pid" 2>/dev/null || true; wait "$xserver_pid" 2>/dev/null || true; }
    wm_pid="" xserver_pid=""
}

start_x 1280x800
(cd "$build" && ctest -j2 --timeout 300 >"$work/ctest.log" 2>&1) || {
    cat "$work/ctest.log" >&2
    # Qt Test's own report is in a file beside each test (stdout is lost under Wine).
    find "$build/tests" -name 'tst_*.txt' -exec grep -H -B2 -A4 'FAIL!' {} + >&2 || true
    die "tests under Wine"
}
say "tests under Wine: $(grep -E 'tests passed' "$work/ctest.log")"

dist=$work/dist
rm -rf "$dist"
cmake --install "$build" --prefix "$dist" >"$work/install.log" 2>&1 || die "install: $(tail -20 "$work/install.log")"
"$here/scripts/check-pe-imports.sh" --quiet "$dist/bin" || die "the Windows folder lacks a DLL"
for file in OrvyClass.exe libmariadb.dll qt.conf plugins/platforms/qwindows.dll \
    fonts/NotoKufiArabic-Bold.ttf fonts/NotoKufiArabic-LICENSE.txt; do
    [ -f "$dist/bin/$file" ] || die "the Windows folder lacks $file"
done
grep -q 'SIL Open Font License' "$dist/bin/fonts/NotoKufiArabic-LICENSE.txt" || die "the font's licence is not the OFL"
rm -f "$build"/orvyclass-*-win64.exe
(cd "$build" && cpack -G NSIS >"$work/cpack.log" 2>&1) || die "cpack: $(tail -20 "$work/cpack.log")"
installer=$(ls "$build"/orvyclass-*-win64.exe)
say "folder: $(find "$dist/bin" -type f | wc -l) files; installer $(basename "$installer"), $(stat -c %s "$installer") bytes"

# --- Servers: a private MariaDB and a web server for the banner, on loopback ------------
port_taken() { timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }
port_taken "$db_port" && die "port $db_port is taken (WINDOWS_DB_PORT)"
port_taken "$http_port" && die "port $http_port is taken (WINDOWS_HTTP_PORT)"
state=$work/servers
rm -rf "$state"
mkdir -p "$state/media"
convert -size 960x360 gradient:'#0B3D5C'-'#16A085' PNG32:"$state/media/banner.png"
mariadb-install-db --no-defaults --datadir="$state/data" --user="$(id -un)" \
    --auth-root-authentication-method=normal --skip-test-db >"$state/install.log" 2>&1 ||
    die "mariadb-install-db: $(tail -5 "$state/install.log")"
/usr/sbin/mariadbd --no-defaults --datadir="$state/data" --user="$(id -un)" --bind-address=127.0.0.1 \
    --port="$db_port" --socket="$state/mysqld.sock" --pid-file="$state/mysqld.pid" --skip-name-resolve \
    --general-log=1 --general-log-file="$state/general.log" --log-error="$state/mysqld.err" \
    >>"$state/mysqld.err" 2>&1 &
pids+=($!)
sql() { mariadb --no-defaults -uroot --socket="$state/mysqld.sock" --connect-timeout=2 "$@"; }
for _ in $(seq 150); do
    sql -e 'SELECT 1' >/dev/null 2>&1 && port_taken "$db_port" && break
    sleep 0.2
done
sql -e 'SELECT 1' >/dev/null 2>&1 || die "the database server did not start: $(tail -5 "$state/mysqld.err")"
sql -e "CREATE DATABASE $db_name CHARACTER SET utf8mb4;
        CREATE USER '$db_name'@'127.0.0.1' IDENTIFIED BY '$db_password';
        GRANT SELECT ON $db_name.* TO '$db_name'@'127.0.0.1';"
sql "$db_name" <"$here/db/schema.sql"
sed "s#@HTTP@#http://127.0.0.1:$http_port#g" "$here/demo/seed.sql" | sql "$db_name"
python3 "$here/demo/serve.py" "$state/media" "$http_port" >"$state/http.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do port_taken "$http_port" && break; sleep 0.2; done
port_taken "$http_port" || die "the web server did not start: $(cat "$state/http.log")"

# --- Install under Wine ---------------------------------------------------------------
wine "$installer" /S >"$work/setup.log" 2>&1 || die "the silent install ended with status $?"
wineserver -w
program_files="$WINEPREFIX/drive_c/Program Files/Orvy Class"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvy Class/Orvy Class.lnk"
[ -f "$shortcut" ] || die "no Start-menu entry at ${shortcut#"$WINEPREFIX"/}"
# The program the shortcut names (its target path, stored as text in the .lnk).
target=$({ strings -n 8 "$shortcut"; strings -n 8 -e l "$shortcut"; } | grep -iE '^[a-z]:\\.*\\OrvyClass\.exe$' || true)
target=${target%%$'\n'*}
[ -n "$target" ] || die "the Start-menu entry names no OrvyClass.exe"
unix_target=$(winepath -u "$target" 2>/dev/null)
[ -f "$unix_target" ] || die "the Start-menu entry names $target, which is not installed"
for file in Uninstall.exe bin/OrvyClass.exe bin/libmariadb.dll bin/fonts/NotoKufiArabic-Bold.ttf; do
    [ -f "$program_files/$file" ] || die "the install lacks $file"
done
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvy Class' /v UninstallString \
    >/dev/null 2>&1 || die "the install is not in the list of installed programs"
say "installed silently: $target ($(find "$program_files" -type f | wc -l) files)"

# --- What a learner sees ----------------------------------------------------------------
shots=$work/screenshots
mkdir -p "$shots"
program_pid=""
start_program() {
    : >"$state/general.log"
    wine "$target" >"$work/program.log" 2>&1 &
    program_pid=$!
}
# The id of the visible window whose title is $1, waiting up to $2 seconds.
window_named() {
    local id
    for _ in $(seq 1 $(($2 * 5))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}
# Waits up to $1 seconds for the program to end; its exit status in program_rc, or dies.
program_end() {
    for _ in $(seq 1 $(($1 * 5))); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    kill -0 "$program_pid" 2>/dev/null && die "the program did not end within $1 s"
    program_rc=0
    wait "$program_pid" || program_rc=$?
    program_pid=""
}
logged() { grep -qiE "$1" "$state/general.log"; }
wait_logged() { # pattern seconds
    for _ in $(seq 1 $(($2 * 5))); do logged "$1" && return 0; sleep 0.2; done
    return 1
}
check_maximized() { # window size
    local geometry width height
    geometry=$(xwininfo -id "$1" | awk '/Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h}')
    width=${geometry%x*} height=${geometry#*x}
    # The whole width; the height less no more than openbox's title bar.
    [ "$width" -eq "${2%x*}" ] && [ "$height" -ge $((${2#*x} - 40)) ] ||
        die "the window is ${geometry} on a ${2} screen: not maximized"
    echo "$geometry"
}

for size in 1152x737 1366x768; do
    start_x "$size"
    start_program
    window=$(window_named "Orvy Class" 90) || die "no window \"Orvy Class\" within 90 s at $size: $(tail -5 "$work/program.log")"
    wait_logged 'FROM +`?courses' 30 || die "the program never asked for the courses"
    sleep 4 # the banner's fetch and the first paints
    geometry=$(check_maximized "$window" "$size")
    import -display "$DISPLAY" -window root "$shots/window-$size.png"
    say "$size: window $geometry, maximized; screenshot $shots/window-$size.png"
    if [ "$size" = 1366x768 ]; then
        # A course chosen from the keyboard: the course list opens on F4, a course is
        # picked with the arrow keys and Return, and its lessons are asked for.
        width=${geometry%x*}
        timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
        xdotool key F4
        sleep 1
        xdotool key Down Return
        wait_logged 'FROM +`?lessons' 30 || die "choosing a course did not list its lessons"
        sleep 2
        import -display "$DISPLAY" -window root "$shots/lessons-$size.png"
        say "a course chosen: its lessons asked for; screenshot $shots/lessons-$size.png"
        # A social link is handed to the system: Wine passes it to the host's browser
        # list, here a script that only writes it down (nothing leaves the machine).
        printf '#!/bin/sh\necho "$@" >>"%s"\n' "$work/opened-links.txt" >"$work/record-link.sh"
        chmod +x "$work/record-link.sh"
        rm -f "$work/opened-links.txt"
        wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$work/record-link.sh" /f \
            >/dev/null 2>&1 || die "cannot set Wine's browser list"
        # The Instagram icon, the middle one of the three at the bottom.
        xdotool mousemove --window "$window" $((width / 2 - 127)) 710 click 1
        for _ in $(seq 1 75); do
            grep -qF "http://127.0.0.1:$http_port/instagram" "$work/opened-links.txt" 2>/dev/null && break
            sleep 0.2
        done
        grep -qF "http://127.0.0.1:$http_port/instagram" "$work/opened-links.txt" 2>/dev/null ||
            die "a click on the Instagram icon handed no link to the system ($(cat "$work/opened-links.txt" 2>/dev/null))"
        say "the Instagram link handed to the system: $(head -n1 "$work/opened-links.txt")"
        # The lessons play in the engine, which this build lacks: a double click on the
        # first lesson (the list fills the right-hand panel under its two captions) gives
        # the player's message, and the program goes on.
        before=$(xdotool search --onlyvisible --name . 2>/dev/null | sort)
        xdotool mousemove --window "$window" $((width - 80)) 178 click --repeat 2 --delay 80 1
        message=""
        for _ in $(seq 1 75); do
            message=$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name . 2>/dev/null | sort) | head -n1)
            [ -n "$message" ] && break
            sleep 0.2
        done
        sleep 1
        import -display "$DISPLAY" -window root "$shots/play-$size.png"
        [ -n "$message" ] || die "a double click on a lesson showed no message (screenshot $shots/play-$size.png)"
        say "a double click on a lesson: message \"$(xdotool getwindowname "$message")\"; screenshot $shots/play-$size.png"
        xdotool windowactivate --sync "$message" key Return >/dev/null 2>&1 || true
        sleep 2
        kill -0 "$program_pid" 2>/dev/null || die "the program ended after the player's message"
        xdotool search --onlyvisible --name '^Orvy Class$' >/dev/null || die "the window is gone after the player's message"
        say "the program goes on after the player's message"
    fi
    timeout 10 xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 >/dev/null 2>&1 || true
    program_end 30
    [ "$program_rc" -eq 0 ] || die "the program ended with status $program_rc after its window was closed"
    say "$size: closed, status 0"
done

# The fatal start-up message when a table is missing: the program ends when it is
# dismissed, with status 1.
sql "$db_name" -e 'RENAME TABLE courses TO courses_gone'
start_x 1152x737
start_program
fatal=$(window_named "خطأ" 90) || {
    import -display "$DISPLAY" -window root "$shots/fatal.png"
    die "no fatal start-up message with the courses table missing (screenshot $shots/fatal.png)"
}
sleep 1
import -display "$DISPLAY" -window root "$shots/fatal.png"
xdotool windowactivate --sync "$fatal" key Return >/dev/null 2>&1 || true
program_end 30
[ "$program_rc" -eq 1 ] || die "after the fatal start-up message the program ended with status $program_rc, not 1"
say "a table missing: the fatal start-up message, then status 1; screenshot $shots/fatal.png"
sql "$db_name" -e 'RENAME TABLE courses_gone TO courses'
stop_x

# --- Uninstall ---------------------------------------------------------------------------
wine "C:\\Program Files\\Orvy Class\\Uninstall.exe" /S >"$work/uninstall.log" 2>&1 ||
    die "the silent uninstall ended with status $?"
wineserver -w # the uninstaller runs from a copy of itself in the temporary folder
left=$(find "$program_files" "$(dirname "$shortcut")" 2>/dev/null || true)
[ -z "$left" ] || die "the uninstall left: $left"
if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvy Class' >/dev/null 2>&1; then
    die "the uninstall left the entry in the list of installed programs"
fi
say "uninstalled silently: no file, Start-menu entry or list entry left"

say "done in $((SECONDS - started)) s"
