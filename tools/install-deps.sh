#!/bin/sh
# Installs the Debian 12 packages NvbMan needs to build, run and test, leaving alone what is
# already there. Uses sudo when not run as root.
set -eu

packages="build-essential cmake ninja-build pkg-config qt6-base-dev libqt6sql6-sqlite librtmidi-dev
libjack-jackd2-dev jackd2 libbenchmark-dev xvfb xauth fonts-noto-cjk
clang libclang-rt-14-dev qt6-svg-dev qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
qt6-qpa-plugins dbus at-spi2-core python3-pyatspi python3-pil desktop-file-utils appstream
dpkg-dev file pipewire pipewire-jack shared-mime-info xdg-utils libfile-mimeinfo-perl
libasound2-dev qemu-system-x86 busybox-static alsa-utils cpio kmod bash-completion ccache poppler-utils zsh"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
echo "Installing:$missing"
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
