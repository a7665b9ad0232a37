#!/usr/bin/env bash
# Main job: build and install satvane, then print the next passes of a satellite over an observer.
# Arguments pass through to `python -m satvane` (a command first, e.g. `now`, or the options of `passes`).
source "$(dirname "$0")/setup-env.sh"
install_package
python -m satvane "$@"
