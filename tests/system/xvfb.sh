#!/bin/sh
# Runs one system test process on its own virtual X server, so tests never
# share a display, a window stack or a pointer. Listing the tests needs no
# display, and on a busy machine starting one can take longer than CTest's
# discovery waits. No reset when the last client leaves: a test that starts
# child processes would race the server's restart.
export GSETTINGS_BACKEND=memory
for arg in "$@"; do
  [ "$arg" = "--gtest_list_tests" ] && exec "$@"
done
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" "$@"
