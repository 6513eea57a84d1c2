#!/usr/bin/env bash
# Shared set-up of ./run and ./test: installs the Debian packages the project needs when they are
# missing and builds the project into build/. Sourced, not run.

OMBRILO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# clang-format-14 is pinned: another version formats the same code differently. clang and
# libclang-rt-14-dev build the fuzzers (libFuzzer). python3 runs the check of the layers.
OMBRILO_PACKAGES=(qt6-base-dev qt6-translations-l10n xvfb xauth fonts-dejavu-core libpng-dev
                  libbenchmark-dev cmake make g++ clang-format-14 clang libclang-rt-14-dev
                  desktop-file-utils appstream dpkg-dev python3)

ombrilo_missing_packages() {
    local pkg missing=()
    for pkg in "${OMBRILO_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    echo "${missing[@]}"
}

ombrilo_install_packages() {
    local missing
    missing="$(ombrilo_missing_packages)"
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

# ombrilo_build DIR [cmake options...]
ombrilo_build() {
    local dir="$1"
    shift
    cmake -S "$OMBRILO_ROOT" -B "$OMBRILO_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$OMBRILO_ROOT/$dir" -j "$(nproc)"
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
