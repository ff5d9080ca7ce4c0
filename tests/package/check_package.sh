#!/usr/bin/env bash
# Builds the Debian package with scripts/package and checks it: the files it holds and none it
# should not, its control fields, its maintainer scripts where udev is absent, and lintian,
# desktop-file-validate, appstreamcli and update-mime-database on what it installs.
# usage: check_package.sh VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=${1:?usage: check_package.sh VERSION}
build="$root/build/package"
deb="$build/kl516_${version}_amd64.deb"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$build"
if ! "$root/scripts/package" >"$build/package.log" 2>&1; then
  cat "$build/package.log" >&2
  echo "FAIL: scripts/package" >&2
  exit 1
fi
[[ -f "$deb" ]] || { echo "FAIL: scripts/package made no $deb" >&2; exit 1; }
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# The file list.
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
expected=(
  /usr/bin/kl516
  /usr/bin/kl516-cli
  /usr/share/kl516/KL516Help.htm
  /usr/lib/udev/rules.d/60-kl516.rules
  /usr/lib/systemd/system/kl516-monitor@.service
  /usr/share/doc/kl516/examples/kl516-monitor.env
  /usr/share/applications/kl516.desktop
  /usr/share/metainfo/io.github.kl516.KL516.metainfo.xml
  /usr/share/mime/packages/kl516-mime.xml
  /usr/share/icons/hicolor/scalable/apps/kl516.svg
  /usr/share/man/man1/kl516.1.gz
  /usr/share/man/man1/kl516-cli.1.gz
  /usr/share/doc/kl516/copyright
  /usr/share/doc/kl516/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kl516.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done
unwanted=$(grep -E '/include/|\.(a|h|hpp|cmake|pc)$|test|bench|fuzz|screenshots' <<<"$files" || true)
[[ -z "$unwanted" ]] || fail "the package holds files it does not need: $unwanted"

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == kl516 ]] || fail "Package is '$(field Package)'"
[[ "$(field Version)" == "$version" ]] || fail "Version is '$(field Version)', not $version"
[[ "$(field Architecture)" == amd64 ]] || fail "Architecture is '$(field Architecture)'"
[[ "$(field Section)" == science ]] || fail "Section is '$(field Section)'"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
depends=$(field Depends)
for lib in libqt6core6 libqt6widgets6 libhidapi-hidraw0 libqcustomplot; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: '$depends'"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -e "$deb" "$scratch/control"

# Without a running udev (chroot, container) the maintainer scripts do nothing and succeed.
if [[ ! -d /run/udev ]]; then
  sh "$scratch/control/postinst" configure || fail "postinst configure failed without udev"
  sh "$scratch/control/postrm" remove || fail "postrm remove failed without udev"
fi

# The validators.
# Errors fail the check; warnings and notes are printed.
if ! lintian --fail-on error --display-info "$deb" >"$scratch/lintian.txt" 2>&1; then
  fail "lintian reports errors"
fi
grep -E '^[EWI]: ' "$scratch/lintian.txt" || true
desktop-file-validate "$scratch/root/usr/share/applications/kl516.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/io.github.kl516.KL516.metainfo.xml" ||
  fail "appstreamcli validate"
cp -r "$scratch/root/usr/share/mime" "$scratch/mime"
update-mime-database "$scratch/mime" >"$scratch/mime.log" 2>&1 ||
  { cat "$scratch/mime.log" >&2; fail "update-mime-database"; }
grep -qx 'application/x-kl516-collection' "$scratch/mime/types" ||
  fail "application/x-kl516-collection is not registered"
grep -qx 'application/x-kl516-graph' "$scratch/mime/types" ||
  fail "application/x-kl516-graph is not registered"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
