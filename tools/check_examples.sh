#!/bin/sh
# Installs the build into a scratch prefix (cmake --install) and builds the
# programs of examples/ against it, with pkg-config and with CMake's
# find_package, then runs each on the sample and checks it against kotran.
#   tools/check_examples.sh BUILD_DIR
set -eu
build=$(cd "${1:?usage: tools/check_examples.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name kotran.pc)")/..
export PKG_CONFIG_PATH="$libdir/pkgconfig"
sample=$root/samples/sample.txt
"$build/kotran" -u -l -c "$sample" >"$scratch/expected.utf8" 2>/dev/null
"$build/kotran" -g "$sample" >"$scratch/expected.g" 2>/dev/null

check() {  # name, program: converts the sample and recognises it as kotran does
  "$2/convert_file" <"$sample" >"$scratch/$1.utf8" 2>"$scratch/$1.err"
  cmp "$scratch/expected.utf8" "$scratch/$1.utf8"
  "$2/recognise" "$sample" >"$scratch/$1.g"
  cmp "$scratch/expected.g" "$scratch/$1.g"
  echo "$1: the same bytes as kotran ($(cat "$scratch/$1.err"))"
}

mkdir "$scratch/pc"
cc -Wall -Werror "$root/examples/convert_file.c" $(pkg-config --cflags --libs kotran) \
  -Wl,-rpath,"$(pkg-config --variable=libdir kotran)" -o "$scratch/pc/convert_file"
c++ -std=c++17 -Wall -Werror "$root/examples/recognise.cpp" $(pkg-config --cflags kotran) \
  "$(pkg-config --variable=libdir kotran)/libkotran.a" $(pkg-config --libs-only-l --static kotran | sed 's/-lkotran//') \
  -o "$scratch/pc/recognise"
check pkg-config "$scratch/pc"

cmake -S "$root/examples" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
check find_package "$scratch/cmake"
