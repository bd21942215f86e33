#!/bin/sh
# Fails when the shared library exports other names than the list holds, so
# that a change to what a host can link against is always deliberate. After
# changing the public API on purpose:  check.sh LIB LIST --update
set -eu
lib=$1 list=$2
actual=$(nm -D --defined-only -C "$lib" | sed 's/^[0-9a-f]* [A-Za-z] //' | LC_ALL=C sort -u)
if [ "${3:-}" = --update ]; then
  printf '%s\n' "$actual" > "$list"
  exit 0
fi
printf '%s\n' "$actual" | diff -u "$list" - || {
  echo "exported symbols differ from $list (update it with --update if meant)" >&2
  exit 1
}
