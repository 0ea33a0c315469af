#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs each one for a bounded time over its
# seed corpus. Exits non-zero when a target crashes or a check fails.
#
#   bash fuzz/run.sh                     # 60 seconds per target, build in build-fuzz/
#   FUZZ_SECONDS=3600 bash fuzz/run.sh   # longer
#
# Environment:
#   FUZZ_SECONDS    seconds per target (default 60)
#   FUZZ_BUILD_DIR  build directory (default build-fuzz), also the first argument
#   FUZZ_TARGETS    targets to run (default: all three)
#   FUZZ_CXX        compiler (default clang++)
#   FUZZ_JOBS       parallel compiles, and targets run at once (default 2)
#   FUZZ_DEFINES    more -D flags for every compile (CI: -DKOTRAN_PORTABLE, so
#                   that this build is also clang's check of that mode)
#   FUZZ_OPTIMIZE   the optimisation (default -O1; CI's runs of seconds, -O0,
#                   which builds in half the time)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-${FUZZ_BUILD_DIR:-build-fuzz}}"
seconds="${FUZZ_SECONDS:-60}"
targets=(${FUZZ_TARGETS:-detect_fuzzer convert_fuzzer round_trip_fuzzer parts_fuzzer})
cxx="${FUZZ_CXX:-clang++}"
jobs="${FUZZ_JOBS:-2}"
flags=(-std=c++20 "${FUZZ_OPTIMIZE:--O1}" -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Wall -Wextra -Wpedantic -Werror
  ${FUZZ_DEFINES:-} -I src -I include)

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz: $cxx not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi

obj_dir="$build_dir/obj"
mkdir -p "$obj_dir"
# Objects built with other flags or another compiler are thrown away.
stamp="$("$cxx" --version | head -n 1) ${flags[*]}"
if [ ! -f "$obj_dir/flags" ] || [ "$(cat "$obj_dir/flags")" != "$stamp" ]; then
  rm -f "$obj_dir"/*.o "$obj_dir"/*.d
  printf '%s\n' "$stamp" >"$obj_dir/flags"
fi

# True when obj is missing or older than its source or any header it included.
stale() {
  local obj="$1" src="$2" dep="${1%.o}.d"
  [ -f "$obj" ] && [ -f "$dep" ] || return 0
  [ "$src" -nt "$obj" ] && return 0
  local f
  for f in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$dep"); do
    [ "$f" -nt "$obj" ] && return 0
  done
  return 1
}

compile() {
  local src="$1" obj="$2"
  if ! "$cxx" "${flags[@]}" -Wall -Wextra -Wpedantic -MMD -MF "${obj%.o}.d" -c "$src" -o "$obj" 2>"$obj.log"; then
    cat "$obj.log" >&2
    rm -f "$obj"
    return 1
  fi
  [ -s "$obj.log" ] && cat "$obj.log" >&2
  return 0
}

echo "== fuzz: building in $build_dir"
sources=()
while IFS= read -r f; do sources+=("$f"); done < <(find src -name '*.cpp' ! -path src/driver/main.cpp ! -path 'src/platform/windows/*' | sort)
for t in "${targets[@]}"; do sources+=("fuzz/$t.cpp"); done

objects=()
running=0
failed_build=0
for src in "${sources[@]}"; do
  obj="$obj_dir/$(printf '%s' "${src%.cpp}" | tr / _).o"
  case "$src" in fuzz/*) ;; *) objects+=("$obj") ;; esac
  stale "$obj" "$src" || continue
  echo "   compile $src"
  compile "$src" "$obj" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed_build=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed_build=1
  running=$((running - 1))
done
if [ "$failed_build" -ne 0 ]; then
  echo "fuzz: build failed" >&2
  exit 1
fi
for t in "${targets[@]}"; do
  "$cxx" "${flags[@]}" "$obj_dir/fuzz_$t.o" "${objects[@]}" -o "$build_dir/$t"
done

# Runs target $1 and leaves its line of the summary in $build_dir/$1.result;
# what a failed target found goes to standard error.
run_target() {
  local t="$1"
  local corpus="$build_dir/corpus/$t"
  local artifacts="$build_dir/artifacts/$t"
  local log="$build_dir/$t.log"
  mkdir -p "$corpus" "$artifacts"
  echo "== fuzz: $t for ${seconds}s"
  local status=0
  "$build_dir/$t" -max_total_time="$seconds" -max_len=4096 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "fuzz/seeds/$t" >"$log" 2>&1 || status=$?
  local execs rate units
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)"
  units="$(find "$corpus" -type f | wc -l)"
  if [ "$status" -ne 0 ] || grep -q -e '^==[0-9]*==ERROR' -e 'kotran fuzz check failed' -e 'runtime error:' "$log"; then
    {
      echo "fuzz: $t FAILED (exit $status); log: $log"
      # The check that failed or the sanitizer's report, what differed, and
      # the stack frames in kotran's own sources.
      grep -E -e 'kotran fuzz check failed|ERROR|SUMMARY|runtime error|^convert_| -> ' \
        -e '^  (first|second|converted|expected|back again|text)' \
        -e '^ *#[0-9]+ .*(src|fuzz)/[^ ]*\.(cpp|h):' "$log" | head -n 40 || true
      for a in "$artifacts"/*; do
        [ -f "$a" ] || continue
        echo "   input $a:"
        od -An -tx1 -v "$a" | head -n 20
      done
    } >&2
    echo "$t: FAILED" >"$build_dir/$t.result"
  else
    echo "$t: ${rate:-?} exec/s, ${execs:-?} runs, corpus $units" >"$build_dir/$t.result"
  fi
}

# The targets run $jobs at a time, each for its own time.
running=0
for t in "${targets[@]}"; do
  rm -f "$build_dir/$t.result"
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
passed=0
failed=0
summary=()
for t in "${targets[@]}"; do
  line="$(cat "$build_dir/$t.result" 2>/dev/null || echo "$t: FAILED (no result)")"
  summary+=("$line")
  case "$line" in *FAILED*) failed=$((failed + 1)) ;; *) passed=$((passed + 1)) ;; esac
done

echo "== fuzz: results (${seconds}s per target)"
for line in "${summary[@]}"; do echo "   $line"; done
# Worded unlike a test runner's closing line: these are targets, not tests.
if [ "$failed" -eq 0 ]; then
  echo "fuzz: all ${#targets[@]} targets ran clean"
else
  echo "fuzz: $failed of ${#targets[@]} targets FAILED"
fi
[ "$failed" -eq 0 ]
