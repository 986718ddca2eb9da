# shellcheck shell=bash
# Sourced: driving the program on an X display from a script. Functions only;
# every wait is bounded. Processes started here are added to the caller's
# pids array, for the caller's cleanup to end.

# Starts Xvfb on a free display number (Xvfb picks it) and exports DISPLAY.
start_xvfb() { # scratch-folder
  local file=$1/display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$file" 2>/dev/null &
  pids+=("$!")
  wait_for_file "$file" 10 || return 1
  DISPLAY=:$(cat "$file")
  export DISPLAY
}

# Starts a window manager (openbox), which draws the captions the screenshots
# show, and waits until it manages the screen: a window mapped before that may
# be taken over half-way.
start_window_manager() {
  local i
  openbox >/dev/null 2>&1 &
  pids+=("$!")
  for ((i = 0; i < 50; i++)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the file exists and is not empty, at most SECONDS.
wait_for_file() { # file seconds
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Sets window to the visible window captioned exactly CAPTION; waits at most SECONDS.
find_window() { # caption seconds
  local i w
  window=""
  for ((i = 0; i < $2 * 10; i++)); do
    for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && window=$w
    done
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  return 1
}

# Clicks a flag of the language page: the Czech one at 240,45, the British one
# at 300,45 (each 40x27) in the window's client area.
click_flag() { # window cz|en
  local x=260
  [ "$2" = en ] && x=320
  xdotool mousemove --window "$1" "$x" 58 click 1
}

# Sets box to a visible window titled TITLE other than the window given (a
# message box beside the program's window); waits at most SECONDS. xdotool
# matches names without regard to case, so the window's caption may match too.
find_box() { # title seconds [window]
  local i
  box=""
  for ((i = 0; i < $2 * 10; i++)); do
    box=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${3:-none}" | head -1)
    [ -n "$box" ] && return 0
    sleep 0.1
  done
  return 1
}

# The window's frame when a window manager drew one, else its client area, as a PNG.
screenshot() { # window file
  # shellcheck disable=SC2034 # the eval sets them all
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" +repage "$2" || true
}

# A loopback port nothing listens on now, for a peer that needs its port named.
free_port() {
  local port i
  for ((i = 0; i < 100; i++)); do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

# Waits until something accepts connections on the port, at most SECONDS.
wait_port() { # port seconds
  local i
  for ((i = 0; i < ${2:-10} * 10; i++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the process has ended, at most SECONDS; false when it still runs.
wait_gone() { # pid seconds
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
