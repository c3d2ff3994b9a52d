#!/bin/sh
# Authenticode-signs Windows files in place (programs, drivers, catalogues, MSI packages):
#   sign-windows.sh FILE...
# With OBX_SIGN_PFX (a PKCS#12 file) and OBX_SIGN_PASSWORD it signs with that certificate, as a
# release must. Otherwise it signs with a test certificate made once and kept in
# ${XDG_CACHE_HOME:-~/.cache}/obx/signing/, which no system trusts: it proves the signing step, not
# the publisher.
set -eu
if [ $# -eq 0 ]; then
    echo "usage: $0 FILE..." >&2
    exit 2
fi

if [ -n "${OBX_SIGN_PFX:-}" ]; then
    pfx=$OBX_SIGN_PFX
    password=${OBX_SIGN_PASSWORD:-}
else
    store=${XDG_CACHE_HOME:-$HOME/.cache}/obx/signing
    pfx=$store/test-signing.pfx
    password="test"
    if [ ! -s "$pfx" ]; then
        mkdir -p "$store"
        made=$(mktemp -d "$store/new.XXXXXX")
        openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -subj "/CN=Halvex test code signing" \
            -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
            -keyout "$made/key.pem" -out "$made/cert.pem" 2>/dev/null
        openssl pkcs12 -export -inkey "$made/key.pem" -in "$made/cert.pem" -passout pass:$password \
            -out "$made/test-signing.pfx"
        # Two builds may make one at the same time: the rename keeps one whole file.
        mv "$made/test-signing.pfx" "$pfx"
        rm -rf "$made"
    fi
fi

for file in "$@"; do
    signed=$file.signing
    rm -f "$signed"
    if ! osslsigncode sign -pkcs12 "$pfx" -pass "$password" -h sha256 -n "Ombrix" \
        -in "$file" -out "$signed" >/dev/null; then
        rm -f "$signed"
        echo "sign-windows.sh: could not sign $file" >&2
        exit 1
    fi
    mv "$signed" "$file"
done
