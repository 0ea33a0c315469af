#!/bin/sh
# Installs the Python module with pip, as the README says, into a scratch
# virtual environment (with the system's setuptools), linking the libkotran.a
# of the build given, and runs its tests.
#   tools/check_python.sh BUILD_DIR
set -eu
build=$(cd "${1:?usage: tools/check_python.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
# Debian's Python, whose packages (python3-dev, setuptools, wheel) build it,
# ahead of another one earlier on the PATH.
python=${PYTHON:-python3}
[ -n "${PYTHON:-}" ] || [ ! -x /usr/bin/python3 ] || python=/usr/bin/python3
"$python" -m venv --system-site-packages "$scratch/venv"
KOTRAN_BUILD="$build" "$scratch/venv/bin/pip" install --quiet --no-build-isolation --no-index "$root/python"
cd "$scratch"
KOTRAN_EXE="$build/kotran" "$scratch/venv/bin/python" -m unittest discover -v -s "$root/python/tests" 2>&1
