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
# Its screenshots are the manual's two pictures, the English window first.
for picture in window-en window-ja; do
    if ! grep -q "/images/$picture.png</image>" /usr/share/metainfo/com.velta.nvbman.metainfo.xml; then
        echo "package-test: the metainfo does not list $picture.png" >&2
        exit 1
    fi
done
for program in nvbman nvbman-cli nvbman-kbdsim; do
    "$program" --version
done
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    nvbman-cli --quiet --in built-in --out built-in list
# The ".nvb" file type: a file is known by its header alone and by its name alone.
printf 'VELTA Music Lib\000\000\000\000\074' >"$home/item-without-extension"
printf 'anything' >"$home/named.nvb"
for file in "$home/item-without-extension" "$home/named.nvb"; do
    type=$(xdg-mime query filetype "$file")
    if [ "$type" != application/x-nvbman-nvb ]; then
        echo "package-test: $file is $type, not application/x-nvbman-nvb" >&2
        exit 1
    fi
done
grep -q '^MimeType=application/x-nvbman-nvb;' /usr/share/applications/com.velta.nvbman.desktop
# The manual where Help and --help find it, whole, and the shell's completion where
# bash-completion loads it.
manual=$(nvbman-cli --help | sed -n 's/^The user manual: //p')
if [ "$manual" != /usr/share/nvbman/manual/en/index.html ]; then
    echo "package-test: --help names the manual \"$manual\"" >&2
    exit 1
fi
for file in en/index.html ja/index.html style.css images/window-en.png images/window-ja.png; do
    [ -s "/usr/share/nvbman/manual/$file" ] || { echo "package-test: no manual $file" >&2; exit 1; }
done
bash tests/cli/tst_completion.sh /usr/bin/nvbman-cli /usr/share/bash-completion/completions/nvbman-cli
zsh tests/cli/tst_completion.zsh /usr/bin/nvbman-cli /usr/share/zsh/vendor-completions/_nvbman-cli
rm -rf "$home"
tools/window-e2e.sh --program /usr/bin/nvbman

$as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq nvbman
if [ -e /usr/bin/nvbman ] || [ -e /usr/share/applications/com.velta.nvbman.desktop ] ||
    [ -e /usr/share/nvbman ]; then
    echo "package-test: files left after removal" >&2
    exit 1
fi
echo "package-test: installed, ran and removed cleanly"
