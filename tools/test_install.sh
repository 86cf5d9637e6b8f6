#!/bin/sh
# Installs the build in $1 into a fresh prefix and builds and runs a user's program against the
# installed tree, once found by find_package(glyphloom) and once through pkg-config.
# usage: tools/test_install.sh BUILD_DIR WORK_DIR
set -eu
build=$1
mkdir -p "$2"
work=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"/*
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
version=$(cat "$here/VERSION")
expected=$(printf 'ŋ 𝐚 α\n<:eng>')

check() {
  got=$("$1")
  if [ "$got" != "$expected" ]; then
    printf '%s printed:\n%s\nexpected:\n%s\n' "$1" "$got" "$expected" >&2
    exit 1
  fi
}

# The user's build sees only the installed tree, not this source tree.
cmake -S "$here/tests/install" -B "$work/user" -DCMAKE_PREFIX_PATH="$prefix" \
  -DGLYPHLOOM_EXPECTED_VERSION="$version" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/user" >/dev/null
check "$work/user/user"

pc_dir=$(dirname "$(find "$prefix" -name glyphloom.pc)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs "glyphloom = $version")
# shellcheck disable=SC2086 # the flags are words
${CXX:-c++} -std=c++20 -O1 "$here/tests/install/main.cpp" -o "$work/user-pc" $flags
check "$work/user-pc"
echo "install tree of glyphloom $version: the find_package and pkg-config builds run"
