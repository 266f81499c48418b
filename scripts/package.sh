#!/usr/bin/env bash
# Builds the Debian package build-package/jeerbox_<version>_<arch>.deb from the tree: installs
# what is missing, builds the programs with the test suite's flags (so the compiler cache
# serves what ./test.sh compiled), and packs them with cpack, whose dpkg-shlibdeps computes the
# dependencies. Install it with: sudo apt install ./build-package/jeerbox_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_missing
build build-package -DJEERBOX_TESTS=OFF
(cd build-package && cpack -G DEB)
