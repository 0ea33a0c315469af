#!/usr/bin/env bash
# Installs the Debian packages that kotran's build, tests or CI need, and
# only those that are missing. Prints nothing when all are there.
#
#   tools/setup.sh build   # CMake, Ninja and g++: build and run kotran
#   tools/setup.sh test    # that, GoogleTest, Python 3, iconv, nkf, GNU parallel
#                          # and rsync: run every test
#   tools/setup.sh arm64   # the cross compiler for aarch64, qemu-user and GoogleTest's
#                          # sources: cross-build and run every test under the emulator
#   tools/setup.sh windows # the MinGW-w64 cross compiler, Wine and GoogleTest's sources:
#                          # cross-build for Windows and run the Windows suites under Wine
#   tools/setup.sh ci      # all of these, clang and its runtime: what .ci/run needs
#                          # (fuzzing, the aarch64 and the portable lanes)
#   tools/setup.sh bench   # the test packages and the benchmark's peers: uconv, and
#                          # encoding_rs (Rust, built offline) and libicu for bench/peers/
#
# Runs apt-get as root, or through sudo when that exists. Exit status 0 when
# everything is present afterwards, 1 when something could not be installed,
# 2 on a wrong argument.
set -euo pipefail

build_packages=(cmake ninja-build g++)
# nkf reads kotran's EUC and JIS back as an oracle; GNU parallel and rsync
# run the README's recipe for converting an archive across hosts; uchardet
# is, with nkf, the recognition benchmark's peer; acl gives setfacl, which the
# tests of kept ACLs set with; libpython3.11-testsuite ships CPython's test
# vectors of its Japanese codecs.
test_packages=("${build_packages[@]}" libgtest-dev python3 libc-bin nkf parallel rsync uchardet acl libpython3.11-testsuite
  pkg-config python3-dev python3-venv python3-pip python3-setuptools python3-wheel)
# The cross compiler builds for aarch64, GoogleTest from its Debian sources.
# The emulator runs the programs with the C and C++ runtime of Debian's arm64
# architecture (added to dpkg for it), as an arm64 machine would: under
# qemu-user the cross compiler's own copy of the C library hangs a child
# after fork, and the tests' oracle, glibc's iconv, needs the target's own
# conversion modules.
arm64_packages=("${test_packages[@]}" g++-aarch64-linux-gnu qemu-user googletest libc6:arm64 libstdc++6:arm64)
# MinGW-w64 with POSIX threads (std::thread), GoogleTest built from its
# sources by it, and Wine to run the programs; wine64 alone runs 64-bit
# console programs headless, and wine gives the command that starts them;
# locales has the sources of the Japanese locale under which Wine runs as
# Japanese Windows (code page 932).
windows_packages=("${build_packages[@]}" g++-mingw-w64-x86-64-posix googletest wine64 wine locales)
ci_packages=("${arm64_packages[@]}" "${windows_packages[@]}" clang libclang-rt-14-dev)
bench_packages=("${test_packages[@]}" icu-devtools libicu-dev pkg-config cargo rustc librust-encoding-rs-dev)

usage() {
  echo "usage: $0 build|test|arm64|windows|ci|bench" >&2
  exit 2
}
fail() {
  echo "setup.sh: $*" >&2
  exit 1
}

[ "$#" -eq 1 ] || usage
case "$1" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  arm64) wanted=("${arm64_packages[@]}") ;;
  windows) wanted=("${windows_packages[@]}") ;;
  ci) wanted=("${ci_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  *) usage ;;
esac

command -v dpkg >/dev/null 2>&1 ||
  fail "dpkg not found; this script knows Debian only. Install these or their equivalents: ${wanted[*]}"

# dpkg -s also succeeds for a package that was removed but left its
# configuration behind, so the status line is what counts.
missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg -s "$p" 2>/dev/null) || status=
  case "$status" in
    *"Status: install ok installed"*) ;;
    *) missing+=("$p") ;;
  esac
done
[ "${#missing[@]}" -eq 0 ] && exit 0

command -v apt-get >/dev/null 2>&1 || fail "apt-get not found; install these yourself: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || fail "not root and no sudo; as root run: apt-get install ${missing[*]}"
  as_root=(sudo)
fi

echo "setup.sh: installing ${missing[*]}"
case " ${missing[*]} " in
  *:arm64\ *)
    dpkg --print-foreign-architectures | grep -qx arm64 ||
      "${as_root[@]}" dpkg --add-architecture arm64 || fail "dpkg could not add the arm64 architecture" ;;
esac
# sudo drops the environment, so DEBIAN_FRONTEND is passed through env.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
"${apt[@]}" update -qq || fail "apt-get update failed; nothing was installed"
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" ||
  fail "apt-get could not install: ${missing[*]}"
