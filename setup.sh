#!/bin/bash
# Quorvel's one set-up script for a Debian 12 machine.
#
#   ./setup.sh           install what is missing, configure and build into build/
#   ./setup.sh demo      ... then run the main job against the reference directory
#   ./setup.sh test      ... then run the whole test suite
#   ./setup.sh package   ... then build the Debian package build/quorvel_<version>_amd64.deb
#
# Packages are installed with apt-get (as root, or through sudo) only when
# they are missing. Set QUORVEL_BUILD_DIR to build elsewhere.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
BUILD_DIR=${QUORVEL_BUILD_DIR:-build}

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libldap-dev slapd ldap-utils
  qt6-base-dev
  libsystemd-dev nlohmann-json3-dev
  googletest libgtest-dev libbenchmark-dev
  dpkg-dev file man-db groff-base systemd desktop-file-utils
)

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  echo "setup: installing $(echo $missing)"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  # shellcheck disable=SC2086
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends $missing
}

build() {
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUORVEL_CMAKE_ARGS:-}
  fi
  cmake --build "$BUILD_DIR" -j "$(nproc)"
}

install_packages
build
case "${1:-}" in
  "") ;;
  demo) exec ./scripts/demo.sh "$BUILD_DIR" ;;
  test) exec ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" ;;
  package) exec cmake --build "$BUILD_DIR" --target package ;;
  *) echo "setup: unknown command '$1' (use demo, test or package)" >&2; exit 2 ;;
esac
