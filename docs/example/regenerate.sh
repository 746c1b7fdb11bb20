#!/bin/sh
# Rewrites the generated blocks of README.md (the example session, its settings and saved file,
# and the default settings file) from a fresh run of the built editor on the files of this
# directory, with the regenerate_readme tool (regenerate_readme.cpp). The README tests compare
# the same blocks.
set -eu
cd "$(dirname "$0")/../.."
cmake --preset default >/dev/null
cmake --build --preset default --target regenerate_readme >/dev/null
./build/default/tests/regenerate_readme
echo "README.md rewritten from a run of build/default/ostrel"
