#!/usr/bin/env bash
# Shared set-up of ./run and ./test: installs the Debian packages the project needs when they are
# missing and builds the project into build/. Sourced, not run.

OMBRILO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# What the program itself needs to build and run: ./run installs only these, so that a newcomer
# sees the window as soon as the program is built.
OMBRILO_PROGRAM_PACKAGES=(qt6-base-dev qt6-translations-l10n fonts-dejavu-core libpng-dev
                          libisal-dev cmake make g++)
# What the tests, benchmarks, fuzzers and package checks add. clang-format-14 is pinned: another
# version formats the same code differently. clang and libclang-rt-14-dev build the fuzzers
# (libFuzzer). python3 runs the check of the layers.
OMBRILO_TEST_PACKAGES=(xvfb xauth libbenchmark-dev clang-format-14 clang
                       libclang-rt-14-dev desktop-file-utils appstream dpkg-dev python3)

# ombrilo_missing_packages PACKAGE...
ombrilo_missing_packages() {
    local pkg missing=()
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    echo "${missing[@]}"
}

# ombrilo_install_packages program|all
ombrilo_install_packages() {
    local wanted=("${OMBRILO_PROGRAM_PACKAGES[@]}")
    if [ "${1:-all}" = all ]; then
        wanted+=("${OMBRILO_TEST_PACKAGES[@]}")
    fi
    local missing
    missing="$(ombrilo_missing_packages "${wanted[@]}")"
    [ -z "$missing" ] && return 0
    echo "== installing Debian packages: $missing"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

# ombrilo_build DIR [cmake options...]: everything, tests and benchmarks included.
ombrilo_build() {
    local dir="$1"
    shift
    cmake -S "$OMBRILO_ROOT" -B "$OMBRILO_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DOMBRILO_BENCH=ON "$@"
    cmake --build "$OMBRILO_ROOT/$dir" -j "$(nproc)"
}

# ombrilo_build_program DIR: only the program and its command-line renderer. The benchmarks stay
# off unless the folder was configured with them (their library is a test package); the tests'
# targets are configured but not built.
ombrilo_build_program() {
    local dir="$1" bench=OFF
    if grep -qs '^OMBRILO_BENCH:BOOL=ON' "$OMBRILO_ROOT/$dir/CMakeCache.txt" &&
        [ -z "$(ombrilo_missing_packages libbenchmark-dev)" ]; then
        bench=ON
    fi
    cmake -S "$OMBRILO_ROOT" -B "$OMBRILO_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DOMBRILO_BENCH="$bench"
    cmake --build "$OMBRILO_ROOT/$dir" -j "$(nproc)" --target ombrilo ombrilo-render
}

# Fails when clang-format 14 would change any C++ file of the tree: the files git knows of in a
# checkout, otherwise every source beside the build folders.
ombrilo_check_format() {
    local files=()
    if git -C "$OMBRILO_ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git -C "$OMBRILO_ROOT" ls-files '*.cpp' '*.h')
    else
        mapfile -t files < <(cd "$OMBRILO_ROOT" &&
            find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
    (cd "$OMBRILO_ROOT" && clang-format-14 --dry-run --Werror "${files[@]}")
}

# The fuzzers' build: clang with libFuzzer, instead of the tests.
ombrilo_configure_fuzz() {
    cmake -S "$OMBRILO_ROOT" -B "$OMBRILO_ROOT/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DOMBRILO_FUZZ=ON -DOMBRILO_BENCH=OFF "$@"
}
