#!/usr/bin/env bash
# wine-gtest.sh EMULATOR... PROGRAM.exe [ARGS...]: runs a GoogleTest program under Wine and
# passes only when both the exit code and the program's own summary say so: every test that
# ran passed or was skipped, none failed. Wine's exit code alone can hide a program that died
# before its summary or a summary Wine never saw.
set -uo pipefail
# GoogleTest on Windows reads a GTEST_OUTPUT path without a drive letter as relative to the
# current folder; in a Wine prefix the drive Z: is the Unix root.
if [[ ${GTEST_OUTPUT:-} == xml:/* ]]; then export GTEST_OUTPUT="xml:Z:${GTEST_OUTPUT#xml:}"; fi
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>&1
rc=$?
# Wine writes CR LF for the program's newlines.
tr -d '\r' <"$out"
summary="$(tr -d '\r' <"$out")"
ran="$(sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' <<<"$summary" | tail -n1)"
passed="$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' <<<"$summary" | tail -n1)"
skipped="$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?[.,].*/\1/p' <<<"$summary" | tail -n1)"
if [ "$rc" -ne 0 ]; then
  echo "wine-gtest: exit code $rc" >&2
  exit 1
fi
if [ -z "$ran" ] || [ -z "$passed" ]; then
  echo "wine-gtest: no GoogleTest summary in the output" >&2
  exit 1
fi
if grep -q '^\[  FAILED  \]' <<<"$summary" || [ $((passed + ${skipped:-0})) -ne "$ran" ]; then
  echo "wine-gtest: $ran ran, $passed passed, ${skipped:-0} skipped" >&2
  exit 1
fi
