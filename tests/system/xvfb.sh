#!/bin/sh
# Runs one system test process on its own virtual X server, so tests never
# share a display, a window stack or a pointer.
export GSETTINGS_BACKEND=memory
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
