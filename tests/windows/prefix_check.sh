#!/usr/bin/env bash
# The Wine prefixes the tests run in keep everything of theirs inside .deps:
# the user's folders are real folders, not links into the home folder of
# whoever runs the tests, and Wine's Tahoma-metric fonts are where Wine reads them.
deps=${1:?usage: prefix_check.sh DEPS_FOLDER}
failed=0
for prefix in "$deps/wine64" "$deps/wine32"; do
  links=$(find "$prefix/drive_c/users" -type l 2>/dev/null)
  if [ -n "$links" ]; then
    echo "links out of $prefix:"; echo "$links"; failed=1
  fi
  if [ ! -f "$prefix/drive_c/windows/Fonts/tahoma.ttf" ]; then
    echo "no Tahoma in $prefix"; failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "prefixes: own user folders, Tahoma installed"
exit "$failed"
