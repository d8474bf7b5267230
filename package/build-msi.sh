#!/usr/bin/env bash
# Builds the Windows Installer package of a media folder with wixl and msitools:
#   package/build-msi.sh VERSION PORT MEDIA CA OUT
# VERSION  product version, a.b.c.d (the build passes PROJECT_VERSION)
# PORT     default of the PORT property, the port of the new queue (LPT1:)
# MEDIA    folder holding Setup.exe and drivers/ (e.g. build/i686/bin)
# CA       the custom-action DLL of the same architecture (build/i686/package/TarvCA.dll)
# OUT      the package to write (e.g. build/i686/Tarv.msi)
# The build and the upgrade test share it, so that an older version is
# packaged exactly as the product is. The package's architecture follows
# Setup.exe's: an x86_64 image (the tests' twin where Wine runs only 64-bit
# code) gives a package marked x64, with 64-bit components in the 64-bit
# Program Files, as Windows Installer requires of 64-bit code.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 VERSION PORT MEDIA CA OUT" >&2; exit 2; }
version=$1 port=$2 media=$3 ca=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
die() { echo "build-msi.sh: $*" >&2; exit 1; }

# Fixed for the product's lifetime: Windows Installer finds earlier versions by it.
upgrade_code=1F6B0E42-7C3A-4D59-9B1E-6A2D8C4F7E31

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] || die "VERSION must be a.b.c.d, not '$version'"
# Setup.exe takes no quotes and reads "/" as a switch, and the actions' data
# is split at "|": a port the package would refuse on every installation.
[[ -n $port && $port != *[[:space:]\"/\|]* ]] \
  || die "PORT must be a port name without blanks, quotes, slashes or bars, not '$port'"
[ -f "$media/Setup.exe" ] && [ -d "$media/drivers" ] || die "no Setup.exe and drivers/ in $media"
[ -f "$ca" ] || die "no custom-action DLL $ca"
for tool in wixl wixl-heat msibuild msiinfo python3 faketime; do
  command -v "$tool" >/dev/null || die "$tool not found (Debian packages wixl, msitools, python3, faketime)"
done

# One fixed time for everything the package records (summary information,
# the cabinet's file times): SOURCE_DATE_EPOCH, or the time of the commit the
# sources come from. The same sources then give the same package.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
  epoch=$(date +%s)
  echo "build-msi.sh: no SOURCE_DATE_EPOCH and no commit time: the package carries the time it was built"
fi
[[ $epoch =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH must be seconds since 1970, not '$epoch'"
stamp=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
# wixl and msibuild read the clock: a clock that stands at the fixed time.
fixed() { TZ=UTC faketime -f "$stamp" "$@"; }

media=$(cd "$media" && pwd)
# The machine field of Setup.exe's PE header.
machine=$(python3 -c 'import struct, sys
data = open(sys.argv[1], "rb").read(4096)
offset = struct.unpack_from("<I", data, 0x3C)[0]
print("%04x" % struct.unpack_from("<H", data, offset + 4)[0])' "$media/Setup.exe")
case $machine in
  014c) arch=x86 win64=no ;;
  8664) arch=x64 win64=yes ;;
  *) die "Setup.exe is neither an i386 nor an x86_64 image (machine $machine)" ;;
esac
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
work=$(mktemp -d "$out.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A copy of the media whose files carry the fixed time, which the cabinet records.
mkdir "$work/media"
cp -R "$media/Setup.exe" "$media/drivers" "$work/media/" || die "cannot copy $media"
cp "$ca" "$work/TarvCA.dll" || die "cannot copy $ca"
touch -d "@$epoch" "$work/TarvCA.dll"
find "$work/media" -exec touch -h -d "@$epoch" {} +
media=$work/media

# The PackageCode names this very package: derived from everything that goes
# into it, so that the same build again is the same package (Windows
# Installer then finds it installed) and any change gives another.
package_code=$(python3 - "$media" "$here/tarv.wxs" "$0" "$work/TarvCA.dll" "$version" "$port" "$arch" "${TARV_MSI_FAIL_AFTER:-}" <<'PY'
import hashlib, os, sys, uuid
digest = hashlib.sha256()
media = sys.argv[1]
for root, dirs, files in os.walk(media):
    dirs.sort()
    for name in sorted(files):
        path = os.path.join(root, name)
        digest.update(os.path.relpath(path, media).encode() + b"\0")
        digest.update(open(path, "rb").read())
for source in sys.argv[2:5]:
    digest.update(open(source, "rb").read())
digest.update("\0".join(sys.argv[5:]).encode())
print(str(uuid.UUID(bytes=digest.digest()[:16], version=4)).upper())
PY
)

# Windows Installer compares only the first three fields of a version: the
# ProductCode comes from them, so that a package differing in the fourth is
# the same product ("already installed") rather than a second one.
product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Tarv Driver " + ".".join(sys.argv[2].split(".")[:3]))).upper())' \
  "$upgrade_code" "$version")

# drivers/ as it was built, every family included; wixl-heat derives the
# identifiers and component GUIDs from the relative paths, and marks each
# component with the Win64 value given to wixl. Its folder identifiers come
# from the absolute path of the media: they are made from the relative one
# instead, so that the package does not depend on where it was built. Its
# output is read as XML, not as lines, since only the XML is its to keep.
(cd "$media" && find drivers -type f | LC_ALL=C sort |
   wixl-heat --directory-ref INSTALLDIR --var var.MediaDir --component-group DriverFiles -p '' --win64) |
  python3 -c 'import hashlib, sys, xml.etree.ElementTree as ET
tree = ET.parse(sys.stdin)
root = tree.getroot()
ET.register_namespace("", root.tag[1:].split("}")[0] if root.tag.startswith("{") else "")
folders = 0
def stable(element, names):
    global folders
    for child in element:
        below = names
        if child.tag.rsplit("}", 1)[-1] == "Directory":
            below = names + [child.get("Name")]
            child.set("Id", "dir" + hashlib.md5("/".join(below).encode()).hexdigest().upper())
            folders += 1
        stable(child, below)
stable(root, [])
if not folders:
    sys.exit("build-msi.sh: wixl-heat wrote no folder")
tree.write(sys.stdout.buffer, encoding="utf-8", xml_declaration=True)' > "$work/drivers.wxs"

# wixl finds sources by relative paths only: it runs in the media folder.
(cd "$media" && fixed wixl --arch "$arch" -D Win64="$win64" -D Version="$version" -D ProductCode="$product_code" \
   -D PackageCode="$package_code" -D UpgradeCode="$upgrade_code" \
   -D Port="$port" -D MediaDir=. -D CustomActions=../TarvCA.dll -o "$work/Tarv.msi" "$here/tarv.wxs" "$work/drivers.wxs")

# Hand-written rows, where wixl 0.101 writes something else:
# - It writes Execute="rollback" and Execute="commit" as deferred actions,
#   and Return="ignore" not at all: the DLL actions are 3073 (1, in script
#   0x400, not impersonated 0x800; Setup.exe's outcome checked), 3393 for a
#   rollback (0x100, exit ignored 0x40) and 3649 for a commit (0x200, 0x40).
# - It ignores Property/@Secure: only the upgrade properties are secure;
#   PORT, LOGFILE and PURGE reach the system account only from an
#   administrator's command line or a transform.
# - It ignores MajorUpgrade/@Schedule: RemoveExistingProducts goes right
#   after InstallInitialize (1500), so that the older version's removal is
#   part of this installation and a failure takes it back.
fixed msibuild "$work/Tarv.msi" \
  -q "UPDATE CustomAction SET Type = 3073 WHERE Action = 'TarvSetup' OR Action = 'TarvDeletion' OR Action = 'TarvPurge'" \
  -q "UPDATE CustomAction SET Type = 3393 WHERE Action = 'TarvSetupRollback' OR Action = 'TarvDeletionRollback'" \
  -q "UPDATE CustomAction SET Type = 3649 WHERE Action = 'TarvSetupCommit'" \
  -q "UPDATE CustomAction SET Type = 65 WHERE Action = 'TarvAskForRestart'" \
  -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'" \
  -q "UPDATE Property SET Value = 'WIX_UPGRADE_DETECTED;WIX_DOWNGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"

# wixl ignores Package/@Id and writes a random PackageCode: the derived one
# replaces it, with the summary fields wixl wrote.
template=$([ $arch = x64 ] && echo x64 || echo Intel)\;1033
fixed msibuild "$work/Tarv.msi" -s "Tarv Driver $version" "Corvan Tessik" "$template" "{$package_code}"

# wixl ignores RegistrySearch/@Win64 too: an x64 package reads the 64-bit view (type 2 + 16).
if [ "$win64" = yes ]; then
  fixed msibuild "$work/Tarv.msi" -q "UPDATE RegLocator SET Type = 18 WHERE Signature_ = 'InstalledPort'"
fi

# The error action that refuses a PORT or LOGFILE Setup.exe would misread (type
# 19: the installation ends with this text), after LOGFILE has its default and
# before InstallInitialize. "|" separates the parts of the actions' data.
fixed msibuild "$work/Tarv.msi" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RefuseUnsafeValue', 19, '', 'PORT and LOGFILE must not contain a blank, a quote, a slash (/) or a bar (|): Setup.exe takes no quotes.')" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RefuseUnsafeValue', '(NOT REMOVE AND (PORT >< \" \" OR PORT >< TARVQUOTE OR PORT >< \"/\" OR PORT >< \"|\")) OR LOGFILE >< \" \" OR LOGFILE >< TARVQUOTE OR LOGFILE >< \"/\" OR LOGFILE >< \"|\"', 1495)"

# A test-only package (TARV_MSI_FAIL_AFTER=setup or removal): a deferred
# action right after Setup.exe's setup or deletion fails the installation or
# the removal, so that the tests see the rollback. Never set for a release.
case ${TARV_MSI_FAIL_AFTER:-} in
  '') ;;
  setup|removal)
    if [ "$TARV_MSI_FAIL_AFTER" = setup ]; then at=4016 when='NOT Installed AND NOT REMOVE'; else at=3492 when='REMOVE="ALL"'; fi
    # 3106: type 34 (a program in a folder of the Directory table), deferred,
    # not impersonated, exit code checked: cmd.exe from the path, in C:\.
    fixed msibuild "$work/Tarv.msi" \
      -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('TarvTestFailure', 3106, 'TARGETDIR', 'cmd.exe /c exit 1')" \
      -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('TarvTestFailure', '$when', $at)"
    echo "build-msi.sh: a TEST package that fails after Setup.exe's $TARV_MSI_FAIL_AFTER" ;;
  *) die "TARV_MSI_FAIL_AFTER must be setup or removal, not '$TARV_MSI_FAIL_AFTER'" ;;
esac

# The rows as they must be, or no package at all (.idt lines end in CRLF).
types=$(msiinfo export "$work/Tarv.msi" CustomAction | tr -d '\r' |
        awk -F'\t' '$1 ~ /^Tarv/ && $1 !~ /Data/ { print $1 "=" $2 "," $3 }' | LC_ALL=C sort | tr '\n' ' ')
[ "$types" = "TarvAskForRestart=65,TarvCA TarvDeletion=3073,TarvCA TarvDeletionRollback=3393,TarvCA TarvPurge=3073,TarvCA TarvSetup=3073,TarvCA TarvSetupCommit=3649,TarvCA TarvSetupRollback=3393,TarvCA ${TARV_MSI_FAIL_AFTER:+TarvTestFailure=3106,TARGETDIR }" ] \
  || die "unexpected Setup.exe actions: $types"
msiinfo export "$work/Tarv.msi" InstallExecuteSequence | tr -d '\r' | grep -q $'^RemoveExistingProducts\t\t1501$' \
  || die "RemoveExistingProducts not moved after InstallInitialize"
msiinfo export "$work/Tarv.msi" Property | tr -d '\r' | grep -q $'^SecureCustomProperties\tWIX_UPGRADE_DETECTED;' \
  || die "SecureCustomProperties not written"

[ "$(msiinfo suminfo "$work/Tarv.msi" 2>/dev/null | sed -n 's/^Template: //p')" = "$template" ] \
  || die "the package is not marked $arch"
[ "$(msiinfo suminfo "$work/Tarv.msi" 2>/dev/null | sed -n 's/^Revision number (UUID): //p')" = "{$package_code}" ] \
  || die "the PackageCode was not written"
mv "$work/Tarv.msi" "$out"
echo "built $out: $arch, version $version, ProductCode {$product_code}, PackageCode {$package_code}, PORT $port, time $stamp UTC"
