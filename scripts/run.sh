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

if ! "$admin" status >/dev/null 2>&1; then
    echo "No Domino installation registered: installing the sample into $sample"
    rm -rf "$sample"
    "$admin" sample "$sample"
    "$admin" install --domino "$(dirname "$lib")" --notes "$(dirname "$lib")" --data "$sample/data" --library "$lib"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY is not set). Start Quillmere under a virtual display instead:"
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' $bin"
    echo "or from a desktop session:  $bin"
    exit 0
fi
exec "$bin"
