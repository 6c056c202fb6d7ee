#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/) and runs each for the given number
# of seconds (default 30), starting from the seeds in tests/fuzz/seeds. A
# finding stops the script with the fuzzer's report and the input that
# caused it (build-fuzz/<target>-crash-*).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
case "$seconds" in
  '' | *[!0-9]*) echo "fuzz.sh: the time must be a whole number of seconds, not '$seconds'" >&2; exit 2 ;;
esac
jobs=${JOBS:-$(nproc)}
targets=(fuzz_config:config fuzz_store:store fuzz_ftp_reply:ftp_reply fuzz_userdb:userdb)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DQUARVEL_FUZZ=ON -DQUARVEL_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target "${targets[@]%%:*}"

for entry in "${targets[@]}"; do
  target=${entry%%:*}
  corpus=build-fuzz/corpus/$target  # what the fuzzer learns; the seeds stay as they are
  mkdir -p "$corpus"
  log=build-fuzz/$target.log
  [ -x build-fuzz/"$target" ] || { echo "fuzz.sh: build-fuzz/$target was not built" >&2; exit 1; }
  if ! build-fuzz/"$target" -max_total_time="$seconds" -artifact_prefix=build-fuzz/"$target"- \
      "$corpus" tests/fuzz/seeds/"${entry#*:}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $target found a fault (log: $log)" >&2
    exit 1
  fi
  echo "$target: $(grep -E '^#[0-9]+.*DONE' "$log" | tail -n 1 || true)"
done
