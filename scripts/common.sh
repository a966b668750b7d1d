# Shared by the set-up scripts: install the Debian packages that are missing, then build.
set -euo pipefail

QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

QUILL_BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libqt6svg6 qt6-qpa-plugins libsqlite3-dev libsodium-dev libexpat1-dev libxlsxwriter-dev fonts-noto-cjk
    python3-markdown)
QUILL_RUN_PACKAGES=(xvfb xauth qt6-translations-l10n)
QUILL_TEST_PACKAGES=(xvfb xauth python3 python3-xlrd python3-xlwt python3-openpyxl python3-xlsxwriter python3-html5lib libspreadsheet-writeexcel-perl libole-storage-lite-perl
    libreoffice-calc-nogui desktop-file-utils appstream dpkg-dev file)
QUILL_PACKAGE_PACKAGES=(dpkg-dev file lintian)
# fuzz/run.sh only: the test command runs the fuzz targets over their corpora with gcc.
QUILL_FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm-14)

quill_install_packages() {
    local missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

quill_build() {
    local preset=$1
    cmake --preset "$preset" -S "$QUILL_ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
