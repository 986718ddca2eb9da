#!/bin/bash
# A command on an Xvfb display of its own (scripts/lib/desktop.sh's).
#
# on_display.sh COMMAND...
set -u
source "$(dirname "$0")/common.sh"
"$@"
