#!/bin/sh
# Runs the given program on the X display of xvfb-run, with trayer as the notification area.
trayer --edge bottom --align right --widthtype request --heighttype pixel --height 32 \
  --SetDockType true &
TRAYER=$!
QT_QPA_PLATFORM=xcb "$@"
RESULT=$?
kill "$TRAYER" 2>/dev/null
exit "$RESULT"
