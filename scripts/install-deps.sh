#!/usr/bin/env bash
# Installs the Debian packages needed to build, run, demo and test the program.
#
#   scripts/install-deps.sh               everything: the tests, the demo and CI included
#   scripts/install-deps.sh --build-only  only what building the learners' package needs
#                                         (README "Deploying", docs/deploy.md)
set -euo pipefail

# What a school needs to build its package: the compiler and CMake, the libraries the
# program links, Debian's packaging tools (cpack -G DEB reads the libraries' packages).
build_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-private-dev qt6-webengine-dev libqt6opengl6-dev
    libmariadb-dev libcurl4-openssl-dev libpng-dev zlib1g-dev
    libavformat-dev libavcodec-dev libavutil-dev # orvyclass-check's media probe, in the package
    dpkg-dev
)
build_only=0
case "${1:-}" in
    "") ;;
    --build-only) build_only=1 ;;
    *) echo "usage: $0 [--build-only]" >&2; exit 2 ;;
esac

if ((build_only)); then
    packages=("${build_packages[@]}")
else
    packages=(
        "${build_packages[@]}"
        libmariadb3 mariadb-server mariadb-client
        fonts-noto-core fonts-noto-ui-core fonts-dejavu-core
        xvfb xauth openbox x11-utils ffmpeg imagemagick python3 openssl libgl1-mesa-dri
        clang libclang-rt-14-dev # fuzz targets (scripts/ci-fuzz.sh): clang's libFuzzer
        dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi
        ccache # CI's build folders share one compiler cache (.ci/run)
        file desktop-file-utils appstream xdotool fontconfig librsvg2-bin
        lintian # the package test checks the Debian package with it (scripts/ci-package.sh)
        gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 nsis 7zip # the Windows folder and installer, tried with stand-ins
        haproxy galera-4 rsync socat iproute2 procps # scale-out set (scripts/scale-out.sh): proxy, cluster, its state transfer
        nginx wrk # the lessons' videos (scripts/video-serve.sh; nginx, not nginx-light, has the slice module) and their load (bench/video)
        libxcb1-dev # the window-manager test reads the screen and talks to the manager over X
        wine wine64 g++-mingw-w64-x86-64-posix qt6-base-dev-tools # the Windows build, run under Wine (scripts/ci-windows.sh)
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
