#!/bin/sh
# Runs a command with an X display for the windows it opens: the session's own when
# DISPLAY is set, else a private Xvfb that lives exactly as long as the command.
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
