#!/bin/sh
# Builds NvbMan's Debian package, checks its desktop files, installs it with apt-get, runs the
# installed programs (the command-line tool and the window, over AT-SPI under Xvfb) and removes
# it again. Needs root (or sudo) for apt-get.
set -eu
cd "$(dirname "$0")/.."
as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"

deb=$(tools/build-package.sh)
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends Recommends

$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
desktop-file-validate /usr/share/applications/com.velta.nvbman.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.velta.nvbman.metainfo.xml
for program in nvbman nvbman-cli nvbman-kbdsim; do
    "$program" --version
done
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    nvbman-cli --quiet --in built-in --out built-in list
rm -rf "$home"
tools/window-e2e.sh --program /usr/bin/nvbman

$as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq nvbman
if [ -e /usr/bin/nvbman ] || [ -e /usr/share/applications/com.velta.nvbman.desktop ]; then
    echo "package-test: files left after removal" >&2
    exit 1
fi
echo "package-test: installed, ran and removed cleanly"
