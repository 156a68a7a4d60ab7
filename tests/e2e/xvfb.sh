# Sourced by the end-to-end tests and benchmarks: starts a private Xvfb on a
# free display number and ends it when the calling script exits.
# After `start_xvfb`, DISPLAY is set and XVFB_PID holds the server's pid.

start_xvfb() {
  local dir
  dir=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 640x400x24 -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; rm -rf "'"$dir"'"' EXIT
  local i
  for ((i = 0; i < 200; i++)); do
    if [[ -s "$dir/display" ]]; then
      export DISPLAY=":$(tr -d '\n' <"$dir/display")"
      return 0
    fi
    sleep 0.05
  done
  echo "Xvfb did not start:" >&2
  cat "$dir/log" >&2
  return 1
}

# Prints the id of the program's visible main window, waiting up to 20 s.
find_main_window() {
  timeout 20 xdotool search --sync --onlyvisible --name "Прямоугольные импульсы" | head -1
}
