#!/usr/bin/env bash
# Main job: build and install satvane, then show a satellite's position and an observer's view now.
source "$(dirname "$0")/setup-env.sh"
install_package
python -m satvane "$@"
