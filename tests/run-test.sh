#!/usr/bin/env bash
# Runs one test binary with the sanitizer runtime and Mesa's driver preloaded
# (VORBEL_TEST_PRELOAD, set by test.sh), so leaks inside the driver can be
# suppressed by module. Without it the binary runs as it is.
if [ -n "${VORBEL_TEST_PRELOAD:-}" ]; then
  LD_PRELOAD="$VORBEL_TEST_PRELOAD" exec "$@"
fi
exec "$@"
