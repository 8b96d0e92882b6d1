# Sourced by scripts/test and scripts/win32-stage (after scripts/lib/run.sh):
# ctest runs counted into the totals $passed, $failed and $skipped.
#   run_suite LABEL BUILD_DIR [CTEST_ARGS...]   one ctest run; prints its own counts
#   run_suite_split LABEL BUILD_DIR [CTEST_ARGS...]
#                                                the cases of the shared session, then
#                                                those with sessions of their own
#   run_check LABEL CMD...                       a command that is one test: passes when it exits 0
#   suite_not_run LABEL REASON                   a suite that could not run, counted as one failure
#   suites_in_background LABEL FUNCTION ARGS...  FUNCTION (which runs suites) in a
#                                                subshell of its own, its output kept
#   suites_collect                               waits for those, prints their output
#                                                and adds their counts
#   summary                                      "N passed, N failed, N skipped"; exits 0 only when none failed

passed=0
failed=0
skipped=0

run_suite() {
  local label=$1 dir=$2
  shift 2
  # ctest takes the files' paths relative to the build folder.
  local testing=$dir/Testing
  [[ $dir == /* ]] || testing=$PWD/$testing
  local log=$testing/$label-output.log cases=$testing/$label-cases.xml
  mkdir -p "$testing"
  rm -f "$log" "$cases"
  echo "== $label"
  run_waited ctest --test-dir "$dir" --output-on-failure --output-log "$log" --output-junit "$cases" "$@"
  suite_count "$label" "$log" "$cases"
}

# A skipped test is neither passed nor failed. A suite that found no tests
# fails: a renamed case or a -R that matches nothing must not pass unseen.
suite_count() {
  local label=$1 log=$2 cases=$3 line total bad skip name
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
  for name in $(suite_skips_cut_short "$cases"); do
    echo "$label: $name said it skips, then ended before its summary: counted as failed"
    bad=$((bad + 1))
    skip=$((skip - 1))
  done
  echo "$label: $((total - bad - skip)) passed, $bad failed, $skip skipped"
  passed=$((passed + total - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
}

run_check() {
  local label=$1
  shift
  echo "== $label"
  if run_waited "$@"; then
    echo "$label: 1 passed, 0 failed, 0 skipped"
    passed=$((passed + 1))
  else
    echo "$label: 0 passed, 1 failed, 0 skipped"
    failed=$((failed + 1))
  fi
}

# Cases labelled own-wine-session start sessions of their own, which the
# shared one need not see: they run after the others. A half that CTEST_ARGS
# leave empty is not run; both empty is a suite that found no tests.
run_suite_split() {
  local label=$1 dir=$2 half ran=0
  shift 2
  for half in -LE -L; do
    if [ "$(suite_size "$dir" "$half" own-wine-session "$@")" -gt 0 ]; then
      run_suite "$label$([ "$half" = -L ] && echo -own-session)" "$dir" "$half" own-wine-session "$@"
      ran=1
    fi
  done
  [ "$ran" = 1 ] || suite_not_run "$label" "no tests were found"
}

suite_size() {
  local dir=$1
  shift
  run_waited ctest --test-dir "$dir" -N "$@" | sed -n 's/^Total Tests: //p' | grep . || echo 0
}

# ctest takes a case as skipped once its output says so, however it ends.
# GoogleTest closes a whole run with its summary; a skipped case whose output
# lacks it crashed or hung after the skip.
suite_skips_cut_short() {
  awk '
    /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7); skipped = 0; whole = 0 }
    /<skipped / { skipped = 1 }
    /\[  SKIPPED \] [0-9]+ tests?, listed below/ { whole = 1 }
    /<\/testcase>/ { if (skipped && !whole) print name }
  ' "$1" 2>/dev/null
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

QX_BACKGROUND=()

# Fd 9, the run lock, stays with the script.
suites_in_background() {
  local label=$1 log=$root/build/$1.log
  shift
  rm -f "$log.counts"
  (
    passed=0 failed=0 skipped=0
    "$@"
    echo "$passed $failed $skipped" >"$log.counts"
  ) >"$log" 2>&1 9>&- &
  QX_BACKGROUND+=("$!:$label")
  echo "== $label: in the background, output in build/$label.log"
}

suites_collect() {
  local entry pid label log counts
  for entry in "${QX_BACKGROUND[@]}"; do
    pid=${entry%%:*} label=${entry#*:} log=$root/build/$label.log
    QX_WAITED_PID=$pid
    wait "$pid"
    QX_WAITED_PID=
    cat "$log"
    if read -r -a counts 2>/dev/null <"$log.counts" && [ ${#counts[@]} = 3 ]; then
      passed=$((passed + counts[0]))
      failed=$((failed + counts[1]))
      skipped=$((skipped + counts[2]))
    else
      suite_not_run "$label" "it ended without its counts"
    fi
    rm -f "$log.counts"
  done
  QX_BACKGROUND=()
}
