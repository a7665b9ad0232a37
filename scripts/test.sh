#!/usr/bin/env bash
# The whole test suite: C++ tests (plain and under AddressSanitizer + UBSan) and the Python tests.
source "$(dirname "$0")/setup-env.sh"
jobs=$(nproc)

echo "== C++ tests =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSATVANE_WERROR=ON \
  -DSATVANE_BUILD_TESTS=ON -DSATVANE_BUILD_PYTHON=OFF >/dev/null
cmake --build build/test -j "$jobs"
ctest --test-dir build/test -j "$jobs" --output-on-failure

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSATVANE_SANITIZE=ON -DSATVANE_WERROR=ON \
  -DSATVANE_BUILD_TESTS=ON -DSATVANE_BUILD_PYTHON=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/sanitize -j "$jobs" --output-on-failure

echo "== Python tests =="
install_package
python -m pytest -q tests/python

echo "== Python tests against the module built with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize-python -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSATVANE_SANITIZE=ON -DSATVANE_WERROR=ON \
  -DSATVANE_BUILD_TESTS=OFF -DSATVANE_BUILD_PYTHON=ON -DPython_EXECUTABLE="$(command -v python)" >/dev/null
cmake --build build/sanitize-python -j "$jobs" --target _satvane
# The interpreter itself is not instrumented: preload the runtime. Python never frees some
# objects at exit by design, so leak detection stays off here (the leak test measures instead).
PYTHONPATH="$root/build/sanitize-python/satvane-py/python" \
  LD_PRELOAD="$(gcc -print-file-name=libasan.so)" \
  ASAN_OPTIONS="detect_leaks=0:suppressions=$root/tests/python/asan.supp" \
  python -m pytest -q -p no:cacheprovider tests/python
