#!/bin/sh
# run_in_zone.sh COMMAND [ARG ...]
# Runs COMMAND with TZ set to a zone whose local date differs from the UTC
# date right now (twelve hours east in the UTC afternoon, twelve hours west
# in the UTC morning), and tells it the local date of today and tomorrow in
# that zone. "XYZ-12" means the same to the C library here and to the
# Windows C runtime under Wine.
set -eu
if [ "$(date -u +%H)" -ge 12 ]; then TZ=XYZ-12; else TZ=XYZ+12; fi
export TZ
TARVISH_LOCAL_TODAY=$(date +%-d.%-m.%Y)
TARVISH_LOCAL_TOMORROW=$(date -d tomorrow +%-d.%-m.%Y)
export TARVISH_LOCAL_TODAY TARVISH_LOCAL_TOMORROW
exec "$@"
