#!/usr/bin/env bash
# CI: the Debian package, tested the way a learner gets it and a school updates it. Builds
# the package with its database settings pointing at a private catalogue server
# (tests/package), checks it with lintian (no error or warning) and validates its desktop
# entry and metainfo, installs it with apt, starts the installed program from its
# installed path under Xvfb and a window manager, and checks that its window shows with
# the course list filled. Then builds it again with other database settings (another
# catalogue and account on the same server, a password with characters the shell and SQL
# treat specially), installs that over the first with a plain `apt-get install`, and
# checks that the program now shows the other catalogue through the other account.
# Finally removes the package.
#
# It builds in a folder of its own (PACKAGE_BUILD_DIR, default build-package/), never in the
# tests' build/: the catalogue servers in servers/ (that one target of the tests), the
# package in school/, configured as the guide's command does (no tests), with the
# database settings of each run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${PACKAGE_BUILD_DIR:-$here/build-package}
servers_build=$root/servers
build=$root/school
work=$root/package-test
package=orvyclass

say() { echo "ci-package: $*"; }
die() { echo "ci-package: FAILED: $*" >&2; exit 1; }

# Runs inside the X session: the installed program's window, its lists, its closing.
if [ "${1:-}" = --window-check ]; then
    program=$2 courses=$3 general_log=$4
    visible() { xdotool search --onlyvisible --class '^OrvyClass$' 2>/dev/null | sort || true; }
    # wait_for SECONDS WHAT COMMAND...: until the command succeeds, or fails the test.
    wait_for() {
        local seconds=$1 what=$2
        local deadline=$((SECONDS + seconds))
        shift 2
        until "$@"; do
            ((SECONDS < deadline)) || die "$what, not within $seconds s"
            sleep 0.1
        done
    }
    "$program" >"$work/program.log" 2>&1 &
    pid=$!
    window=""
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || die "the program ended before its window showed: $(tail -5 "$work/program.log")"
        window=$(visible | head -n1)
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || die "no window within 60 s"
    maximized() { xprop -id "$window" _NET_WM_STATE 2>/dev/null | grep -q '_NET_WM_STATE_MAXIMIZED_HORZ'; }
    wait_for 30 "the window maximized" maximized
    # The course list is filled from the start-up's query: wait until the server has it.
    courses_asked() { grep -q 'Query[[:space:]]*SELECT \* FROM courses$' "$general_log"; }
    wait_for 60 "the courses asked for" courses_asked
    xprop -id "$window" WM_CLASS WM_NAME _NET_WM_ICON _NET_WM_STATE >"$work/window.props" 2>&1 || true
    grep -q '^WM_CLASS(STRING) = "OrvyClass", "OrvyClass"' "$work/window.props" ||
        die "window class is not OrvyClass (the desktop entry's StartupWMClass): $(head -1 "$work/window.props")"
    grep -q '^WM_NAME(STRING) = "Orvy Class"' "$work/window.props" || die "window title is not \"Orvy Class\""
    grep -q '^_NET_WM_ICON(CARDINAL) = ' "$work/window.props" || die "the window carries no icon"
    grep -q '_NET_WM_STATE_MAXIMIZED_HORZ' "$work/window.props" || die "the window is not maximized"
    # Only the main window: an error report would be a second window.
    [ "$(visible | wc -l)" -eq 1 ] || die "more than one window: an error was reported"

    # Open the list of my courses with F4 (it has the keyboard focus at start) and count
    # its lines: its items are drawn in its own colour (#16A085) on black. Until the list
    # shows every course (the answer may land after the list opened), close it and open
    # it again.
    before=$(visible)
    popup_gone() { [ -z "$(comm -13 <(echo "$before") <(visible))" ]; }
    bands=-1
    deadline=$((SECONDS + 60))
    while ((SECONDS < deadline)); do
        timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
        xdotool key F4
        popup=""
        for _ in $(seq 1 50); do
            popup=$(comm -13 <(echo "$before") <(visible) | head -n1)
            [ -n "$popup" ] && break
            sleep 0.1
        done
        [ -n "$popup" ] || continue
        import -window root "$work/window.png"
        geometry=$(xwininfo -id "$popup" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
            /Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h "+" x "+" y}')
        bands=$(convert "$work/window.png" -crop "$geometry" +repage -fuzz 25% -fill white -opaque '#16A085' \
            -fuzz 0 -fill black +opaque white -colorspace Gray -scale "1x${geometry#*x}!" -depth 8 txt:- |
            awk -F'[(,)]' 'NR > 1 { on = ($3 + 0 > 0); if (on && !was) n++; was = on } END { print n + 0 }')
        xdotool key Escape
        wait_for 10 "the course list closed" popup_gone
        [ "$bands" -eq "$courses" ] && break
    done
    ((bands >= 0)) || die "the course list did not open (screenshot: $work/window.png)"
    say "window $window shown maximized; the course list shows $bands of $courses courses"
    [ "$bands" -eq "$courses" ] || die "the course list shows $bands lines, the database has $courses courses"

    # Closing the window ends the program cleanly.
    timeout 10 xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 >/dev/null 2>&1 || true
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        die "the program did not end within 20 s of closing its window"
    fi
    wait "$pid" || die "the program ended with status $?: $(tail -5 "$work/program.log")"
    exit 0
fi

started=$SECONDS
"$here/scripts/install-deps.sh"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    die "$package is installed on this machine already; this test installs and removes it"
fi
cmake -S "$here" -B "$servers_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$servers_build" --target orvy_catalogue_servers

rm -rf "$work"
mkdir -p "$work"
server_pid=""
installed=0
cleanup() {
    local rc=$?
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    if ((installed)); then apt-get remove -y "$package" >/dev/null 2>&1 || true; fi
    exit "$rc"
}
trap cleanup EXIT

# The catalogues: a private database server with two read-only accounts, and the banner.
ORVY_TEST_TMP=$work/tmp "$servers_build/tests/package/orvy_catalogue_servers" "$work/servers.env" 1800 \
    >"$work/servers.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 300); do
    [ -s "$work/servers.env" ] && break
    kill -0 "$server_pid" 2>/dev/null || die "catalogue servers did not start: $(cat "$work/servers.log")"
    sleep 0.2
done
[ -s "$work/servers.env" ] || die "catalogue servers not ready within 60 s"
# shellcheck disable=SC1091
. "$work/servers.env"

# make_package NAME PASSWORD FOLDER: the package with that catalogue built in, checked
# before it is installed; its path in $deb.
make_package() {
    local name=$1 password=$2 out=$3
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_BUILD_TESTS=OFF \
        -DORVY_DB_HOST="$db_host" -DORVY_DB_PORT="$db_port" -DORVY_DB_NAME="$name" \
        -DORVY_DB_PASSWORD="$password" >/dev/null
    cmake --build "$build"
    (cd "$build" && cpack -G DEB -B "$out" >"$out.log" 2>&1) || die "cpack: $(cat "$out.log")"
    deb=$(ls "$out"/"$package"_*.deb 2>/dev/null) || die "cpack made no $package package"
    say "package $(basename "$deb"), $(stat -c %s "$deb") bytes"
    say "Depends: $(dpkg-deb -f "$deb" Depends)"

    # lintian: nothing at error or warning level.
    lintian --fail-on error,warning "$deb" >"$out.lintian" 2>&1 ||
        die "lintian: $(cat "$out.lintian")"
    say "lintian: ${out##*/}: $(grep -c '^[EW]:' "$out.lintian" || true) errors and warnings"
    local names
    names=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | sort)
    [ -z "$(uniq -d <<<"$names")" ] || die "Depends names $(uniq -d <<<"$names" | xargs) twice"

    # What it ships, checked before it is installed.
    rm -rf "$out/root"
    dpkg-deb -x "$deb" "$out/root"
    desktop=$(ls "$out"/root/usr/share/applications/*.desktop 2>/dev/null) || die "the package has no desktop entry"
    local metainfo
    metainfo=$(ls "$out"/root/usr/share/metainfo/*.metainfo.xml 2>/dev/null) || die "the package has no metainfo"
    # Clean: not even a hint (two main categories put the entry in two menus).
    local validated
    validated=$(desktop-file-validate "$desktop" 2>&1) || die "desktop-file-validate: $validated"
    [ -z "$validated" ] || die "desktop-file-validate: $validated"
    appstreamcli validate --no-net "$metainfo" >"$out.appstream" 2>&1 ||
        die "appstreamcli validate rejects the metainfo: $(cat "$out.appstream")"
    say "appstreamcli validate: $(tail -n1 "$out.appstream")"
    local command
    command=$(sed -n 's/^Exec=//p' "$desktop")
    [ -f "$out/root/usr/share/man/man1/$command.1.gz" ] || die "the package has no manual page for $command"
    # Nothing of the build machine's folders in what is installed.
    local leaked
    leaked=$(grep -rlaF -e "$build" -e "$here" "$out/root" || true)
    [ -z "$leaked" ] || die "the build's path is in ${leaked//$out\/root/}"
}

# run_installed NAME COURSES: the installed program, from its installed path, on a private
# X server with a window manager, shows the catalogue of account NAME. Root cannot run
# the browser's sandbox; its profile goes to the test's folder.
run_installed() {
    local name=$1 courses=$2
    : >"$general_log" # the server appends, so it keeps logging into the emptied file
    mkdir -p -m 700 "$work/xdg/runtime"
    QTWEBENGINE_DISABLE_SANDBOX=1 XDG_DATA_HOME=$work/xdg/data XDG_CACHE_HOME=$work/xdg/cache \
        XDG_CONFIG_HOME=$work/xdg/config XDG_RUNTIME_DIR=$work/xdg/runtime \
        timeout 180 "$here/tests/support/xsession.sh" --wm -- \
        env PACKAGE_BUILD_DIR="$root" bash "$0" --window-check "$program" "$courses" "$general_log"
    # The program read the lists through that read-only account, and no other.
    grep -q "Connect[[:space:]]*$name@" "$general_log" || die "no connection by $name in the server's log"
    ! grep "Connect[[:space:]]" "$general_log" | grep -v "Connect[[:space:]]*$name@" | grep -q . ||
        die "a connection by another account: $(grep "Connect[[:space:]]" "$general_log" | grep -v "$name@")"
    [ "$(grep -c 'Query[[:space:]]*SELECT \* FROM courses$' "$general_log")" -ge 2 ] ||
        die "the course lists were not queried"
    grep -q 'Query[[:space:]]*SELECT ctID, ctName FROM `classtype`$' "$general_log" ||
        die "the course types were not queried"
}

# The first package, installed with apt, which brings what Depends names.
make_package "$first_name" "$first_password" "$work/first"
first_deb=$deb
apt-get install -y "$first_deb" >"$work/apt-install.log" 2>&1 ||
    die "apt-get install: $(tail -20 "$work/apt-install.log")"
installed=1
say "installed size: $(dpkg-query -W -f='${Installed-Size}' "$package") KiB"
exec_name=$(sed -n 's/^Exec=//p' "$desktop")
program=$(command -v "$exec_name") || die "the desktop entry's Exec=$exec_name is not on PATH"
dpkg -L "$package" | grep -qx "$program" || die "$program does not belong to $package"
# The browser engine is a plug-in loaded at the first play, where the program looks for it;
# everything it links must come installed.
plugin=$(dirname "$program")/../lib/orvyclass/orvybrowserengine.so
[ -e "$plugin" ] || die "the browser engine plug-in is not installed next to the program"
dpkg -S "$(readlink -f "$plugin")" >/dev/null 2>&1 || die "$plugin does not belong to $package"
! ldd "$plugin" | grep -q 'not found' || die "the browser engine plug-in lacks: $(ldd "$plugin" | grep 'not found')"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 48x48 scalable; do
    ls /usr/share/icons/hicolor/$size/apps/"$icon".* >/dev/null 2>&1 || die "no $size icon named $icon"
done

# What the program loads by name at run time must come with a package Depends names.
depends=$(dpkg-deb -f "$first_deb" Depends)
for file in "$(ldconfig -p | awk '$1 == "libmariadb.so.3" { print $NF; exit }')" \
    /usr/lib/qt6/libexec/QtWebEngineProcess \
    "$(fc-match -f '%{file}' 'Noto Kufi Arabic:bold')" "$(fc-match -f '%{file}' 'Noto Sans Arabic')" \
    "$(fc-match -f '%{file}' 'DejaVu Sans')"; do
    [ -e "$file" ] || die "a run-time piece is missing: '$file'"
    owner=$(dpkg -S "$(readlink -f "$file")" 2>/dev/null | cut -d: -f1 | head -n1)
    [[ ", $depends," == *", $owner"[\ ,]* ]] || die "$file comes with $owner, which Depends does not name"
done
run_installed "$first_name" "$first_courses"
first_version=$(dpkg-query -W -f='${Version}' "$package")
say "version $first_version shows the first catalogue ($first_courses courses)"

# A later build with the other catalogue's settings, installed over the first the plain way.
make_package "$second_name" "$second_password" "$work/second"
second_deb=$deb
second_version=$(dpkg-deb -f "$second_deb" Version)
dpkg --compare-versions "$second_version" gt "$first_version" ||
    die "the later package's version $second_version does not sort after $first_version"
apt-get install -y "$second_deb" >"$work/apt-update.log" 2>&1 ||
    die "apt-get install of the later package: $(tail -20 "$work/apt-update.log")"
[ "$(dpkg-query -W -f='${Version}' "$package")" = "$second_version" ] ||
    die "apt kept $(dpkg-query -W -f='${Version}' "$package") over $second_version: $(tail -5 "$work/apt-update.log")"
run_installed "$second_name" "$second_courses"
say "version $second_version, installed over it, shows the second catalogue ($second_courses courses)"

apt-get remove -y "$package" >"$work/apt-remove.log" 2>&1 || die "apt-get remove: $(tail -20 "$work/apt-remove.log")"
installed=0
[ ! -e "$program" ] || die "$program is still there after the package's removal"
say "removed; passed in $((SECONDS - started)) s"
