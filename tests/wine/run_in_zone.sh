#!/bin/sh
# run_in_zone.sh COMMAND [ARG ...]
# Runs COMMAND with TZ set to a zone whose local date differs from the UTC
# date right now, and tells it the local date of today and tomorrow in that
# zone. In the UTC afternoon the zone is fourteen hours east (local time
# 02:00 to 13:59 of the next day), in the UTC morning fourteen hours west
# (10:00 to 21:59 of the day before): at least two hours from a local
# midnight, so the dates cannot change while the test runs. "XYZ-14" means
# the same to the C library here and to the Windows C runtime under Wine.
set -eu
if [ "$(date -u +%H)" -ge 12 ]; then TZ=XYZ-14; else TZ=XYZ+14; fi
export TZ
TARVISH_LOCAL_TODAY=$(date +%-d.%-m.%Y)
TARVISH_LOCAL_TOMORROW=$(date -d tomorrow +%-d.%-m.%Y)
export TARVISH_LOCAL_TODAY TARVISH_LOCAL_TOMORROW
exec "$@"
