#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer build, and runs every test in both.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quill_install_packages "${QUILL_BUILD_PACKAGES[@]}" "${QUILL_TEST_PACKAGES[@]}"

cd "$QUILL_ROOT"
quill_build ci
ctest --preset ci
quill_build asan
ctest --preset asan
