#!/bin/sh
# Builds the Windows installer from the Windows build's programs:
#   package-windows.sh [--from DIR] [--version X.Y.Z] [--out FILE.msi]
# DIR (default build-windows/bin) holds obxhelper.exe, obxactions.json, obxsvc.exe and the installer's
# actions obxsetup.dll, and when they
# were built the configuration page (ui/) and the driver package (obxkern.sys, obxkern.inf and its
# catalogue obxkern.cat): the package holds what is
# there. The programs and the package are signed
# by scripts/sign-windows.sh. Default output: build-windows/package/Ombrix-<version>-x64.msi.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${OBX_WINDOWS_BUILD_DIR:-build-windows}
from=$BUILD_DIR/bin
version=$(sed -n 's/^project(obx VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=""
while [ $# -gt 0 ]; do
    case $1 in
    --from) from=$2 ;;
    --version) version=$2 ;;
    --out) out=$2 ;;
    *)
        echo "usage: $0 [--from DIR] [--version X.Y.Z] [--out FILE.msi]" >&2
        exit 2
        ;;
    esac
    shift 2
done
[ -n "$out" ] || out=$BUILD_DIR/package/Ombrix-$version-x64.msi

for required in obxhelper.exe obxactions.json obxsvc.exe obxsetup.dll; do
    if [ ! -f "$from/$required" ]; then
        echo "package-windows.sh: $from/$required is missing (build it first)" >&2
        exit 1
    fi
done

mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
stage=$(mktemp -d "$(dirname "$out")/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT INT TERM
cp "$from/obxhelper.exe" "$from/obxactions.json" "$from/obxsvc.exe" "$from/obxsetup.dll" "$stage/"
"$ROOT/scripts/sign-windows.sh" "$stage/obxhelper.exe" "$stage/obxsvc.exe" "$stage/obxsetup.dll"

# The optional parts, each a fragment of its own in the component group OptionalFiles.
sources="$ROOT/packaging/windows/obx.wxs $stage/optional.wxs"
group_refs=""
defines="-D DriverPackage=no"
if [ -d "$from/ui" ]; then
    cp -R "$from/ui" "$stage/ui"
    (cd "$stage" && find ui -type f | LC_ALL=C sort |
        wixl-heat --prefix ui/ --directory-ref UIFOLDER --component-group PageFiles --var var.PageDir \
            --win64) >"$stage/page.wxs"
    sources="$sources $ROOT/packaging/windows/page.wxs $stage/page.wxs"
    group_refs="$group_refs<ComponentGroupRef Id=\"PageFiles\"/>"
fi
if [ -f "$from/obxkern.sys" ] && [ -f "$from/obxkern.inf" ]; then
    cp "$from/obxkern.sys" "$from/obxkern.inf" "$stage/"
    driver_files="$stage/obxkern.sys"
    if [ -f "$from/obxkern.cat" ]; then
        cp "$from/obxkern.cat" "$stage/"
        driver_files="$driver_files $stage/obxkern.cat"
    fi
    # The driver build may have signed its files already; those keep their signature.
    for file in $driver_files; do
        osslsigncode extract-signature -in "$file" -out "$stage/signature" >/dev/null 2>&1 ||
            "$ROOT/scripts/sign-windows.sh" "$file"
        rm -f "$stage/signature"
    done
    catalogue=""
    # shellcheck disable=SC2016 # $(var.SourceDir) is wixl's variable, not the shell's
    [ ! -f "$stage/obxkern.cat" ] ||
        catalogue='<File Id="obxkern.cat" Name="obxkern.cat" Source="$(var.SourceDir)/obxkern.cat"/>'
    sed "s|@CATALOGUE_FILE@|$catalogue|" \
        "$ROOT/packaging/windows/driver.wxs.in" >"$stage/driver.wxs"
    sources="$sources $stage/driver.wxs"
    defines="-D DriverPackage=yes"
    group_refs="$group_refs<ComponentGroupRef Id=\"DriverPackage\"/>"
fi
cat >"$stage/optional.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment><ComponentGroup Id="OptionalFiles">$group_refs</ComponentGroup></Fragment></Wix>
WXS

cp "$ROOT/service/windows/obxsvc.ico" "$stage/obx.ico"
# wixl reads sources relative to the folder it runs in.
# shellcheck disable=SC2086 # the list of sources is split on purpose
(cd "$stage" && wixl -a x64 -D Version="$version" -D SourceDir=. -D PageDir=ui -D IconFile=obx.ico -D Win64=yes \
    $defines -o "$out" $sources)
# What wixl cannot write: the administrators' properties leave these components out; the port is a
# machine environment variable of the Environment table (* the machine's, = set at installation, -
# removed at removal), whose actions announce the change.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9a-fA-F-]*\)".*/{\1}/p' "$ROOT/packaging/windows/obx.wxs" | tr a-f A-F)
# Another build of the same version is an upgrade too (513: features migrated, the maximum version
# included), so that two builds of one version never stand side by side with shared components.
msibuild "$out" -q "UPDATE \`Component\` SET \`Condition\` = 'HELPERAUTOSTART = \"1\"' WHERE \`Component\` = 'HelperAutostart'" \
    -q "UPDATE \`Component\` SET \`Condition\` = 'HELPERPORT' WHERE \`Component\` = 'HelperPort'" \
    -q "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL, \
\`Value\` CHAR(255), \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)" \
    -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) \
VALUES ('HelperPort', '*=-OBX_HTTP_PORT', '[HELPERPORT]', 'HelperPort')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)" \
    -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) \
VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# The installer's actions, entry points of the installed library obxsetup.dll (17): StartHelper 81 (run
# at once as the installing user, its result ignored: +64); AskHelpersToQuit 3153 and the driver-store
# ones 3089 (+1024 in the script, +2048 as the system account, AskHelpersToQuit's result ignored),
# DeleteServiceOnRollback and the driver-store undos 3409 on rollback (+256) with their result ignored.
actions="StartHelper:81 AskHelpersToQuit:3153 DeleteServiceOnRollback:3409"
[ ! -f "$stage/obxkern.inf" ] ||
    actions="$actions AddDriverPackage:3089 DeleteDriverPackage:3089 UndoAddDriverPackage:3409 UndoDeleteDriverPackage:3409"
for action in $actions; do
    name=${action%%:*}
    msibuild "$out" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) \
VALUES ('$name', ${action##*:}, 'obxsetup.dll', '$name')"
done
"$ROOT/scripts/sign-windows.sh" "$out"
echo "Built $out"
