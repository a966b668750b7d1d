#!/usr/bin/env bash
# Installs what is missing, builds, makes the sample installation when none is registered, and
# starts Quillmere.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quill_install_packages "${QUILL_BUILD_PACKAGES[@]}" "${QUILL_RUN_PACKAGES[@]}"
quill_build default

bin="$QUILL_ROOT/build/src/app/quillmere"
admin="$QUILL_ROOT/build/component/nlsxbe-admin"
lib="$QUILL_ROOT/build/component/libnlsxbe.so"
sample="${XDG_DATA_HOME:-$HOME/.local/share}/quillmere/sample"

# The installation counts as registered when the session class names a library file that exists.
registry="${XDG_CONFIG_HOME:-$HOME/.config}/quillmere/registry.reg"
registered=$(awk '
    /^\[/ { inkey = (tolower($0) ~ /inprocserver32\]$/) }
    inkey && /^@="/ { v = substr($0, 4, length($0) - 4); gsub(/\\\\/, "\\", v); print v }' "$registry" 2>/dev/null || true)
if [ -z "$registered" ] || [ ! -f "$registered" ]; then
    echo "No Domino installation registered: installing the sample into $sample"
    rm -rf "$sample"
    mkdir -p "$(dirname "$sample")"
    "$admin" sample "$sample"
    "$admin" install --domino "$(dirname "$lib")" --notes "$(dirname "$lib")" --data "$sample" --library "$lib"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY is not set). Start Quillmere under a virtual display instead:"
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' $bin"
    echo "or from a desktop session:  $bin"
    exit 0
fi
exec "$bin"
