#!/usr/bin/env bash
# Runs a Windows GoogleTest program on its own wine desktop under a virtual X display, so that
# it can create real windows, and turns its XML report into the exit code (the desktop does not
# pass the program's own exit code through).
# Usage: run-on-desktop.sh REPO_ROOT PROGRAM.exe
set -euo pipefail
root="$1"
program="$2"
report="$(mktemp --suffix=.xml)"
trap 'rm -f "$report"' EXIT
winpath() { local p; p="$(readlink -f "$1")"; printf 'Z:%s' "${p//\//\\}"; }
xvfb-run -a "$root/scripts/wine-run" explorer "/desktop=zelk-ui-$$,800x600" \
  "$(winpath "$program")" "--gtest_output=xml:$(winpath "$report")"
if ! grep -q '<testsuites' "$report"; then
  echo "run-on-desktop: no test report from $program" >&2
  exit 1
fi
summary="$(grep -m1 '<testsuites' "$report")"
echo "$summary"
tests="$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$summary")"
failures="$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$summary")"
errors="$(sed -n 's/.* errors="\([0-9]*\)".*/\1/p' <<<"$summary")"
if grep -q '<skipped' "$report"; then
  echo "run-on-desktop: tests were skipped: the desktop has no display" >&2
  exit 1
fi
[ "${tests:-0}" -gt 0 ] && [ "${failures:-1}" = 0 ] && [ "${errors:-1}" = 0 ]
