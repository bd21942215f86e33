#!/bin/sh
# Installs the build tree into a scratch prefix, then builds and runs what a
# user would build against it: a CMake project through find_package, a C
# program through pkg-config (shared and static), and the installed tool.
#
#   run.sh CMAKE BUILD_DIR WORK_DIR SOURCE_DIR GENERATOR CC CXX
set -eu
cmake=$1 build=$2 work=$3 src=$4 generator=$5 cc=$6 cxx=$7
here=$src/tests/consumer
doc=$src/examples/number-lines.tav
script=$src/examples/number-lines.vbs

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix"

echo "== find_package(tavjit)"
"$cmake" -S "$here" -B "$work/cmake" -G "$generator" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix"
"$cmake" --build "$work/cmake" -j2
"$work/cmake/consumer_shared" "$doc" "$script"
"$work/cmake/consumer_static" "$doc" "$script"

echo "== pkg-config tavjit"
pc=$(find "$prefix" -name tavjit.pc)
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
cflags=$(pkg-config --cflags tavjit)
libs=$(pkg-config --libs tavjit)
libdir=$(pkg-config --variable=libdir tavjit)
catalogue=$(pkg-config --variable=catalogue tavjit)
static_libs=$(pkg-config --libs tavjit-static)
# shellcheck disable=SC2086
"$cc" ${CFLAGS:-} -std=c99 -Wall -Werror $cflags "$here/main.c" -o "$work/consumer_c" ${LDFLAGS:-} $libs
# shellcheck disable=SC2086
"$cc" ${CFLAGS:-} -std=c99 -Wall -Werror $(pkg-config --cflags tavjit-static) "$here/main.c" -o "$work/consumer_c_static" \
  ${LDFLAGS:-} $static_libs
LD_LIBRARY_PATH=$libdir "$work/consumer_c" "$catalogue" "$doc" > "$work/c.vbs"
cmp "$work/c.vbs" "$script"
# The static program needs no shared library of ours.
if ldd "$work/consumer_c_static" | grep -q libtavjit; then
  echo "consumer_c_static links the shared library" >&2
  exit 1
fi
"$work/consumer_c_static" "$catalogue" "$doc" > "$work/c_static.vbs"
cmp "$work/c_static.vbs" "$script"

echo "== installed tool"
"$prefix/bin/tavjit" --version
"$prefix/bin/tavjit" compile "$doc" > "$work/tool.vbs"
cmp "$work/tool.vbs" "$script"

rm -rf "$work"
echo "consumers: all passed"
