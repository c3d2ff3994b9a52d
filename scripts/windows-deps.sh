#!/bin/sh
# Builds what the Windows cross build links against and Debian does not ship for mingw:
#   - static Boost, from Debian's own boost1.74 source package (the version installed for Linux);
#   - GoogleTest, from Debian's googletest sources in /usr/src/googletest.
# Both are kept in a cache folder outside the checkout, keyed by source version, compiler and options,
# so a later run on the same machine only checks the key. Prints the two install prefixes on stdout,
# separated by ";" (a CMAKE_PREFIX_PATH); progress goes to stderr.
set -eu
cd "$(dirname "$0")/.."
REPO=$(pwd)

CXX_MINGW=x86_64-w64-mingw32-g++-posix
CACHE_ROOT=${XDG_CACHE_HOME:-$HOME/.cache}/obx
mkdir -p "$CACHE_ROOT"

log() { echo "windows-deps: $*" >&2; }
short_hash() { sha256sum | cut -c1-12; }

compiler_id=$($CXX_MINGW --version | head -n 1)

# Only what the helper links: b2 adds what these need (regex, atomic, chrono, system).
BOOST_LIBRARIES="log program_options locale filesystem thread date_time"
BOOST_OPTIONS="toolset=gcc-mingw target-os=windows threadapi=win32 link=static runtime-link=static
variant=release address-model=64 boost.locale.icu=off boost.locale.iconv=off --layout=system"
boost_version=$(dpkg-query -W -f='${source:Version}' libboost1.74-dev)
boost_key=$(printf '%s\n' "$boost_version" "$compiler_id" "$BOOST_LIBRARIES" "$BOOST_OPTIONS" | short_hash)
BOOST_PREFIX=$CACHE_ROOT/boost-1.74-mingw-$boost_key

gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest_key=$(cat "$REPO/cmake/mingw-w64-x86_64.cmake" | { cat; printf '%s\n' "$gtest_version" "$compiler_id"; } | short_hash)
GTEST_PREFIX=$CACHE_ROOT/googletest-mingw-$gtest_key

# One builder at a time per cache: a second caller waits, then finds the result.
exec 9>"$CACHE_ROOT/.lock"
flock 9

# apt reads the derived deb-src entries through private state, leaving the machine's own untouched.
fetch_boost_source() {
    apt_dir=$1
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    derive_deb822 "$release" >"$apt_dir/parts/derived.sources"
    derive_one_line "$release" >"$apt_dir/sources.list"
    set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
        -o APT::Sandbox::User="$(id -un)"
    timeout 600 apt-get "$@" -q update >&2
    timeout 600 apt-get "$@" -q source "boost1.74=$boost_version" >&2
}

# The machine's archive entries for this release, "deb" turned into "deb-src". deb822 stanzas:
derive_deb822() {
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v release="$1" '
            function flush() {
                if (stanza != "" && isdeb && onrelease) printf "%s\n", stanza
                stanza = ""; isdeb = 0; onrelease = 0
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { if ($0 ~ /[[:space:]]deb([[:space:]]|$)/) isdeb = 1; $0 = "Types: deb-src" }
            /^Suites:/ {
                for (i = 2; i <= NF; i++) if ($i == release || index($i, release "-") == 1) onrelease = 1
            }
            { stanza = stanza $0 "\n" }
            END { flush() }' "$f"
    done
}

# ... and one-line entries.
derive_one_line() {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v release="$1" '
            $1 == "deb" {
                for (i = 2; i <= NF; i++) if ($i == release || index($i, release "-") == 1) {
                    $1 = "deb-src"; print; break
                }
            }' "$f"
    done
}

build_boost() {
    work=$CACHE_ROOT/work-boost-$boost_key
    rm -rf "$work" "$BOOST_PREFIX.partial"
    mkdir -p "$work"
    log "fetching Debian's boost1.74 $boost_version source"
    (cd "$work" && fetch_boost_source "$work/apt")
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'boost1.74-*' | head -n 1)
    log "bootstrapping b2"
    # The +ds source drops the generated grammar of the build engine.
    (cd "$src/tools/build/src/engine" && bison -y -d -o jamgram.cpp jamgram.y) >&2
    (cd "$src" && ./bootstrap.sh) >&2
    echo "using gcc : mingw : $CXX_MINGW ;" >"$work/user-config.jam"
    with=""
    for l in $BOOST_LIBRARIES; do with="$with --with-$l"; done
    log "building Boost for mingw (several minutes)"
    # shellcheck disable=SC2086
    (cd "$src" && nice timeout 3600 ./b2 --user-config="$work/user-config.jam" $BOOST_OPTIONS $with -j2 -d0 \
        --build-dir="$work/b2" --prefix="$BOOST_PREFIX.partial" install) >&2
    mv "$BOOST_PREFIX.partial" "$BOOST_PREFIX"
    rm -rf "$work"
}

build_googletest() {
    work=$CACHE_ROOT/work-googletest-$gtest_key
    rm -rf "$work" "$GTEST_PREFIX.partial"
    log "building GoogleTest for mingw"
    cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$GTEST_PREFIX.partial" >&2
    nice timeout 1200 cmake --build "$work" -j 2 >&2
    cmake --install "$work" >&2
    mv "$GTEST_PREFIX.partial" "$GTEST_PREFIX"
    rm -rf "$work"
}

if [ -d "$BOOST_PREFIX" ]; then log "Boost cached in $BOOST_PREFIX"; else build_boost; fi
if [ -d "$GTEST_PREFIX" ]; then log "GoogleTest cached in $GTEST_PREFIX"; else build_googletest; fi
echo "$BOOST_PREFIX;$GTEST_PREFIX"
