#!/bin/sh
# Takes README's screenshot: the real window, under a virtual X server, after Get/Update List
# against the built-in software keyboard. Run after a build (README's first command):
#     tools/screenshot.sh [PROGRAM] [FILE]
set -eu
cd "$(dirname "$0")/.."
program=${1:-build/app/nvbman}
file=${2:-docs/screenshot.png}
tools/window-e2e.sh --program "$(realpath "$program")" --screenshot "$(realpath -m "$file")"
