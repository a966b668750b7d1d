#!/usr/bin/env bash
# Installs the build below a temporary DESTDIR and checks what an installed user meets: exactly the files
# a package carries, the desktop entry and metadata as the desktop's validators see them, and the
# README's Install commands run from the installed tree.
set -euo pipefail
cmake=$1 build=$2 prefix=$3 id=$4 version=$5 bindir=$6 datadir=$7 mandir=$8 componentdir=$9 source=${10}

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian packages desktop-file-utils, appstream)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/stage" "$cmake" --install "$build" >/dev/null
root="$work/stage$prefix"

desktop="$datadir/applications/$id.desktop"
metainfo="$datadir/metainfo/$id.metainfo.xml"
expected=(
    "$bindir/quillmere"
    "$bindir/quillmere-export"
    "$bindir/nlsxbe-admin"
    "$componentdir/libnlsxbe.so"
    "$desktop"
    "$datadir/icons/hicolor/scalable/apps/$id.svg"
    "$metainfo"
    "$mandir/man1/quillmere.1.gz"
    "$mandir/man1/quillmere-export.1.gz"
    "$mandir/man1/nlsxbe-admin.1.gz"
    "$datadir/doc/quillmere/copyright"
    "$datadir/doc/quillmere/changelog.gz"
    "$datadir/doc/quillmere/用户手册.md"
    "$datadir/doc/quillmere/user-guide.html"
    "$datadir/doc-base/quillmere-user-guide"
)
# The guide's page opens offline: every picture and link it has resolves in the installed folder.
doc="$root/$datadir/doc/quillmere"
[ -f "$doc/user-guide.html" ] || fail "the user guide's page is not installed"
out=$(/usr/bin/python3 "$source/tests/docs/check_guide.py" "$source" --page "$doc/user-guide.html" 2>&1) ||
    fail "the installed guide: $out"
index=$(sed -n 's/^Index: //p' "$root/$datadir/doc-base/quillmere-user-guide")
[ "$index" = "$prefix/$datadir/doc/quillmere/user-guide.html" ] || fail "doc-base registers $index"
while read -r picture; do
    expected+=("$datadir/doc/quillmere/$picture")
done < <(grep -o 'src="screenshots/[^"]*"' "$doc/user-guide.html" | sed 's/^src="//; s/"$//' | sort -u |
    while read -r p; do [ -f "$doc/$p" ] && echo "$p"; done)
actual=$(cd "$root" && find . -type f -printf '%P\n' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$actual" = "$wanted" ] || fail "installed files differ from a package's:"$'\n'"$(diff <(echo "$wanted") <(echo "$actual"))"
for f in "$bindir/quillmere" "$bindir/quillmere-export" "$bindir/nlsxbe-admin"; do
    [ -x "$root/$f" ] || fail "$f is not executable"
done
for f in "$mandir/man1/quillmere.1.gz" "$mandir/man1/quillmere-export.1.gz" "$mandir/man1/nlsxbe-admin.1.gz" \
    "$datadir/doc/quillmere/changelog.gz"; do
    gzip -t "$root/$f" || fail "$f is not a gzip file"
done

out=$(desktop-file-validate "$root/$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$root/$metainfo" 2>&1) || fail "appstreamcli validate: $out"

# The menu starts the installed command with the installed icon; the metadata names that entry and this version.
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/$desktop")
[ -x "$root/$bindir/$exec_cmd" ] || fail "the desktop entry's command $exec_cmd is not installed in $bindir"
icon=$(sed -n 's/^Icon=//p' "$root/$desktop")
[ -f "$root/$datadir/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/$metainfo" || fail "metainfo names another desktop entry"
grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "metainfo does not name release $version"
zcat "$root/$datadir/doc/quillmere/changelog.gz" | head -1 | grep -qF "quillmere ($version)" ||
    fail "the changelog's latest entry is not $version"

admin="$root/$bindir/nlsxbe-admin"
[ "$("$admin" --version)" = "nlsxbe-admin $version" ] || fail "nlsxbe-admin --version says: $("$admin" --version)"
batch="$root/$bindir/quillmere-export"
[ "$("$batch" --version)" = "quillmere-export $version" ] || fail "quillmere-export --version says: $("$batch" --version)"

# The README's Install commands, with nothing but the installed tree: the sample installation is made and
# registered with the component that came with the tool, which must load.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
sample="$HOME/.local/share/quillmere/sample"
mkdir -p "$HOME"
"$admin" sample "$sample" >/dev/null
"$admin" install --data "$sample" >/dev/null
registry=$(tr -d '\r' <"$XDG_CONFIG_HOME/quillmere/registry.reg")
library=$(cd "$root/$componentdir" && pwd)/libnlsxbe.so
grep -qxF "@=\"$library\"" <<<"$registry" || fail "the registered component is not $library:"$'\n'"$registry"
grep -qxF "\"Path\"=\"${library%/*}\"" <<<"$registry" || fail "the installation's folder is not ${library%/*}"
grep -qxF "\"DataPath\"=\"$sample\"" <<<"$registry" || fail "the data folder is not $sample"
# The README's batch export, with the installed component.
"$batch" "$sample/crm.nsf" --view 全部 -o "$work/export" >/dev/null || fail "quillmere-export failed on the sample"
[ -f "$work/export/全部_开始为第1个文档.xls" ] || fail "quillmere-export wrote no workbook: $(ls "$work/export")"
echo "install layout: ${#expected[@]} files checked"
