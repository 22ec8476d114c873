#!/bin/sh
# The pictures' part of tools/screenshot.sh, run inside its namespace: a musician's home of its
# own, a small library there of items imported from the built-in software keyboard by
# nvbman-cli, then the window drawn by nvbman-screenshot, in English and in Japanese.
#     screenshot-inside.sh BUILD IMAGES
set -eu
build=$1 images=$2
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
    echo "saved window-$language.png"
done
