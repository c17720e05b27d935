#!/usr/bin/env bash
# Fails when a test of akcore links Qt Widgets or Qt Gui: an unattended run must work
# without them.
set -u
status=0
for exe in "$@"; do
  if ldd "$exe" | grep -E 'libQt6(Widgets|Gui)\.so'; then
    echo "FAIL: $exe links Qt Widgets or Qt Gui" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "checked $# akcore test programs: none links Qt Widgets or Qt Gui"
exit "$status"
