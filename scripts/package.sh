#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package
# build/lentavio_<version>-1_<arch>.deb, then checks it with lintian.
# Install it with: sudo apt-get install ./build/lentavio_*.deb
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages dpkg-dev file fakeroot lintian desktop-file-utils appstream
build -DCMAKE_BUILD_TYPE=Release

step "Checking the desktop entries and the metainfo"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$BUILD_DIR" --prefix /usr >/dev/null || fail "staged install"
desktop-file-validate "$stage"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$stage"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"

step "Building the package"
(cd "$BUILD_DIR" && cpack -G DEB) || fail "cpack"
package=$(ls -t "$BUILD_DIR"/lentavio_*.deb | head -n 1)

step "Checking $package with lintian"
lintian --fail-on error "$package" || fail "lintian reports errors"
step "Built $package"
