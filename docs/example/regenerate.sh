#!/bin/sh
# Rewrites the generated blocks of README.md (the example session, its settings and saved file,
# and the default settings file) from a fresh run of the built editor on the files of this
# directory. The README tests compare the same blocks; they rewrite them when
# OSTREL_REGENERATE_README is set.
set -eu
cd "$(dirname "$0")/../.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
OSTREL_REGENERATE_README=1 ./build/default/tests/ostrel_e2e_tests --gtest_filter='Readme.*' \
  --gtest_brief=1
echo "README.md rewritten from a run of build/default/ostrel"
