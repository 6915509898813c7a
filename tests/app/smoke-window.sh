#!/usr/bin/env bash
# smoke-window.sh PROGRAM: run inside an X server (xvfb-run). Starts PROGRAM, waits for its
# main window, prints "caption: <title>", then ends it by keyboard with File > Exit and
# prints "exit: <status>".
set -u
program=$1
"$program" &
pid=$!
wid=
for _ in $(seq 300); do
  wid=$(xdotool search --onlyvisible --name '^Valdor Sensing Download Program' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$wid" ]; then
  echo "no window appeared"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit 1
fi
echo "caption: $(xdotool getwindowname "$wid")"
# No window manager under Xvfb: give the window the focus, then Alt+F opens File, X is Exit.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 0.3
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key --clearmodifiers x
for _ in $(seq 200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$pid" 2>/dev/null; then
  echo "still running after File > Exit"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit 1
fi
wait "$pid"
echo "exit: $?"
