#!/usr/bin/env bash
# Measures how sharp the test suite is: plants known faults one at a time and
# reports which tests catch each. A tool for developers, not part of .ci/run.
#
# Each fault (listed in scripts/mutants.py: an off-by-one at each package limit,
# a swapped result code, a caption without its trailing blank, a check skipped,
# a link followed, a partial file kept, a cleanup step dropped, a lost exit
# code, ...) is an exact text edit of one or two files. In turn, each is applied
# to a scratch copy of the tree (build/mutants/tree, kept between runs so that
# its builds, one per preset, stay incremental), built, and the tier that should
# catch it is run: the likely tests first, the whole tier when none of them
# fails. Then the edit is undone and the tree rebuilt. Tests that fail on the
# unchanged tree are run first and never count as a catch. The output ends in a table (fault, tier,
# the tests that caught it or SURVIVED) and "N caught, M survived"; the exit
# status is 0 whatever the table says. A fault whose text has changed in the
# source is reported as "DOES NOT APPLY" with the text it looked for.
#
# Tiers: native (host build, ctest --preset native), wine (the mingw-x86-tests build,
# its tests under 32-bit Wine and xvfb-run on the shipped stub) and shipped (the mingw-x86 build and the
# checks of the shipped file). After the first builds a native fault takes a
# few seconds, a wine one about half a minute. Full log: build/mutants/mutants.log.
#
#   scripts/mutants.sh --list            the faults, and whether each still applies
#   scripts/mutants.sh                   every fault in its own tier
#   scripts/mutants.sh --tier wine       every fault in that tier (native, wine, shipped;
#                                        all: native and wine); a fault whose code that
#                                        tier does not build is "NOT IN THIS TIER"
#   scripts/mutants.sh --only 3,17       only these faults
#   scripts/mutants.sh --whole           always the whole tier, not the likely tests first
#   scripts/mutants.sh --ratio           tests/ against src/ + tools/ in non-blank,
#                                        non-comment lines of C and C++ files
#
# Before and after any change to the tests, run it and compare the tables.
set -uo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutants.py "$@"
