# Sourced by the other scripts: installs what a fresh machine lacks and activates .venv.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

need_apt=()
[ -f /usr/include/gtest/gtest.h ] || need_apt+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need_apt+=(libbenchmark-dev)
command -v ccache >/dev/null || need_apt+=(ccache)
if [ ${#need_apt[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_apt[@]}" >/dev/null
  else
    echo "warning: missing Debian packages: ${need_apt[*]} (install them as root)" >&2
  fi
fi

if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
fi
# shellcheck disable=SC1091
source .venv/bin/activate
stamp=.venv/.deps-installed
if [ ! -f "$stamp" ] || [ pyproject.toml -nt "$stamp" ]; then
  python -m pip install -q --upgrade pip
  python -m pip install -q "scikit-build-core>=0.10" cmake ninja pytest hypothesis numpy sgp4 mypy skyfield skyfield-data matplotlib pandas "dask[dataframe,distributed]"
  touch "$stamp"
fi

install_package() {
  python -m pip install -q --no-build-isolation .
}
