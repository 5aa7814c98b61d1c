#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, Address- and UndefinedBehaviorSanitizer)
# and runs each in turn for SECONDS (default 8), starting from its seeds in
# fuzz/corpus/<target>. New inputs go to build-fuzz/corpus/<target>, so that
# a later run goes on from there; a crashing, leaking or hanging input goes to
# build-fuzz/findings, and the script then fails.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Extra libFuzzer options may be given in FUZZ_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-8}
shift $(($# > 0 ? 1 : 0))
if ! [ "$seconds" -ge 1 ] 2>/dev/null; then
  echo "usage: $0 [SECONDS_PER_TARGET] [TARGET...]" >&2
  exit 2
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_lqd_file fuzz_data_name fuzz_decode_parameter fuzz_decode_block
           fuzz_receive_blocks fuzz_send_blocks fuzz_sim_receive fuzz_decode_message
           fuzz_zip_archive fuzz_backup_folder fuzz_settings_file fuzz_instance_line
           fuzz_cli_address)
fi
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRAVLIN_FUZZ=ON -DRAVLIN_BUILD_GUI=OFF -DRAVLIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
mkdir -p "$build/findings"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  log="$build/findings/$t.log"
  # shellcheck disable=SC2086
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$t-" ${FUZZ_OPTIONS:-} \
      "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "$t: FINDING (input and log in $build/findings)"
    grep -E 'ERROR|SUMMARY|runtime error|malformed|differs|Test unit written' "$log" | head -20
    failed+=("$t")
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+.*DONE' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+')
    echo "$t: $runs inputs, $((runs / seconds)) exec/s, ${coverage:-no coverage line}"
  fi
done
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
