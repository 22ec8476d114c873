#!/bin/sh
# Makes the pictures of the window that README and the manual show, in English and in
# Japanese, from the real window under a virtual X server: a musician's home of its own (a
# private /home, so the PC pane shows no folder of this machine's), a small library there of
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
# A mount namespace of its own (no root needed): /home there is an empty tmpfs.
exec unshare --user --map-root-user --mount sh -eu -c '
build=$1 images=$2
mount -t tmpfs tmpfs /home
for language in en ja; do
    home=/home/musician
    rm -rf "$home"
    mkdir -p "$home/Music" "$home/.runtime"
    chmod 700 "$home/.runtime"
    case $language in
        ja) locale=ja_JP.UTF-8 ;;
        *) locale=C.UTF-8 ;;
    esac
    env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/.runtime" \
        "$build/app/nvbman-cli" --in built-in --out built-in --quiet \
        import tone:0 tone:1 tone:3 dsp:0 song:0 "$home/Music" >/dev/null
    (cd "$home/Music" && env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/.runtime" \
        LANG="$locale" QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1024x768x24" \
        "$build/tools/screenshot/nvbman-screenshot" "$images/window-$language.png")
    echo "saved $images/window-$language.png"
done
' screenshot "$build" "$images"
