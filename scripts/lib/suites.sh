# Sourced by scripts/test and scripts/win32-stage: ctest runs counted into
# the totals $passed and $failed.
#   run_suite LABEL BUILD_DIR [CTEST_ARGS...]   one ctest run; prints its own counts
#   summary                                      "N passed, N failed"; exits 0 only when none failed

passed=0
failed=0

run_suite() {
  local label=$1 dir=$2 log
  shift 2
  log=$(mktemp)
  echo "== $label"
  ctest --test-dir "$dir" --output-on-failure "$@" 2>&1 | tee "$log"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    if grep -q 'No tests were found' "$log"; then
      rm -f "$log"; return
    fi
    echo "$label: ctest gave no result"
    failed=$((failed + 1))
  else
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<< "$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<< "$line")
    echo "$label: $((total - bad)) passed, $bad failed"
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
}

summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
