#!/bin/sh
# Installs the accessibility checker the page's browser test injects, at one pinned version whose
# package must match the integrity recorded here, into a cache outside the checkout keyed by version.
# Prints the path of the checker's script. Safe to run again: a cached version is used as it is.
set -eu
VERSION=4.14.1
INTEGRITY=sha512-FHfa+lmNjQZfJz1q8wKqIDwC6DExcHt/pkjNQb09a3NPjCKg2rhu5qb2S4r76ASyFNNtuFooJpZe37OgudVGtQ==

CACHE_ROOT=${XDG_CACHE_HOME:-$HOME/.cache}/obx
TARGET=$CACHE_ROOT/axe-core-$VERSION
if [ ! -f "$TARGET/axe.min.js" ]; then
    mkdir -p "$CACHE_ROOT"
    work=$(mktemp -d "$CACHE_ROOT/work-axe-core-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && npm pack --silent "axe-core@$VERSION" >/dev/null)
    tarball=$work/axe-core-$VERSION.tgz
    actual=sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)
    if [ "$actual" != "$INTEGRITY" ]; then
        echo "axe-core $VERSION: the package's integrity is $actual, not the recorded one" >&2
        exit 1
    fi
    tar -xzf "$tarball" -C "$work" package/axe.min.js package/LICENSE
    mkdir -p "$work/out"
    mv "$work/package/axe.min.js" "$work/package/LICENSE" "$work/out/"
    # A second caller that finished first leaves its copy; either is the same package.
    mv -T "$work/out" "$TARGET" 2>/dev/null || true
fi
echo "$TARGET/axe.min.js"
