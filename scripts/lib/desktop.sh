# shellcheck shell=bash
# Sourced: driving the program on an X display from a script. Functions only;
# every wait is bounded. Processes started here are added to the caller's
# pids array, for the caller's cleanup to end.

# Runs the command every WAIT_STEP seconds (default a tenth) until it
# succeeds, at most SECONDS; false when it never did.
wait_until() { # seconds command...
  local i step=${WAIT_STEP:-0.1} tries
  tries=$(awk -v s="$1" -v t="$step" 'BEGIN { print int(s / t + 0.5) }')
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    sleep "$step"
  done
  return 1
}

# Starts Xvfb on a free display number (Xvfb picks it), exports DISPLAY and
# waits until the display answers. Every display of the project starts here.
# Without -noreset the server resets whenever its last client leaves, and
# refuses whoever connects meanwhile: the scripts' own short-lived clients
# (xdotool, xprop, import) come and go all the time, and the program may be
# refused its display at start.
# Its output goes nowhere: a server that outlives its script must not hold
# the script's output open for whoever reads it (ctest).
start_xvfb() { # scratch-folder
  local file=$1/display
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  pids+=("$!")
  wait_for_file "$file" 10 || return 1
  DISPLAY=:$(cat "$file")
  export DISPLAY
  wait_until 10 display_answers
}
display_answers() { xdpyinfo >/dev/null 2>&1; }

# Ends the processes and waits until they have gone, sending the signal again
# until then: an X server that gets it just before it goes to sleep sees it
# only when it next wakes, which for an idle Xvfb can be minutes. One still
# there after a few seconds is killed outright.
end_processes() { # pid...
  local pid alive i
  for ((i = 0; i < 50; i++)); do
    alive=()
    for pid; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
    ((${#alive[@]} > 0)) || return 0
    kill "${alive[@]}" 2>/dev/null || true
    set -- "${alive[@]}"
    sleep 0.1
  done
  kill -KILL "$@" 2>/dev/null || true
  return 0
}

# Starts a window manager (openbox), which draws the captions the screenshots
# show, and waits until it manages the screen: a window mapped before that may
# be taken over half-way. A display's first synthetic key switches its
# keyboard to xdotool's, and every client hears that the keyboard map changed:
# openbox then lets go of its key bindings and takes them again, and an Alt+F4
# sent meanwhile reaches the window instead. So that first key comes before.
start_window_manager() {
  xdotool key Shift_L 2>/dev/null
  openbox >/dev/null 2>&1 &
  pids+=("$!")
  wait_until 5 window_manager_runs
}
window_manager_runs() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# Waits until the file exists and is not empty, at most SECONDS.
wait_for_file() { # file seconds
  wait_until "$2" test -s "$1"
}

# Sets window to the visible window captioned exactly CAPTION; waits at most SECONDS.
find_window() { # caption seconds
  window=""
  wait_until "$2" window_captioned "$1"
}
window_captioned() { # caption
  local w
  for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && window=$w
  done
  [ -n "$window" ]
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
  box=""
  wait_until "$2" box_titled "$1" "${3:-none}"
}
box_titled() { # title window
  box=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "$2" | head -1)
  [ -n "$box" ]
}

# The window's frame when a window manager drew one, else its client area, as a PNG.
screenshot() { # window file
  # shellcheck disable=SC2034 # the eval sets them all
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" +repage "$2" || true
}

# A loopback port nothing listens on now, for a peer that needs its port
# named (start_on_free_ports: another process may take it first).
free_port() {
  local port i
  for ((i = 0; i < 100; i++)); do
    port=$((20000 + RANDOM % 20000))
    port_listens "$port" || { echo "$port"; return 0; }
  done
  return 1
}

# Starts a server whose ports must be named beforehand: START (a command) is
# run with free loopback ports in the array ports and sets server_pid. When
# the server ends before it listens on them all, another process took one in
# between: it is started again on others.
start_on_free_ports() { # count start-command...
  local count=$1 tries i port
  shift
  for ((tries = 0; tries < 10; tries++)); do
    ports=()
    for ((i = 0; i < count; i++)); do
      port=$(free_port) || return 1
      ports+=("$port")
    done
    "$@" || return 1
    wait_until 10 serves_or_ended "$server_pid" "${ports[@]}" || return 1
    process_gone "$server_pid" || return 0
  done
  return 1
}
serves_or_ended() { # pid port...
  process_gone "$1" || serves "$@"
}
# Whether the process itself listens on every port given (a port that merely
# answers may be another test's).
serves() { # pid port...
  local pid=$1 port
  shift
  for port; do ss -Hltnp "sport = :$port" | grep -q "pid=$pid," || return 1; done
}
port_listens() { # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Starts a program (its environment as NAME=VALUE, then its path), its output
# appended to $work/program.log, and waits for its window captioned CAPTION;
# sets program and window.
start_program() { # caption [NAME=VALUE...] program
  local caption=$1
  shift
  env "$@" >>"$work/program.log" 2>&1 &
  program=$!
  pids+=("$program")
  find_window "$caption" 20 || { echo "no window named $caption" >&2; cat "$work/program.log" >&2; return 1; }
  # A window just mapped may not take a click yet.
  sleep 0.5
}

# Waits until the process has ended, at most SECONDS; false when it still runs.
wait_gone() { # pid seconds
  wait_until "$2" process_gone "$1"
}
process_gone() { # pid
  ! kill -0 "$1" 2>/dev/null
}
