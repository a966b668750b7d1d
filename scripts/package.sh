#!/usr/bin/env bash
# Makes the Debian package: a Release build for /usr with Debian's hardening flags, CPack's DEB generator
# (dependencies from dpkg-shlibdeps), then lintian and the package's contents. The package lands in
# build-package/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quill_install_packages "${QUILL_BUILD_PACKAGES[@]}" "${QUILL_PACKAGE_PACKAGES[@]}"

build="$QUILL_ROOT/build-package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S "$QUILL_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/quillmere_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quillmere_*_amd64.deb)

echo "== $deb"
dpkg-deb --field "$deb"
echo "== contents"
dpkg-deb --contents "$deb"
echo "== lintian"
# Errors fail the script; warnings and notes are printed (README, "Install", says which remain and why).
lintian --display-info --fail-on error "$deb"
echo "lintian: no errors"
