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

echo "== Fuzzing the element readers and the propagation of what they read, for a minute =="
# Needs a clang with libFuzzer (Debian: clang-16 libclang-rt-16-dev); skipped without one.
# Inputs that reach new code are merged into tests/fuzz/corpus: commit them.
fuzz_cxx=""
for candidate in clang++-19 clang++-18 clang++-17 clang++-16 clang++; do
  if command -v "$candidate" >/dev/null && printf '%s\n' '#include <expected>' \
      'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
      "$candidate" -std=c++2b -Wno-builtin-macro-redefined -U__cpp_concepts -D__cpp_concepts=202002L \
        -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
    fuzz_cxx="$candidate"
    break
  fi
done
if [ -z "$fuzz_cxx" ]; then
  echo "skipped: no clang with libFuzzer"
else
  cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER="$fuzz_cxx" >/dev/null
  cmake --build build/fuzz
  rm -rf build/fuzz/found && mkdir -p build/fuzz/found
  corpus_before=$(ls tests/fuzz/corpus | wc -l)
  # A crash, a sanitizer report or an input running over 10 s fails the run.
  if ! build/fuzz/fuzz_readers -max_total_time=60 -max_len=4096 -timeout=10 -artifact_prefix=build/fuzz/ \
      build/fuzz/found tests/fuzz/corpus 2>build/fuzz/log.txt; then
    tail -n 60 build/fuzz/log.txt
    echo "fuzzing failed; the input is in build/fuzz/ (crash-*, timeout-* or leak-*)"
    exit 1
  fi
  # Only inputs that reach code no input of the corpus reaches (edges, not hit counts).
  build/fuzz/fuzz_readers -set_cover_merge=1 -use_counters=0 tests/fuzz/corpus build/fuzz/found \
    2>>build/fuzz/log.txt
  echo "$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' build/fuzz/log.txt), no failure;" \
    "corpus $corpus_before -> $(ls tests/fuzz/corpus | wc -l) inputs"
fi

echo "== Python tests =="
install_package
python -m pytest -q tests/python

echo "== Python tests against the module built with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize-python -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSATVANE_SANITIZE=ON -DSATVANE_WERROR=ON \
  -DSATVANE_BUILD_TESTS=OFF -DSATVANE_BUILD_PYTHON=ON -DPython_EXECUTABLE="$(command -v python)" >/dev/null
cmake --build build/sanitize-python -j "$jobs" --target _satvane _batch
# The interpreter itself is not instrumented: preload the runtime. Python never frees some
# objects at exit by design, so leak detection stays off here (the leak test measures instead).
PYTHONPATH="$root/build/sanitize-python/satvane-py/python" \
  LD_PRELOAD="$(gcc -print-file-name=libasan.so)" \
  ASAN_OPTIONS="detect_leaks=0:suppressions=$root/tests/python/asan.supp" \
  python -m pytest -q -p no:cacheprovider tests/python
