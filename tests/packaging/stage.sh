#!/bin/bash
# Installs the build into a fresh staging root, as the Debian package does
# (prefix /usr), without touching the host.
#   stage.sh CMAKE BUILD_DIR STAGE
set -euo pipefail
cmake=$1 build=$2 stage=$3
case "$stage" in
  /*/stage) ;;
  *) echo "stage.sh: refusing to use '$stage' as the staging root" >&2; exit 1 ;;
esac
rm -rf "$stage"
mkdir -p "$stage"
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$stage.log" 2>&1 || {
  cat "$stage.log" >&2
  exit 1
}
echo "staged into $stage"
