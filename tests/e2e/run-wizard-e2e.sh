#!/usr/bin/env bash
# Runs WizardEndToEnd.py against the real program: a D-Bus session of its own, a virtual X
# server on a display number the server picks itself (so that runs side by side never share
# one), the accessibility bus, and Debian's Python with its AT-SPI bindings. Everything it
# starts ends with it. Usage: run-wizard-e2e.sh PROGRAM WORKDIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
program="$1"
work="$2"

if [ "${1:-}" = "--inner" ]; then
  shift
  program="$1"
  work="$2"
  displays="$(mktemp -u)"
  mkfifo "$displays"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displays" &
  server=$!
  launcher=""
  trap 'kill $launcher "$server" 2>/dev/null || true; wait 2>/dev/null || true; rm -f "$displays"' EXIT
  read -r -t 20 display <"$displays" || { echo "the virtual X server did not start"; exit 1; }
  export DISPLAY=":$display"
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  # Wait for the accessibility bus to be registered on the session bus.
  for _ in $(seq 50); do
    if dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; then
      break
    fi
    sleep 0.1
  done
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
  status=0
  /usr/bin/python3 "$here/WizardEndToEnd.py" "$program" "$work" || status=$?
  exit "$status"
fi

for tool in dbus-run-session Xvfb /usr/bin/python3 /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh"; exit 1; }
done
exec dbus-run-session -- bash "$0" --inner "$program" "$work"
