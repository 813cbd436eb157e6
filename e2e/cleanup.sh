#!/usr/bin/env bash
# Fixture clean-up: stops the wineserver (and with it every Wine process of
# the prefix) and the virtual X server that e2e/setup.sh started. The prefix
# stays under the build tree for a look after a failure.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
stop_wine
if [ -s "$E2E_WORK/xvfb.pid" ]; then
  kill "$(cat "$E2E_WORK/xvfb.pid")" 2>/dev/null || true
  rm -f "$E2E_WORK/xvfb.pid" "$(display_file)"
fi
log "wineserver and X server stopped"
