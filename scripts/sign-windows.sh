#!/bin/sh
# Test-signs Windows images (obxkern.sys, the .exe programs, a .cat catalogue) in place with a
# code-signing certificate that this script makes on first use and keeps for later runs.
#
#   scripts/sign-windows.sh FILE...
#
# The certificate and its key live in $OBX_SIGN_DIR (default: ~/.cache/obx/test-signing), outside
# the checkout, so that every build of this machine signs with the same test certificate; the public
# certificate is also copied beside the first file signed as obx-test-signing.cer, to be imported on
# the test machine (docs/driver-windows.md). A test signature loads only on a machine in test-signing
# mode; a release needs an EV certificate and the platform's attestation signing.
set -eu

if [ "$#" -eq 0 ]; then
    echo "usage: $0 FILE..." >&2
    exit 2
fi
for tool in osslsigncode openssl; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "sign-windows: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 1
    }
done

SIGN_DIR=${OBX_SIGN_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/obx/test-signing}
KEY=$SIGN_DIR/obx-test-signing.key
CERT=$SIGN_DIR/obx-test-signing.pem
CERT_DER=$SIGN_DIR/obx-test-signing.cer

make_certificate() {
    mkdir -p "$SIGN_DIR"
    chmod 700 "$SIGN_DIR"
    # Made under a temporary name and moved into place, so that two builds signing at once never
    # see half a certificate.
    tmp=$(mktemp -d "$SIGN_DIR/new.XXXXXX")
    (umask 077 && openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes \
        -subj "/CN=Ombrix Test Signing (not for release)" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
        -addext "basicConstraints=critical,CA:FALSE" \
        -keyout "$tmp/key" -out "$tmp/pem" 2>"$tmp/log" &&
        openssl x509 -in "$tmp/pem" -outform DER -out "$tmp/cer") || {
        cat "$tmp/log" >&2
        rm -rf "$tmp"
        exit 1
    }
    mv "$tmp/key" "$KEY"
    mv "$tmp/cer" "$CERT_DER"
    mv "$tmp/pem" "$CERT"
    rm -rf "$tmp"
}

if [ ! -s "$KEY" ] || [ ! -s "$CERT" ] || [ ! -s "$CERT_DER" ]; then
    make_certificate
fi

for file in "$@"; do
    [ -f "$file" ] || {
        echo "sign-windows: no such file: $file" >&2
        exit 1
    }
    signed="$file.signing"
    # No time stamp: this machine has no time-stamping service, and a test signature needs none.
    osslsigncode sign -certs "$CERT" -key "$KEY" -h sha256 -n "Ombrix" -in "$file" -out "$signed" >/dev/null
    mv "$signed" "$file"
    osslsigncode verify -CAfile "$CERT" -in "$file" >/dev/null 2>&1 || {
        echo "sign-windows: the signature of $file does not verify" >&2
        exit 1
    }
    echo "sign-windows: signed $file"
done
cp "$CERT_DER" "$(dirname "$1")/obx-test-signing.cer"
