# Sourced by the scripts that need a display of their own.
# start_xvfb GEOMETRY [Xvfb options...]: a virtual display on the first free
# number from 90 on, nothing shown on it; sets xvfb_display (":N") and
# xvfb_pid, and returns once its socket is there.
start_xvfb() {
  local geometry=$1
  shift
  local n=90
  while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do
    n=$((n + 1))
  done
  Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp "$@" >/dev/null 2>&1 &
  xvfb_pid=$!
  xvfb_display=":$n"
  for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X$n ]] && break
    sleep 0.2
  done
}
