#!/usr/bin/env bash
# Makes the Debian package of the build with CPack and checks what apt will see: Debian's file name with
# the project's version, dependencies worked out from the linked libraries with the CJK font added, and
# the files the menu entry starts.
set -euo pipefail
cpack=$1 build=$2 version=$3 id=$4

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && "$cpack" -G DEB -B "$work" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
deb="$work/quillmere_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work")"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for name in libqt6widgets6 libqt6svg6 libsqlite3-0 libsodium23 libxlsxwriter4 fonts-noto-cjk; do
    grep -qE "(^|[ ,|])$name( |,|$)" <<<"$depends" || fail "Depends lacks $name: $depends"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in ./usr/bin/quillmere ./usr/bin/quillmere-export ./usr/bin/nlsxbe-admin "./usr/share/applications/$id.desktop"; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done
grep -qE '^\./usr/lib/.*quillmere/libnlsxbe\.so$' <<<"$contents" || fail "the package lacks the component library"
echo "package: $(basename "$deb")"
