#!/usr/bin/env bash
# The whole test suite: C++ tests (plain and under AddressSanitizer + UBSan) and the Python tests.
source "$(dirname "$0")/setup-env.sh"
jobs=$(nproc)

echo "== C++ tests =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSATVANE_BUILD_TESTS=ON -DSATVANE_BUILD_PYTHON=OFF >/dev/null
cmake --build build/test -j "$jobs"
ctest --test-dir build/test -j "$jobs" --output-on-failure

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSATVANE_SANITIZE=ON \
  -DSATVANE_BUILD_TESTS=ON -DSATVANE_BUILD_PYTHON=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/sanitize -j "$jobs" --output-on-failure

echo "== Python tests =="
install_package
python -m pytest -q tests/python
