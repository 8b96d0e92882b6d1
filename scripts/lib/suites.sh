# Sourced by scripts/test and scripts/win32-stage (after scripts/lib/run.sh):
# ctest runs counted into the totals $passed, $failed and $skipped.
#   run_suite LABEL BUILD_DIR [CTEST_ARGS...]   one ctest run; prints its own counts
#   suite_not_run LABEL REASON                   a suite that could not run, counted as one failure
#   summary                                      "N passed, N failed, N skipped"; exits 0 only when none failed

passed=0
failed=0
skipped=0

run_suite() {
  local label=$1 dir=$2
  shift 2
  local log=$dir/Testing/suite-output.log
  mkdir -p "$dir/Testing"
  rm -f "$log"
  echo "== $label"
  run_waited ctest --test-dir "$dir" --output-on-failure --output-log "$log" "$@"
  suite_count "$label" "$log"
}

# A skipped test is neither passed nor failed. A suite that found no tests
# fails: a renamed case or a -R that matches nothing must not pass unseen.
suite_count() {
  local label=$1 log=$2 line total bad skip
  line=$(grep -E '[0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n1)
  if [ -z "$line" ]; then
    if grep -q 'No tests were found' "$log" 2>/dev/null; then
      suite_not_run "$label" "no tests were found"
    else
      suite_not_run "$label" "ctest gave no result"
    fi
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<< "$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<< "$line")
  skip=$(grep -c -E '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log")
  echo "$label: $((total - bad - skip)) passed, $bad failed, $skip skipped"
  passed=$((passed + total - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
}

suite_not_run() {
  echo "$1: FAILED, $2"
  failed=$((failed + 1))
}

summary() {
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit $?
}
