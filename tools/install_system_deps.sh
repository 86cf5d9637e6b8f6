#!/bin/sh
# Installs the Debian packages the C++ side needs, when one is missing and we may (root).
# Otherwise it names what is missing and how to install it: packages the build cannot do
# without stop it here, with that message, rather than in CMake; the others are reported.
set -e
# Needed by `make build` (the core, its tests, the module).
required="g++ cmake googletest libgtest-dev"
# Needed by `make test` (the install test, the fuzz run, the playground in a browser),
# `make bench`, `make format`, `make web`; ninja only makes builds faster.
optional="pkg-config clang-14 libclang-rt-14-dev libbenchmark-dev clang-format valgrind ninja-build
          emscripten chromium"

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "not a Debian system: cannot check for the packages $required $optional;" \
       "install their equivalents if the build asks for them" >&2
  exit 0
fi

missing() {
  out=""
  for pkg in "$@"; do
    case "$pkg" in
      cmake|ninja-build) command -v "${pkg%-build}" >/dev/null 2>&1 && continue ;;
    esac
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      out="$out $pkg"
  done
  echo "$out"
}

# shellcheck disable=SC2086 # lists of words
need_required=$(missing $required)
# shellcheck disable=SC2086
need_optional=$(missing $optional)
need="$need_required$need_optional"
[ -z "$need" ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$need" >&2
  echo "install them as root:  sudo apt-get install -y$need" >&2
  if [ -n "$need_required" ]; then
    echo "make build needs:$need_required" >&2
    exit 1
  fi
  echo "(make build goes on; make test, make bench or make format need them)" >&2
  exit 0
fi

echo "installing Debian packages:$need"
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
if ! { apt-get update -qq && apt-get install -y -qq $need >/dev/null; }; then
  echo "apt-get could not install:$need (offline, or no such package here?)" >&2
  [ -n "$need_required" ] && exit 1
fi
exit 0
