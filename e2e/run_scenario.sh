#!/usr/bin/env bash
# Runs one end-to-end scenario (a scenario_NAME function of scenarios.sh)
# against the prefix and X server that e2e/setup.sh prepared.
# Usage: run_scenario.sh NAME
set -euo pipefail
here=$(dirname "$0")
. "$here/lib.sh"
. "$here/scenarios.sh"
name=${1:?usage: run_scenario.sh NAME}
declare -F "scenario_$name" >/dev/null || die "no scenario named $name"
[ -f "$WINEPREFIX/.e2e-complete" ] || die "no prefix: the e2e.setup fixture has not run"
use_display
SCENARIO_DIR=$E2E_WORK/scenarios/$name
rm -rf "$SCENARIO_DIR"
mkdir -p "$SCENARIO_DIR"
"scenario_$name"
log "$name: passed"
