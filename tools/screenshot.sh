#!/bin/sh
# Makes the pictures of the window that README and the manual show, in English and in
# Japanese, from the real window under a virtual X server (tools/screenshot-inside.sh): a
# musician's home of its own in a root of the usual folders alone, a small library there of
# items imported from the built-in software keyboard by nvbman-cli, the keyboard listed, and the
# keyboard pane's details view with its "On PC" column. Run after a build (README's first
# command):
#     tools/screenshot.sh [BUILD]
# Writes docs/manual/images/window-en.png and window-ja.png.
set -eu
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
images=$(pwd)/docs/manual/images
for program in "$build/app/nvbman-cli" "$build/tools/screenshot/nvbman-screenshot"; do
    [ -x "$program" ] || { echo "screenshot.sh: $program is not built" >&2; exit 1; }
done
mkdir -p "$images"
# A mount namespace of its own (no root needed) whose root holds the usual folders of a Debian
# system alone (the system's own bound in, /home an empty tmpfs), so that the PC pane shows no
# folder peculiar to the machine that draws the pictures. The build, the pictures' folder and
# the inside script are reached under /tmp there.
exec unshare --user --map-root-user --mount sh -eu -c '
build=$1 images=$2 inside=$3
root=$(mktemp -d)
mount -t tmpfs tmpfs "$root"
for dir in bin boot dev etc lib lib32 lib64 libx32 media mnt opt proc root run sbin srv sys \
    usr var; do
    if [ -L "/$dir" ]; then
        ln -s "$(readlink "/$dir")" "$root/$dir"
    elif [ -d "/$dir" ]; then
        mkdir "$root/$dir"
        mount --rbind "/$dir" "$root/$dir"
    fi
done
mkdir -p "$root/home" "$root/tmp/build" "$root/tmp/images"
touch "$root/tmp/inside.sh"
chmod 1777 "$root/tmp"
mount -t tmpfs tmpfs "$root/home"
mount --rbind "$build" "$root/tmp/build"
mount --bind "$images" "$root/tmp/images"
mount --bind "$inside" "$root/tmp/inside.sh"
exec chroot "$root" sh /tmp/inside.sh /tmp/build /tmp/images
' screenshot "$build" "$images" "$(pwd)/tools/screenshot-inside.sh"
