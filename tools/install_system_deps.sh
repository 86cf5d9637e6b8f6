#!/bin/sh
# Installs the Debian packages the C++ side needs, when one is missing and we may (root).
set -e
need=""
for pkg in g++ cmake ninja-build googletest libgtest-dev libbenchmark-dev clang-14 \
           libclang-rt-14-dev clang-format valgrind emscripten chromium; do
  case "$pkg" in
    cmake|ninja-build) command -v "${pkg%-build}" >/dev/null 2>&1 && continue ;;
  esac
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
[ -z "$need" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$need (install them as root)" >&2
  exit 0
fi
echo "installing Debian packages:$need"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq $need >/dev/null
