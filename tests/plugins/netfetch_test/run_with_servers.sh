#!/bin/sh
# Runs the downloader tests with their servers: starts servers.py (127.0.0.1 only),
# hands its ports to the test program through the environment, and always stops the
# servers again. Usage: run_with_servers.sh WINE_RUN TEST_EXE [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)

# Debian's interpreter carries python3-pyftpdlib; another python3 on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if ! "$python" -c 'import pyftpdlib' 2>/dev/null; then
  echo "run_with_servers.sh: $python lacks pyftpdlib (scripts/install-deps.sh installs" \
       "python3-pyftpdlib)" >&2
  exit 1
fi

# Nothing may leave the machine: no proxy, whatever the caller's environment says.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
      HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY

work=$(mktemp -d)
"$python" "$here/servers.py" "$work/servers.env" &
servers=$!
cleanup() {
  kill "$servers" 2>/dev/null
  wait "$servers" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

tries=0
while [ ! -s "$work/servers.env" ]; do
  if ! kill -0 "$servers" 2>/dev/null; then
    echo "run_with_servers.sh: the test servers did not start" >&2
    exit 1
  fi
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ]; then
    echo "run_with_servers.sh: the test servers took longer than 30 s to start" >&2
    exit 1
  fi
  sleep 0.1
done

set -a
. "$work/servers.env"
set +a

# Bounded even if a transfer hangs past every timeout.
timeout -k 10 540 "$@"
