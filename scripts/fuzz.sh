#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, address and undefined sanitizers) into build-fuzz/ and
# runs each for the given number of seconds (default 600), or only the fuzzers named after it:
#   scripts/fuzz.sh 3600
#   scripts/fuzz.sh 600 fuzz_rtf_reader
# New inputs are kept in build-fuzz/fuzz/found/NAME, crashes and hangs in build-fuzz/fuzz/crashes.
# A crash found becomes a regression input: copy it into fuzz/corpus/NAME/ and mend the reader.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
cd "$OMBRILO_ROOT"

seconds="${1:-600}"
shift || true
ombrilo_install_packages
ombrilo_configure_fuzz
mapfile -t fuzzers < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else ls fuzz/corpus; fi)
cmake --build build-fuzz -j "$(nproc)" --target fuzzers

export QT_QPA_PLATFORM=offscreen
for name in "${fuzzers[@]}"; do
    echo "== $name for $seconds s"
    mkdir -p "build-fuzz/fuzz/found/$name" build-fuzz/fuzz/crashes
    "build-fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="build-fuzz/fuzz/crashes/$name-" -print_final_stats=1 \
        "build-fuzz/fuzz/found/$name" "fuzz/corpus/$name"
done
