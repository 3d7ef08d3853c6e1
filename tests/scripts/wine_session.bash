# Sourced by the script tests: a private Xvfb and Wine prefix, check
# bookkeeping, and polling. Wine's output always goes to a log file, never
# to a pipe that ctest reads.
#   session_start BUILD_DIR NAME   Xvfb with a black root, prefix BUILD_DIR/wineprefix-NAME
#   check TEXT COMMAND...          runs COMMAND, records a pass or a failure
#   poll COMMAND...                retries COMMAND for up to two minutes
#   finish                         prints the tally; exit status 1 on any failure

failures=0
passes=0
session_dir=
session_xvfb=

check() {
  local what=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
    echo "ok: $what"
  else
    failures=$((failures + 1))
    echo "FAILED: $what"
  fi
}

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

poll() {
  local tries=240
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.5
  done
}

session_end() {
  # Only this prefix's server: other sessions have their own.
  [ -z "${WINEPREFIX:-}" ] || wineserver -k >/dev/null 2>&1 || true
  [ -z "$session_xvfb" ] || kill "$session_xvfb" 2>/dev/null || true
  session_xvfb=
}

session_start() {
  local build=$1 name=$2
  session_dir="$build/script-tests/$name"
  rm -rf "$session_dir"
  mkdir -p "$session_dir"
  export WINEPREFIX="$build/wineprefix-$name"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
  wine_log="$session_dir/wine.log"
  trap session_end EXIT

  # A black root, so anything that is not black was drawn by a program.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp 3>"$session_dir/display" 2>>"$wine_log" &
  session_xvfb=$!
  poll test -s "$session_dir/display" || { echo "Xvfb did not start"; exit 1; }
  DISPLAY=":$(cat "$session_dir/display")"
  export DISPLAY
  wineserver -k >/dev/null 2>&1 || true
  wineboot -u >>"$wine_log" 2>&1 </dev/null
}

# Runs a Windows program to its end; its output goes to FILE.
#   run_wine FILE PROGRAM ARGS...
run_wine() {
  local out=$1
  shift
  wine "$@" >"$out" 2>>"$wine_log" </dev/null
}

# Share of pixels that are not black in the screen area W x H + X + Y.
#   lit_share X Y W H
lit_share() {
  import -window root -crop "$3x$4+$1+$2" +repage "$session_dir/probe.png" 2>>"$wine_log" &&
    convert "$session_dir/probe.png" -fill white +opaque black -format '%[fx:mean]' info:
}

# The RGB of one screen pixel as "R,G,B".
screen_pixel() {
  import -window root -crop "1x1+$1+$2" +repage "$session_dir/pixel.png" 2>>"$wine_log" &&
    convert "$session_dir/pixel.png" -depth 8 -format '%[fx:round(r*255)],%[fx:round(g*255)],%[fx:round(b*255)]' info:
}
