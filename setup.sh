#!/bin/bash
# Quorvel's one set-up script for a Debian 12 machine.
#
#   ./setup.sh           install what is missing, configure and build into build/
#   ./setup.sh demo      ... then run the main job against the reference directory
#   ./setup.sh test      ... then run the whole test suite, in build/ and again
#                        in build-sanitize/ (AddressSanitizer and UBSan, with
#                        Clang also the fuzz targets, each briefly on its seeds)
#   ./setup.sh package   ... then build the Debian package build/quorvel_<version>_amd64.deb
#   ./setup.sh sanitized [--target T...]  only configure and build build-sanitize/
#
# Packages are installed with apt-get (as root, or through sudo) only when
# they are missing. Set QUORVEL_BUILD_DIR and QUORVEL_SANITIZE_BUILD_DIR to
# build elsewhere.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
BUILD_DIR=${QUORVEL_BUILD_DIR:-build}
SANITIZE_DIR=${QUORVEL_SANITIZE_BUILD_DIR:-build-sanitize}

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libldap-dev slapd ldap-utils 389-ds-base
  qt6-base-dev
  libsystemd-dev nlohmann-json3-dev
  googletest libgtest-dev libbenchmark-dev
  dpkg-dev file man-db groff-base systemd desktop-file-utils jq
  clang libclang-rt-14-dev
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

# The same program with AddressSanitizer and UndefinedBehaviorSanitizer. With
# Clang the folder also builds the libFuzzer targets of fuzz/. The console
# (Qt) is left out: its code is GUI glue over the library tested here, and
# the Qt libraries themselves are not built for the sanitizers.
build_sanitized() {
  if [ ! -f "$SANITIZE_DIR/build.ninja" ]; then
    local compilers=()
    if command -v clang++ >/dev/null 2>&1; then
      compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_FUZZ=ON)
    fi
    # Assertions on, -O1 and line tables: readable reports at a fraction of the compile time.
    cmake -S . -B "$SANITIZE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
      -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_CONSOLE=OFF "${compilers[@]}" ${QUORVEL_CMAKE_ARGS:-}
  fi
  cmake --build "$SANITIZE_DIR" -j "$(nproc)" "$@"
}

run_tests() {
  local status=0
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" || status=1
  build_sanitized
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:disable_coredump=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:abort_on_error=1} \
    ctest --test-dir "$SANITIZE_DIR" --output-on-failure -j "$(nproc)" || status=1
  return $status
}

install_packages
case "${1:-}" in
  sanitized) shift; build_sanitized "$@"; exit 0 ;;
esac
build
case "${1:-}" in
  "") ;;
  demo) exec ./scripts/demo.sh "$BUILD_DIR" ;;
  test) run_tests ;;
  package) exec cmake --build "$BUILD_DIR" --target package ;;
  *) echo "setup: unknown command '$1' (use demo, test, package or sanitized)" >&2; exit 2 ;;
esac
