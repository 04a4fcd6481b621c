#!/usr/bin/env bash
# Counts, per test folder, the test cases and the assertions, so that a change
# of the test framework can show that no check was lost. A case is a Qt Test
# slot (not its _data table, not init or cleanup) or a GoogleTest TEST,
# TEST_F or TEST_P; rows are Qt Test's newRow/addRow table rows or the named
# rows of a GoogleTest table (a line that begins {"name", ...). An assertion
# is one use of a checking macro of either framework.
set -euo pipefail
cd "$(dirname "$0")/../tests"

qt_checks='\b(QCOMPARE|QVERIFY2?|QTRY_[A-Z_]+|QFAIL|QEXPECT_FAIL)\('
gtest_checks='\b((EXPECT|ASSERT)_[A-Z_0-9]+|FAIL|ADD_FAILURE)\('

# Every match on a line of its own; no match is no error.
matches() { local pattern=$1; shift; grep -ohE "$pattern" "$@" || true; }

printf '%-10s %6s %6s %10s\n' folder cases rows assertions
for folder in ${*:-platform session server robust ui}; do
    files=("$folder"/tst_*.cpp)
    # The slots declared under "private slots:", up to the next section or the class's end.
    qt_cases=$(awk '/slots:/ { in_slots = 1; next } /^(private|public|protected):|^};/ { in_slots = 0 }
        in_slots && /^ *void [A-Za-z0-9_]+\(\);/' "${files[@]}" \
        | { grep -vE 'void (init|cleanup|initTestCase|cleanupTestCase)\(|_data\(' || true; } | wc -l)
    gtest_cases=$(matches '^(TEST|TEST_F|TEST_P)\(' "${files[@]}" | wc -l)
    rows=$(matches '\b(newRow|addRow)\(|^ *\{"[^"]*",' "${files[@]}" | wc -l)
    checks=$(matches "$qt_checks|$gtest_checks" "${files[@]}" | wc -l)
    printf '%-10s %6d %6d %10d\n' "$folder" $((qt_cases + gtest_cases)) "$rows" "$checks"
done
